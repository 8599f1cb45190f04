#include "platform/shell/shell_execute.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

#include "platform/win/ansi_text.h"

namespace platform::shell {

HINSTANCE ShellExecuteA(platform::win::HWND /*hwnd*/, const char* lpOperation, const char* lpFile,
                        const char* lpParameters, const char* lpDirectory, int /*nShowCmd*/) {
    using platform::win::DecodeAnsi;
    const QString operation = lpOperation != nullptr ? DecodeAnsi(lpOperation) : QString();
    if (!operation.isEmpty() && operation.compare("open", Qt::CaseInsensitive) != 0) {
        return SE_ERR_NOASSOC;
    }
    const QString file = lpFile != nullptr ? DecodeAnsi(lpFile) : QString();
    if (file.isEmpty()) {
        return SE_ERR_FNF;
    }
    // Two characters at least before the colon, so that a drive letter (C:\Data) is a path.
    static const QRegularExpression kScheme("^[A-Za-z][A-Za-z0-9+.-]+:");
    if (kScheme.match(file).hasMatch()) {
        return QDesktopServices::openUrl(QUrl(file)) ? kShellExecuteOk : SE_ERR_NOASSOC;
    }

    QString path = file;
    path.replace('\\', '/');
    if (QFileInfo(path).isRelative() && lpDirectory != nullptr && *lpDirectory != '\0') {
        QString directory = DecodeAnsi(lpDirectory);
        directory.replace('\\', '/');
        path = QDir(directory).filePath(path);
    }
    if (!QFileInfo::exists(path)) {
        return SE_ERR_FNF;
    }
    const QString parameters = lpParameters != nullptr ? DecodeAnsi(lpParameters) : QString();
    if (!parameters.isEmpty()) {
        return QProcess::startDetached(path, QProcess::splitCommand(parameters))
                   ? kShellExecuteOk
                   : SE_ERR_ACCESSDENIED;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()))
               ? kShellExecuteOk
               : SE_ERR_NOASSOC;
}

}  // namespace platform::shell
