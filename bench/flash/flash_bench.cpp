// Flash timing seen from outside the program.
//
//   flash_bench                 measure display times 1, 5, 16 and 100 ms (1 s pause, 20
//                               flashes each), then CPU and peak RSS over a 60 s run
//   flash_bench --program <kestrane> [seconds]
//                               also measure the whole program: started in a temporary
//                               application folder, Start clicked, CPU and peak RSS read
//   flash_bench flasher <ms> <pause s> <seconds>
//                               the flashing process itself (started by the modes above)
//
// Run under an X server: tests/e2e/with-x.sh build/bench/flash/flash_bench
// The watcher is a separate X client that polls the middle of the screen with XShm and
// notes when the letters appear and disappear.
#include "app/flash/messages_form.h"
#include "app/flash/shared_state.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/resource.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const rusage& r) {
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// A precise timer that notes how late each tick comes after its due time.
class LatenessTimer : public kestrane::Timer {
  public:
    explicit LatenessTimer(std::vector<double>& lateness)
        : inner_(kestrane::PreciseTimers()()), lateness_(lateness) {
        inner_->OnTick([this] {
            const auto now = Clock::now();
            lateness_.push_back(std::chrono::duration<double, std::milli>(now - due_).count());
            due_ = now + std::chrono::milliseconds(inner_->Interval());
            Fire();
        });
    }
    void SetInterval(int ms) override {
        inner_->SetInterval(ms);
        Restarted();
    }
    int Interval() const override { return inner_->Interval(); }
    void SetEnabled(bool enabled) override {
        const bool was = inner_->Enabled();
        inner_->SetEnabled(enabled);
        if (enabled && !was) {
            Restarted();
        }
    }
    bool Enabled() const override { return inner_->Enabled(); }

  private:
    void Restarted() { due_ = Clock::now() + std::chrono::milliseconds(inner_->Interval()); }
    std::unique_ptr<kestrane::Timer> inner_;
    std::vector<double>& lateness_;
    Clock::time_point due_{};
};

