// The other end of ControlService: a short-lived process (kestrane started with --toggle and
// the like) that hands one request to the running program over the session bus, or reads its
// state. Makes a QCoreApplication of its own while it lives when the process has none.
#pragma once

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>

#include <memory>
#include <optional>
#include <string>

namespace platform::session {

class ControlClient {
  public:
    ControlClient();
    ~ControlClient();
    ControlClient(const ControlClient&) = delete;
    ControlClient& operator=(const ControlClient&) = delete;

    // Whether a session bus could be reached.
    bool Connected() const;

    // The bus's unique name of the program that holds the control name, or "" for none.
    std::string Owner() const;

    // Waits up to timeoutMs for some program to take the control name; its unique name or "".
    std::string WaitForOwner(int timeoutMs) const;

    // Waits up to timeoutMs for the holder `owner` to let the name go (it ended); true if it did.
    bool WaitUntilGone(const std::string& owner, int timeoutMs) const;

    // Calls one method (Start, Stop, ...) of the control object; "" when it was taken, else
    // the bus's error message.
    std::string Call(const char* method) const;
    // Calls Pause(minutes); "" when it was taken, else the bus's error message.
    std::string Pause(int minutes) const;

    struct State {
        bool running = false;
        bool visible = false;
        std::string quiet;      // why no message shows now; empty when nothing holds them
        std::string flashPath;  // empty where the program does not say
    };
    // Reads both properties; nothing when they cannot be read (error says why).
    std::optional<State> Read(std::string& error) const;

  private:
    static std::string Answer(const QDBusMessage& reply);

    int typeTable_;
    std::unique_ptr<QCoreApplication> app_;
    QDBusConnection bus_;
};

}  // namespace platform::session
