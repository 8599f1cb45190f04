#include "kwin_driver.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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

// Asks for a screenshot written into `pipe`. KWin answers once the next frame is composed, then
// writes the pixels. The message, with its copy of the descriptor, is gone when this returns.
QDBusMessage request(const QString& method, const QRect& area, int pipe) {
    const QVariantMap options{{QStringLiteral("include-cursor"), false},
                              {QStringLiteral("native-resolution"), true}};
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.KWin"), QStringLiteral("/org/kde/KWin/ScreenShot2"),
        QStringLiteral("org.kde.KWin.ScreenShot2"), method);
    if (!area.isNull())
        call << area.x() << area.y() << uint(area.width()) << uint(area.height());
    call << options << QVariant::fromValue(QDBusUnixFileDescriptor(pipe));
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
}

}  // namespace

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

QImage KwinDriver::capture(const QRect& area) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        fail(QStringLiteral("pipe: %1").arg(qt_error_string(errno)));
        return {};
    }
    const QString method =
        area.isNull() ? QStringLiteral("CaptureWorkspace") : QStringLiteral("CaptureArea");
    const QDBusMessage reply = request(method, area, fds[1]);
    ::close(fds[1]);  // the call held its own copy; KWin's copy is now the only writer
    if (reply.type() != QDBusMessage::ReplyMessage) {
        ::close(fds[0]);
        fail(QStringLiteral("KWin refused %1: %2 (%3)")
                 .arg(method, reply.errorMessage(), reply.errorName()));
        return {};
    }
    const QByteArray data = readAll(fds[0]);
    ::close(fds[0]);
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
