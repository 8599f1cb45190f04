#include "tools/screenwatch/flash_program.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <unistd.h>

namespace screenwatch {
namespace {

bool Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Everything of the staged folder but the user's state: the program and its libraries, and
// the pictures of Images/.
bool CopyStage(const QString& from, const QString& to) {
    QDir().mkpath(to + "/Images");
    QDir().mkpath(to + "/Data");
    for (const QFileInfo& f : QDir(from).entryInfoList(QDir::Files)) {
        const QString target = to + "/" + f.fileName();
        if (!QFile::copy(f.filePath(), target) || !QFile::setPermissions(target, f.permissions())) {
            return false;
        }
    }
    QDirIterator it(from + "/Images", QDir::Files);
    while (it.hasNext()) {
        const QFileInfo f(it.next());
        if (!f.fileName().endsWith(".txt", Qt::CaseInsensitive)) {
            QFile::copy(f.filePath(), to + "/Images/" + f.fileName());
        }
    }
    return true;
}

}  // namespace

FlashProgram::FlashProgram(QString stagedProgram) : staged_(std::move(stagedProgram)) {
    proc_.setProcessChannelMode(QProcess::ForwardedChannels);
}

FlashProgram::~FlashProgram() {
    Stop();
}

bool FlashProgram::Setup(const Settings& s) {
    const QString root = dir_.path() + "/app";
    if (!dir_.isValid() || !CopyStage(QFileInfo(staged_).absolutePath(), root)) {
        return false;
    }
    const QByteArray options = "Color;" + s.color.toUtf8() + "\r\nMsgduration;" +
                               QByteArray::number(s.displayMs) + "\r\nTimeBtnMsgs;" +
                               QByteArray::number(s.pauseS) + "\r\nMsgOption;" +
                               s.position.toUtf8() + "\r\nSelFont;" + s.font.toUtf8() +
                               "\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;" +
                               QByteArray::number(s.fontSize) + "\r\n";
    QByteArray messages;
    for (const QString& m : s.messages) {
        messages += m.toUtf8() + ";1\r\n";
    }
    if (!Write(root + "/Images/SelectedOptions.txt", options) ||
        !Write(root + "/Images/SelectedPrograms.txt", "Bench;1\r\n") ||
        !Write(root + "/Images/AutoStart.txt", s.autostart ? "1\r\n" : "0\r\n") ||
        !Write(root + "/Data/Bench.txt", messages)) {
        return false;
    }
    // The Run value and any per-user state go to the temporary folder, not the user's.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir_.path() + "/config");
    env.insert("XDG_DATA_HOME", dir_.path() + "/data");
    proc_.setProcessEnvironment(env);
    return true;
}

bool FlashProgram::Launch() {
    proc_.start(dir_.path() + "/app/kestrane", {});
    return proc_.waitForStarted(5000);
}

void FlashProgram::Stop() {
    if (proc_.state() != QProcess::NotRunning) {
        proc_.kill();
        proc_.waitForFinished(5000);
    }
}

bool FlashProgram::Running() const {
    return proc_.state() == QProcess::Running;
}

qint64 FlashProgram::Pid() const {
    return proc_.processId();
}

bool FlashProgram::Usage(double* cpuSeconds, long* peakKiB) const {
    QFile stat(QString("/proc/%1/stat").arg(Pid()));
    QFile status(QString("/proc/%1/status").arg(Pid()));
    if (!Running() || !stat.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QString s = QString::fromLatin1(stat.readAll());
    const QStringList f = s.mid(s.lastIndexOf(')') + 2).split(' ');
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    *cpuSeconds = (f.value(11).toDouble() + f.value(12).toDouble()) / ticks;
    const auto m =
        QRegularExpression("VmHWM:\\s+(\\d+)").match(QString::fromLatin1(status.readAll()));
    *peakKiB = m.hasMatch() ? m.captured(1).toLong() : -1;
    return true;
}

}  // namespace screenwatch
