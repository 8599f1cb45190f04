#include "kwin_driver.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

// Reads what KWin writes into the pipe until it closes its end.
QByteArray readAll(int fd) {
    QByteArray data;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0)
            data.append(chunk, n);
        else if (n == 0 || errno != EINTR)
            break;
    }
    return data;
}

// The method that captures `area`, or the whole workspace for a null one.
QString methodFor(const QRect& area) {
    return area.isNull() ? QStringLiteral("CaptureWorkspace") : QStringLiteral("CaptureArea");
}

}  // namespace

KwinDriver::~KwinDriver() {
    // A screenshot still on its way is read to the end: KWin is not left writing into a pipe
    // nobody reads.
    if (ahead_)
        receive(*ahead_);
}

bool KwinDriver::connectInput() {
    if (input_)
        return true;
    QString error;
    input_ = std::make_unique<KwinFakeInput>();
    if (input_->connect(&error))
        return true;
    input_.reset();
    return fail(error);
}

bool KwinDriver::click(QPoint at) {
    QString error;
    return connectInput() && (input_->click(at, &error) || fail(error));
}

bool KwinDriver::hold() {
    if (!connectInput())
        return false;
    input_->hold();
    return true;
}

std::optional<KwinDriver::Request> KwinDriver::send(const QRect& area) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        fail(QStringLiteral("pipe: %1").arg(qt_error_string(errno)));
        return std::nullopt;
    }
    const auto ask = [&] {
        const QVariantMap options{{QStringLiteral("include-cursor"), false},
                                  {QStringLiteral("native-resolution"), true}};
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.KWin"), QStringLiteral("/org/kde/KWin/ScreenShot2"),
            QStringLiteral("org.kde.KWin.ScreenShot2"), methodFor(area));
        if (!area.isNull())
            call << area.x() << area.y() << uint(area.width()) << uint(area.height());
        call << options << QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]));
        return QDBusConnection::sessionBus().asyncCall(call, 5000);
    };
    Request request{ask(), fds[0], area};
    ::close(fds[1]);
    return request;
}

QImage KwinDriver::receive(Request& request) {
    // KWin answers once the next frame is composed, then writes the pixels into the pipe.
    request.reply.waitForFinished();
    const QDBusMessage reply = request.reply.reply();
    // The pending call keeps the message it sent, and with it a copy of the pipe's writing
    // end: once it is let go, KWin's is the only one, and the pipe ends where KWin stops.
    request.reply = QDBusPendingCall::fromCompletedCall(reply);
    const QByteArray data =
        reply.type() == QDBusMessage::ReplyMessage ? readAll(request.pipe) : QByteArray();
    ::close(request.pipe);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        fail(QStringLiteral("KWin refused %1: %2 (%3)%4")
                 .arg(methodFor(request.area), reply.errorMessage(), reply.errorName(),
                      reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownObject")
                          ? QStringLiteral("; KWin loads its screenshot effect only when it "
                                           "composites with OpenGL")
                          : QString()));
        return {};
    }
    const auto results = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    const int width = results.value(QStringLiteral("width")).toInt();
    const int height = results.value(QStringLiteral("height")).toInt();
    const int stride = results.value(QStringLiteral("stride")).toInt();
    const auto format = QImage::Format(results.value(QStringLiteral("format")).toInt());
    if (results.value(QStringLiteral("type")).toString() != QLatin1String("raw") || width <= 0 ||
        height <= 0 || stride <= 0 || data.size() < qsizetype(stride) * height) {
        fail(QStringLiteral("unexpected screenshot from KWin: %1 bytes, type %2, %3x%4")
                 .arg(data.size())
                 .arg(results.value(QStringLiteral("type")).toString())
                 .arg(width)
                 .arg(height));
        return {};
    }
    return QImage(reinterpret_cast<const uchar*>(data.constData()), width, height, stride, format)
        .convertToFormat(QImage::Format_RGB32);
}

QImage KwinDriver::capture(const QRect& area) {
    std::optional<Request> request = std::exchange(ahead_, std::nullopt);
    if (request && request->area != area) {
        receive(*request);  // asked for another area: of no use
        request.reset();
    }
    if (!request)
        request = send(area);
    return request ? receive(*request) : QImage();
}

void KwinDriver::askAhead(const QRect& area) {
    if (!ahead_)
        ahead_ = send(area);
}
