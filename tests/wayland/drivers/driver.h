// What a test needs from a Wayland compositor, through the compositor's own interfaces: the
// pointer moved and clicked as a user's mouse is (routed to whatever surface the compositor
// shows there), and the screen as the compositor shows it.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

class CompositorDriver {
  public:
    virtual ~CompositorDriver() = default;

    // Moves the pointer to `at` (screen coordinates) and presses and releases the left button
    // there. False, with error() set, when the compositor refused or could not be reached.
    virtual bool click(QPoint at) = 0;

    // Keeps the pointer device that clicks use until the compositor goes away or this process
    // is ended: a headless compositor's seat has a pointer only while some such device exists,
    // and clients lose the events of a pointer that appeared just before them. A session keeps
    // one held so that each click finds the seat's pointer in place.
    virtual bool hold() = 0;

    // Takes up the pointer device that clicks use and keeps it, without blocking: later clicks
    // of this driver use that same device (`serve`). False, with error() set, on refusal.
    virtual bool takePointer() { return true; }

    // The screen (a null `area`) or one area of it as the compositor composes it, in
    // QImage::Format_RGB32; a null image,
    // with error() set, when the compositor refused.
    virtual QImage capture(const QRect& area) = 0;

    // Whether the last capture was a picture the compositor composed for it (true), or one it
    // had sent before, given again because the screen has not changed since (mutter's
    // screen cast sends a frame only when the screen changes).
    virtual bool lastCaptureWasNew() const { return true; }

    // When the compositor composed the picture of the last capture, in CLOCK_MONOTONIC
    // milliseconds, where it says so (mutter's screen cast does); -1 where it does not.
    virtual double lastCaptureShownMs() const { return -1; }

    // Says that clicks will come between captures, before the first capture.
    virtual void willClick() {}

    // Says that capture(area) comes next: a driver may ask the compositor for it now, so that
    // its answer, a frame composed after this call, is on the way while the caller works.
    virtual void askAhead(const QRect&) {}

    QString error() const { return error_; }

  protected:
    bool fail(const QString& why) {
        error_ = why;
        return false;
    }

  private:
    QString error_;
};
