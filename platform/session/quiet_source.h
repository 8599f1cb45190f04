// When not to flash: each reason to stay quiet (a locked session, a full-screen window, a shared
// screen, Do Not Disturb, the user's hours, a pause on request) is a source behind one small
// face, and run control asks only their sum, so that a new desktop's signal is one new source.
//
// A source never blocks: it asks its desktop without waiting and reports when the answer
// comes. A source whose desktop is missing, slow or errs is simply not quiet.
#pragma once

#include <QObject>
#include <QString>

#include <vector>

namespace platform::session {

class QuietSource : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // Connects to the desktop and asks the first questions; the answers come later.
    virtual void Start() {}
    // Why the messages stay away now, as the user reads it ("Quiet: Do Not Disturb"); empty
    // while this source does not hold them.
    virtual QString Reason() const = 0;

  signals:
    // The reason may have changed (also when only its words change, as a countdown's do).
    void Changed();
};

// The sum of the sources, in the order they were added (the first one that holds gives the
// reason). A source can be left out of the sum (the user turned its choice off) without
// being stopped.
class QuietSum : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // Adds a source the sum does not own; it counts from now on while enabled.
    void Add(QuietSource* source, bool enabled = true);
    void SetEnabled(QuietSource* source, bool enabled);
    // Starts every source added.
    void Start();

    bool Quiet() const { return !reason_.isEmpty(); }
    // The reason of the first enabled source that holds; empty when none does.
    const QString& Reason() const { return reason_; }

  signals:
    // Quiet() or Reason() changed.
    void Changed();

  private:
    void Refresh();

    struct Entry {
        QuietSource* source;
        bool enabled;
    };
    std::vector<Entry> sources_;
    QString reason_;
};

}  // namespace platform::session
