// The real program run from outside: a temporary copy of its staged application folder with
// state files written for the occasion, started as its own process under the current display.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace screenwatch {

class FlashProgram {
  public:
    struct Settings {
        int displayMs = 100;
        int pauseS = 1;
        bool autostart = true;  // start hidden and already flashing
        QString color = QStringLiteral("16777215");
        QString font = QStringLiteral("DejaVu Sans");
        int fontSize = 28;
        QString position = QStringLiteral("Center");
        QStringList messages = {QStringLiteral("FLASH")};
    };

    // stagedProgram: the kestrane executable of a staged application folder.
    explicit FlashProgram(QString stagedProgram);
    ~FlashProgram();

    // Copies the staged folder (program, libraries, pictures), writes the options, selection,
    // autostart and one category file (Setup), and starts the copy (Launch). False when any
    // step fails.
    bool Start(const Settings& settings) { return Setup(settings) && Launch(); }
    bool Setup(const Settings& settings);
    bool Launch();
    // Ends the process (it has no other way out while it runs hidden).
    void Stop();
    bool Running() const;
    qint64 Pid() const;
    QString Folder() const { return dir_.path(); }
    // Processor seconds used so far and the peak resident set in KiB, from /proc.
    bool Usage(double* cpuSeconds, long* peakKiB) const;

  private:
    QString staged_;
    QTemporaryDir dir_;
    QProcess proc_;
};

}  // namespace screenwatch