// The flashing process: a real flash window, white bold letters in the middle of the screen.
int Flasher(int argc, char** argv) {
    if (argc < 5) {
        return 2;
    }
    const int ms = std::atoi(argv[2]);
    const int pause = std::atoi(argv[3]);
    const double seconds = std::atof(argv[4]);
    QApplication app(argc, argv);
    kestrane::SharedState state;
    state.flashOptions = kestrane::FlashOptions::Defaults();
    state.flashOptions.Color = "16777215";
    state.flashOptions.Msgduration = static_cast<std::int16_t>(ms);
    state.flashOptions.TimeBtnMsgs = pause;
    state.flashOptions.SelFont = "DejaVu Sans";
    state.flashOptions.SelFontSize = 28;
    // Many copies of one message, so that the index counts the messages shown.
    const int copies = 30000;
    state.runList.RedimPreserve(copies);
    for (int i = 0; i < copies; ++i) {
        state.runList.Set(i, "FLASH");
    }
    kestrane::Rnd rnd;
    std::vector<double> lateness;
    kestrane::MessagesForm form(
        state, [&] { return std::make_unique<LatenessTimer>(lateness); }, rnd);
    rusage atLoad{};
    getrusage(RUSAGE_SELF, &atLoad);
    form.Show();
    QTimer::singleShot(static_cast<int>(seconds * 1000), &app, [&] {
        rusage end{};
        getrusage(RUSAGE_SELF, &end);
        std::sort(lateness.begin(), lateness.end());
        if (!lateness.empty()) {
            std::printf("timer lateness ms median %.2f p95 %.2f max %.2f\n",
                        lateness[lateness.size() / 2],
                        lateness[std::min(lateness.size() - 1, lateness.size() * 95 / 100)],
                        lateness.back());
        }
        std::printf("shows %d cpu_total %.4f cpu_run %.4f run_s %.3f maxrss_kib %ld\n",
                    static_cast<int>(form.MsgIndex()), Seconds(end), Seconds(end) - Seconds(atLoad),
                    seconds, end.ru_maxrss);
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}

// Time spent inside the two phases of the timer's tick, driven directly (no timer).
int Profile(int argc, char** argv) {
    QApplication app(argc, argv);
    kestrane::SharedState state;
    state.flashOptions = kestrane::FlashOptions::Defaults();
    state.flashOptions.Color = "16777215";
    state.flashOptions.SelFont = "DejaVu Sans";
    state.flashOptions.SelFontSize = 28;
    state.runList.RedimPreserve(1);
    state.runList.Set(0, "FLASH");
    kestrane::Rnd rnd;
    kestrane::MessagesForm form(state, kestrane::PreciseTimers(), rnd);
    form.Show();
    std::vector<double> show, hide;
    for (int i = 0; i < 200; ++i) {
        QCoreApplication::processEvents();
        auto t = Clock::now();
        form.Timer1_Timer();
        (form.MsgShown() ? show : hide)
            .push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
    }
    std::sort(show.begin(), show.end());
    std::sort(hide.begin(), hide.end());
    std::printf("show phase ms: median %.3f max %.3f; hide phase ms: median %.3f max %.3f\n",
                show[show.size() / 2], show.back(), hide[hide.size() / 2], hide.back());
    return 0;
}

struct Watcher {
    Display* dpy = nullptr;
    XImage* img = nullptr;
    XShmSegmentInfo shm{};
    int x = 0, y = 0, w = 0, h = 0;
    std::vector<std::uint32_t> baseline;

    bool Open() {
        dpy = XOpenDisplay(nullptr);
        if (dpy == nullptr || !XShmQueryExtension(dpy)) {
            return false;
        }
        const int scr = DefaultScreen(dpy);
        w = 320;
        h = 80;
        x = DisplayWidth(dpy, scr) / 2 - w / 2;
        y = DisplayHeight(dpy, scr) / 2 - h / 2;
        img = XShmCreateImage(dpy, DefaultVisual(dpy, scr), DefaultDepth(dpy, scr), ZPixmap,
                              nullptr, &shm, static_cast<unsigned>(w), static_cast<unsigned>(h));
        shm.shmid =
            shmget(IPC_PRIVATE, static_cast<size_t>(img->bytes_per_line) * h, IPC_CREAT | 0600);
        shm.shmaddr = img->data = static_cast<char*>(shmat(shm.shmid, nullptr, 0));
        shm.readOnly = False;
        XShmAttach(dpy, &shm);
        XSync(dpy, False);
        shmctl(shm.shmid, IPC_RMID, nullptr);
        Grab();
        baseline.assign(reinterpret_cast<std::uint32_t*>(img->data),
                        reinterpret_cast<std::uint32_t*>(img->data) + Pixels());
        return true;
    }
    size_t Pixels() const { return static_cast<size_t>(img->bytes_per_line / 4) * h; }
    void Grab() { XShmGetImage(dpy, DefaultRootWindow(dpy), img, x, y, AllPlanes); }
    bool On() {
        Grab();
        const auto* p = reinterpret_cast<const std::uint32_t*>(img->data);
        for (size_t i = 0; i < Pixels(); ++i) {
            if (p[i] != baseline[i]) {
                return true;
            }
        }
        return false;
    }
};

struct Interval {
    double start, end;  // ms since the flasher was started
};

struct Stats {
    double median = 0, p95 = 0, max = 0;
};

Stats Summarise(std::vector<double> errors) {
    Stats s;
    if (errors.empty()) {
        return s;
    }
    for (double& e : errors) {
        e = std::abs(e);
    }
    std::sort(errors.begin(), errors.end());
    const auto at = [&](double q) {
        const size_t i = static_cast<size_t>(std::ceil(q * static_cast<double>(errors.size()))) - 1;
        return errors[std::min(i, errors.size() - 1)];
    };
    s.median = errors.size() % 2 ? errors[errors.size() / 2]
                                 : (errors[errors.size() / 2 - 1] + errors[errors.size() / 2]) / 2;
    s.p95 = at(0.95);
    s.max = errors.back();
    return s;
}

void MeasureTiming(Watcher& watcher, const std::string& self, int ms, int cycles) {
    const double seconds = cycles * (1.0 + ms / 1000.0) + 0.5;
    QProcess flasher;
    flasher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const auto t0 = Clock::now();
    flasher.start(QString::fromStdString(self),
                  {"flasher", QString::number(ms), "1", QString::number(seconds)});
    flasher.waitForStarted();
    std::vector<Interval> seen;
    bool on = false;
    double since = 0;
    long polls = 0;
    while (flasher.state() != QProcess::NotRunning) {
        const bool now = watcher.On();
        ++polls;
        const double t = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (now != on) {
            if (now) {
                since = t;
            } else {
                seen.push_back({since, t});
            }
            on = now;
        }
        if (t > seconds * 1000 + 5000) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        if (polls % 64 == 0) {
            flasher.waitForFinished(0);
        }
    }
    flasher.waitForFinished(5000);
    const QString out = QString::fromLocal8Bit(flasher.readAllStandardOutput());
    const auto m = QRegularExpression("shows (\\d+)").match(out);
    const int shows = m.hasMatch() ? m.captured(1).toInt() : -1;
    const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();

    std::vector<double> display, pause;
    for (size_t i = 0; i < seen.size(); ++i) {
        display.push_back(seen[i].end - seen[i].start - ms);
        // A pause that spans a flash never seen belongs to the missed count, not here.
        if (i > 0 && seen[i].start - seen[i - 1].end < 1500.0) {
            pause.push_back(seen[i].start - seen[i - 1].end - 1000.0);
        }
    }
    const Stats d = Summarise(display);
    const Stats p = Summarise(pause);
    std::printf(
        "display %4d ms: shown %2d seen %2d missed %2d | display error ms median %.2f p95 %.2f "
        "max %.2f | pause error ms median %.2f p95 %.2f max %.2f | poll %.3f ms\n",
        ms, shows, static_cast<int>(seen.size()),
        std::max(0, shows - static_cast<int>(seen.size())), d.median, d.p95, d.max, p.median, p.p95,
        p.max, elapsed / static_cast<double>(polls));
    const auto late = QRegularExpression("timer lateness[^\n]*").match(out);
    if (late.hasMatch()) {
        std::printf("                 inside the flasher: %s\n", qPrintable(late.captured(0)));
    }
    std::fflush(stdout);
}

void MeasureFlasherLoad(const std::string& self, double seconds) {
    QProcess flasher;
    flasher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    flasher.start(QString::fromStdString(self), {"flasher", "100", "1", QString::number(seconds)});
    flasher.waitForFinished(static_cast<int>(seconds * 1000) + 20000);
    const QString out = QString::fromLocal8Bit(flasher.readAllStandardOutput()).trimmed();
    const auto m = QRegularExpression(
                       "cpu_total ([0-9.]+) cpu_run ([0-9.]+) run_s ([0-9.]+) "
                       "maxrss_kib (\\d+)")
                       .match(out);
    if (!m.hasMatch()) {
        std::printf("flasher load: no report (%s)\n", qPrintable(out));
        return;
    }
    const double total = m.captured(1).toDouble();
    const double run = m.captured(2).toDouble();
    const double runS = m.captured(3).toDouble();
    std::printf(
        "flash window alone, 100 ms / 1 s for %.0f s: CPU %.3f %% of one core while running "
        "(%.3f %% including start-up), peak RSS %.1f MiB\n",
        runS, 100.0 * run / runS, 100.0 * total / runS, m.captured(4).toDouble() / 1024.0);
}

// Reads utime + stime (seconds) and VmHWM (KiB) of a running process.
bool ProcUsage(qint64 pid, double* cpu, long* hwm) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!stat.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QString s = QString::fromLatin1(stat.readAll());
    const QStringList f = s.mid(s.lastIndexOf(')') + 2).split(' ');
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    *cpu = (f.value(11).toDouble() + f.value(12).toDouble()) / ticks;
    const auto m =
        QRegularExpression("VmHWM:\\s+(\\d+)").match(QString::fromLatin1(status.readAll()));
    *hwm = m.hasMatch() ? m.captured(1).toLong() : -1;
    return true;
}

QString Tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(5000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

void MeasureProgram(const QString& program, double seconds) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("Images");
    QDir(dir.path()).mkpath("Data");
    const QString exe = dir.filePath("kestrane");
    QFile::copy(program, exe);
    QFile::setPermissions(exe, QFile::permissions(program));
    auto write = [&](const QString& rel, const QByteArray& bytes) {
        QFile f(dir.filePath(rel));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    };
    write("Images/SelectedOptions.txt",
          "Color;16777215\r\nMsgduration;100\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\n"
          "SelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;28\r\n");
    write("Images/SelectedPrograms.txt", "Bench;1\r\n");
    write("Images/AutoStart.txt", "0\r\n");
    write("Data/Bench.txt", "FLASH;1\r\nKEEP GOING;1\r\n");

    QProcess proc;
    proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    proc.start(exe, {});
    proc.waitForStarted();
    QString wid;
    for (int i = 0; i < 100 && wid.isEmpty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        wid = Tool("xdotool", {"search", "--name", "^Orvessa$"}).section('\n', 0, 0);
    }
    if (wid.isEmpty()) {
        std::printf("whole program: the control panel did not appear\n");
        proc.kill();
        proc.waitForFinished();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const QString info = Tool("xwininfo", {"-id", wid});
    const int ax =
        QRegularExpression("Absolute upper-left X:\\s+(-?\\d+)").match(info).captured(1).toInt();
    const int ay =
        QRegularExpression("Absolute upper-left Y:\\s+(-?\\d+)").match(info).captured(1).toInt();
    // The Start picture: 7140, 720, 1275 x 450 twips.
    Tool("xdotool", {"mousemove", QString::number(ax + 476 + 42), QString::number(ay + 48 + 15),
                     "click", "1"});
    double cpu0 = 0, cpu1 = 0;
    long hwm = 0;
    ProcUsage(proc.processId(), &cpu0, &hwm);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const bool ok = ProcUsage(proc.processId(), &cpu1, &hwm);
    const bool flashing = Tool("xwininfo", {"-root", "-tree"}).contains("messagesform");
    proc.kill();
    proc.waitForFinished();
    if (!ok) {
        std::printf("whole program: it ended early\n");
        return;
    }
    std::printf(
        "whole program (control panel + running flash window%s), 100 ms / 1 s for %.0f s: CPU "
        "%.3f %% of one core, peak RSS %.1f MiB\n",
        flashing ? "" : " - NOT FOUND", seconds, 100.0 * (cpu1 - cpu0) / seconds, hwm / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "flasher") == 0) {
        return Flasher(argc, argv);
    }
    if (argc >= 2 && std::strcmp(argv[1], "profile") == 0) {
        return Profile(argc, argv);
    }
    QCoreApplication app(argc, argv);
    char selfPath[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", selfPath, sizeof selfPath - 1);
    if (n <= 0) {
        return 1;
    }
    const std::string self(selfPath, static_cast<size_t>(n));
    QString program;
    double programSeconds = 60;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--program") == 0 && i + 1 < argc) {
            program = QString::fromLocal8Bit(argv[++i]);
            if (i + 1 < argc) {
                programSeconds = std::atof(argv[++i]);
            }
        }
    }
    const int cycles =
        std::getenv("FLASH_BENCH_CYCLES") ? std::atoi(std::getenv("FLASH_BENCH_CYCLES")) : 20;
    const double loadSeconds =
        std::getenv("FLASH_BENCH_LOAD_S") ? std::atof(std::getenv("FLASH_BENCH_LOAD_S")) : 60;

    Watcher watcher;
    if (!watcher.Open()) {
        std::fprintf(stderr, "flash_bench: needs an X server with MIT-SHM\n");
        return 1;
    }
    for (int ms : {1, 5, 16, 100}) {
        MeasureTiming(watcher, self, ms, cycles);
    }
    MeasureFlasherLoad(self, loadSeconds);
    if (!program.isEmpty()) {
        MeasureProgram(program, programSeconds);
    }
    return 0;
}
