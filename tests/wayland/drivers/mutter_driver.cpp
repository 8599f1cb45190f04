#include "mutter_driver.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>

#include <linux/input-event-codes.h>
#include <unistd.h>
#include <cstdio>

namespace {
// How long clients get to take up the pointer that a new session's device may give the seat.
constexpr unsigned long kPointerSettleMs = 300;
constexpr unsigned long kEventGapMs = 50;
// How long a capture waits for a new frame: mutter sends one only when the screen changed, and
// a first one when the stream starts. Once (on a loaded machine) that first one never came: the
// stream is then started again.
constexpr int kFrameWaitMs = 100;
constexpr int kFirstFrameWaitMs = 3000;
constexpr int kFirstFrameAttempts = 3;
// How long a call waits for mutter's answer: on a loaded machine it has taken 5 s to answer
// a click's events.
constexpr int kReplyWaitMs = 20000;
constexpr qint64 kSlowReplyMs = 1000;
const QString kRemoteDesktop = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString kScreenCast = QStringLiteral("org.gnome.Mutter.ScreenCast");
}  // namespace

MutterDriver::~MutterDriver() {
    stop();
}

bool MutterDriver::call(const QString& path, const QString& interface, const QString& method,
                        const QVariantList& args, QVariant* result) {
    const QString service = interface.startsWith(kScreenCast) ? kScreenCast : kRemoteDesktop;
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    QElapsedTimer answered;
    answered.start();
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(message, QDBus::Block, kReplyWaitMs);
    // A slow answer is worth knowing when a test fails: said on the error output.
    if (answered.elapsed() > kSlowReplyMs)
        std::fprintf(stderr, "wayland_driver: mutter took %lld ms to answer %s\n",
                     static_cast<long long>(answered.elapsed()), qPrintable(method));
    if (reply.type() != QDBusMessage::ReplyMessage)
        return fail(QStringLiteral("mutter refused %1.%2: %3 (%4)")
                        .arg(interface, method, reply.errorMessage(), reply.errorName()));
    if (result)
        *result = reply.arguments().value(0);
    return true;
}

bool MutterDriver::start() {
    if (!cast_.isEmpty())
        return true;
    QVariantMap castProperties;
    if (input_) {
        QVariant session;
        if (!call(QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), kRemoteDesktop,
                  QStringLiteral("CreateSession"), {}, &session))
            return false;
        session_ = session.value<QDBusObjectPath>().path();
        QVariant id;
        if (!call(session_, QStringLiteral("org.freedesktop.DBus.Properties"),
                  QStringLiteral("Get"),
                  {kRemoteDesktop + QStringLiteral(".Session"), QStringLiteral("SessionId")}, &id))
            return false;
        // The screen-cast session tied to the remote-desktop one: its stream gives absolute
        // motion its coordinates.
        castProperties.insert(QStringLiteral("remote-desktop-session-id"),
                              id.value<QDBusVariant>().variant());
    }
    QVariant cast;
    if (!call(QStringLiteral("/org/gnome/Mutter/ScreenCast"), kScreenCast,
              QStringLiteral("CreateSession"), {castProperties}, &cast))
        return false;
    cast_ = cast.value<QDBusObjectPath>().path();
    QVariant stream;
    // An empty connector names the primary monitor; the cursor is left out of the frames.
    const QVariantMap streamProperties{{QStringLiteral("cursor-mode"), uint(0)}};
    if (!call(cast_, kScreenCast + QStringLiteral(".Session"), QStringLiteral("RecordMonitor"),
              {QString(), streamProperties}, &stream))
        return false;
    stream_ = stream.value<QDBusObjectPath>().path();
    QDBusConnection::sessionBus().connect(
        kScreenCast, stream_, kScreenCast + QStringLiteral(".Stream"),
        QStringLiteral("PipeWireStreamAdded"), this, SLOT(streamAdded(uint)));
    if (!input_)
        return call(cast_, kScreenCast + QStringLiteral(".Session"), QStringLiteral("Start"), {});
    if (!call(session_, kRemoteDesktop + QStringLiteral(".Session"), QStringLiteral("Start"), {}))
        return false;
    QThread::msleep(kPointerSettleMs);
    return true;
}

bool MutterDriver::takePointer() {
    input_ = true;
    return start();
}

bool MutterDriver::hold() {
    if (!takePointer())
        return false;
    // mutter ends the session when this process's bus connection goes away.
    for (;;)
        ::pause();
}

bool MutterDriver::click(QPoint at) {
    input_ = true;
    if (!start())
        return false;
    // mutter hands the events to its input thread after it has answered; each gets a moment
    // there before the next, and the release before the session (and its device) ends.
    const QString session = kRemoteDesktop + QStringLiteral(".Session");
    const auto send = [&](const QString& method, const QVariantList& args) {
        const bool sent = call(session_, session, method, args);
        QThread::msleep(kEventGapMs);
        return sent;
    };
    return send(QStringLiteral("NotifyPointerMotionAbsolute"),
                {stream_, double(at.x()), double(at.y())}) &&
           send(QStringLiteral("NotifyPointerButton"), {int(BTN_LEFT), true}) &&
           send(QStringLiteral("NotifyPointerButton"), {int(BTN_LEFT), false});
}

void MutterDriver::stop() {
    frames_.reset();
    if (!session_.isEmpty())
        call(session_, kRemoteDesktop + QStringLiteral(".Session"), QStringLiteral("Stop"), {});
    else if (!cast_.isEmpty())
        call(cast_, kScreenCast + QStringLiteral(".Session"), QStringLiteral("Stop"), {});
    session_.clear();
    cast_.clear();
    stream_.clear();
    node_ = 0;
}

QImage MutterDriver::firstFrame() {
    for (int attempt = 0; attempt < kFirstFrameAttempts; ++attempt) {
        if (!start())
            return {};
        QElapsedTimer waited;
        waited.start();
        while (!node_ && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        if (!node_) {
            fail(QStringLiteral("mutter named no PipeWire node for its screen-cast stream"));
            return {};
        }
        QString error;
        frames_ = std::make_unique<PipeWireFrames>();
        if (!frames_->connect(node_, &error)) {
            frames_.reset();
            fail(error);
            return {};
        }
        const QImage frame = frames_->next(kFirstFrameWaitMs, &lastWasNew_, &error);
        if (!frame.isNull())
            return frame;
        fail(error);
        stop();
    }
    return {};
}

double MutterDriver::lastCaptureShownMs() const {
    const int64_t shown = frames_ ? frames_->shownNs() : -1;
    return shown > 0 ? double(shown) / 1e6 : -1;
}

QImage MutterDriver::capture(const QRect& area) {
    QImage frame;
    if (!frames_) {
        frame = firstFrame();
    } else {
        QString error;
        frame = frames_->next(kFrameWaitMs, &lastWasNew_, &error);
        if (frame.isNull())
            fail(error);
    }
    if (frame.isNull())
        return {};
    return (area.isNull() ? frame : frame.copy(area)).convertToFormat(QImage::Format_RGB32);
}
