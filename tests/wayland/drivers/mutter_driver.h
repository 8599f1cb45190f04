// mutter 43 on Wayland: clicks through its remote-desktop D-Bus interface
// (org.gnome.Mutter.RemoteDesktop), whose absolute pointer motion is relative to a screen-cast
// stream of the same session (org.gnome.Mutter.ScreenCast, a stream of the whole monitor); the
// screen through such a stream's PipeWire frames. Starting a screen-cast stream needs a PipeWire
// daemon on the session's runtime folder.
#pragma once

#include <QObject>

#include <cstdint>
#include <memory>

#include "driver.h"
#include "pipewire_frames.h"

class MutterDriver : public QObject, public CompositorDriver {
    Q_OBJECT
  public:
    ~MutterDriver() override;
    bool click(QPoint at) override;
    bool hold() override;
    bool takePointer() override;
    QImage capture(const QRect& area) override;
    bool lastCaptureWasNew() const override { return lastWasNew_; }
    double lastCaptureShownMs() const override;
    void willClick() override { input_ = true; }

  private slots:
    // mutter names the stream's PipeWire node once the session has started.
    void streamAdded(uint node) { node_ = node; }

  private:
    // Creates a session with a monitor stream, and starts it: a remote-desktop one where this
    // driver clicks (a click, hold, willClick), else a screen-cast one alone (a remote-desktop
    // session that ended just before made mutter lose most next clicks of another).
    bool start();
    // Ends the session, and with it the stream and its frames.
    void stop();
    // Starts the stream's frames and waits for the first.
    QImage firstFrame();
    bool call(const QString& path, const QString& interface, const QString& method,
              const QVariantList& args, QVariant* result = nullptr);

    bool input_ = false;
    QString session_;  // the remote-desktop session's object path, if any
    QString cast_;     // the screen-cast session's object path
    QString stream_;   // the screen-cast stream's object path
    uint32_t node_ = 0;
    std::unique_ptr<PipeWireFrames> frames_;
    bool lastWasNew_ = false;
};
