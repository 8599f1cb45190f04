// The frames of a PipeWire video node (a compositor's screen-cast stream), as images: a
// consumer stream on the session's PipeWire daemon, linked to the node by this client itself
// (a headless test session runs no session manager, which would otherwise make the link).
#pragma once

#include <QImage>
#include <QString>

#include <spa/utils/hook.h>

#include <cstddef>
#include <cstdint>
#include <deque>

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct pw_proxy;

class PipeWireFrames {
  public:
    // How many frames that came while the caller was busy wait for it (a whole screen's each).
    static constexpr size_t kKept = 8;

    PipeWireFrames();
    ~PipeWireFrames();
    PipeWireFrames(const PipeWireFrames&) = delete;
    PipeWireFrames& operator=(const PipeWireFrames&) = delete;

    // Connects to the daemon of $XDG_RUNTIME_DIR and to `node`.
    bool connect(uint32_t node, QString* error);

    // The frame that arrived next after the one returned before (of those that came meanwhile,
    // the last kKept are kept), waiting up to `waitMs`; when none arrives in that time (the
    // source sends frames only when its picture changes) the frame returned before (`fresh`
    // false), or a null image with `error` set if there was none.
    QImage next(int waitMs, bool* fresh, QString* error);

    // When the source made the frame next() returned last, in its buffer header's clock (for
    // mutter, CLOCK_MONOTONIC nanoseconds); -1 when it did not say.
    int64_t shownNs() const { return returnedPts_; }

  private:
    friend struct PipeWireCallbacks;
    bool link(QString* error);

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    spa_hook listener_{};
    pw_proxy* link_ = nullptr;
    uint32_t source_ = 0;
    bool paused_ = false;  // connected, so this stream's node exists to be linked
    QString streamError_;
    // The negotiated picture, and the frames: written on PipeWire's thread, under its lock.
    int width_ = 0, height_ = 0;
    QImage::Format format_ = QImage::Format_Invalid;
    struct Frame {
        QImage image;
        int64_t pts;
    };
    std::deque<Frame> waiting_;
    QImage returned_;
    int64_t returnedPts_ = -1;
};
