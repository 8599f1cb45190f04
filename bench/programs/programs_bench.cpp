// Figures for programs of every size, on the real control panel (offscreen) and the real files:
// for a program of 10, 10,000, 100,000 and 1,000,000 messages, the time from a click on it to its
// message list painted, each action of the Programs tab (a click on a message, Add, Update,
// Delete, Exclude, a tick) beside a bare rewrite of the file of that size, the count of included
// messages, View Script, the run list a Start builds, a Rename, and the import of a text file of
// that size with its peak memory above what the process held before, and the start-up of the
// control panel with that program ticked (shown, and with autostart, a run started) with its time
// and peak memory. It prints; nothing fails on time.
//
//   programs_bench [largest]     (largest: the biggest size measured, default 1000000)
#include "app/flash/fake_clock.h"
#include "app/flash/run_list.h"
#include "app/panel/frm_main.h"
#include "app/panel/message_editor.h"
#include "app/panel/message_list_model.h"
#include "app/panel/picture_button.h"
#include "app/panel/programs_page.h"
#include "app/panel/setup_page.h"
#include "app/store/catalogue.h"
#include "app/store/category_file.h"
#include "app/store/text_file.h"
#include "platform/dialogs/scripted_dialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMouseEvent>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace kestrane;

namespace {

double Ms(const std::function<void()>& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// A line from /proc/self/status in KiB ("VmRSS", "VmHWM").
long StatusKib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stol(line.substr(key.size()));
        }
    }
    return -1;
}

// Starts a new peak: the kernel's high-water mark of the resident set back to what is resident.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::string Message(long i) {
    char text[64];
    std::snprintf(text, sizeof text, "Message number %07ld of a long generated list", i);
    return text;
}

void ClickRow(QAbstractItemView* list, int row) {
    const QRect r = list->visualRect(list->model()->index(row, 0));
    const QPointF at(r.right() - 4, r.center().y());
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent e(type, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &e);
    }
}

// Runs this program again with mode and app, reading back the child's time and peak.
void InChild(const char* mode, const fs::path& app, double& ms, long& peakKib) {
    const std::string command = "/proc/" + std::to_string(::getpid()) + "/exe " + mode + " '" +
                                app.string() + "' 2>/dev/null";
    FILE* child = ::popen(command.c_str(), "r");
    if (child == nullptr || std::fscanf(child, "%lf %ld", &ms, &peakKib) != 2) {
        std::printf("(%s could not be measured)\n", mode);
    }
    if (child != nullptr) {
        ::pclose(child);
    }
}

struct Panel {
    explicit Panel(const fs::path& app) {
        FrmMain::Options o;
        o.appFolder = app;
        o.timers = clock.Factory();
        o.createTray = false;
        host = std::make_unique<FrmMain>(state, dialogs, std::move(o));
        host->show();
        host->PbEditMessages_Click();
        QApplication::processEvents();
    }
    ProgramsPage& page() { return *host->PanelEditMessage; }
    SetupPage& setup() { return *host->PanelOptions; }
    // The click's work and the paint of what it changed, as the user waits for both.
    double Step(const std::function<void()>& f) {
        return Ms([&] {
            f();
            QApplication::processEvents();
            host->repaint();
        });
    }

    SharedState state;
    platform::ScriptedDialogs dialogs;
    FakeClock clock;
    std::unique_ptr<FrmMain> host;
};

void Measure(long n) {
    const fs::path app = fs::temp_directory_path() /
                         ("kestrane-programs-bench-" + std::to_string(std::random_device{}()));
    fs::create_directories(app / "Data");
    fs::create_directories(app / "Images");
    fs::create_directories(app / "src");

    // The category file and a plain text file of the same messages for the import.
    {
        std::string category, plain;
        for (long i = 0; i < n; ++i) {
            const std::string m = Message(i);
            category += m + (i % 10 == 9 ? ";0\r\n" : ";1\r\n");
            plain += m + "\r\n";
        }
        ReplaceFile(app / "Data/Big.txt", category);
        ReplaceFile(app / "src/Book.txt", plain);
        ReplaceFile(app / "Images/SelectedPrograms.txt", "Big;1\r\n");
    }
    const auto fileBytes = fs::file_size(app / "Data/Big.txt");
    const auto plainBytes = fs::file_size(app / "src/Book.txt");
    const CategoryList selection{{"Big", true}};

    double model = 0;
    {
        MessageListModel m;
        model = Ms([&] { m.Load(ReadFileBytes(app / "Data/Big.txt")); });
    }
    double rewrite = 0;
    {
        const std::string original = ReadFileBytes(app / "Data/Big.txt");
        rewrite = Ms([&] { ReplaceFile(app / "Data/Big.txt", original); });
    }
    const double count = Ms([&] { CountIncludedMessages(app, selection); });
    RunList list;
    const double runList = Ms([&] { BuildRunList(app, selection, list); });

    double show = 0, select = 0, add = 0, update = 0, del = 0, exclude = 0, tick = 0, script = 0,
           rename = 0;
    {
        Panel panel(app);
        ProgramsPage& page = panel.page();
        panel.setup().AddCategory({"Big", true});
        page.AddCategoryName("Big");
        show = panel.Step([&] { ClickRow(page.LstBoxCategories, 0); });
        page.TxtMessage->setText("One more message");
        add = panel.Step([&] { page.PbMadd->click(); });
        select = panel.Step([&] { ClickRow(page.ClbMessages, 1); });
        page.TxtMessage->setText("Changed message");
        update = panel.Step([&] { page.PbMEdit->click(); });
        ClickRow(page.ClbMessages, 2);
        exclude = panel.Step([&] { page.PbExclude->click(); });
        tick = panel.Step([&] { page.SetMessageChecked(2, true); });
        del = panel.Step([&] { page.PbMdelete->click(); });
        if (page.MessageCount() != n) {  // one added, one deleted
            std::printf("(the list holds %d messages, not %ld)\n", page.MessageCount(), n);
        }
        panel.host->PBMessage_Click();
        QApplication::processEvents();
        ClickRow(panel.setup().ClbCategories, 0);
        script = panel.Step([&] { panel.setup().PbViewScript_MouseDown(); });
        // Last, as the program then has another name: Rename streams its file into the new one.
        panel.host->PbEditMessages_Click();
        ClickRow(page.LstBoxCategories, 0);
        page.TxtCategory->setText("Renamed");
        rename = panel.Step([&] { page.PbRename->click(); });
    }

    // The import and the start-up, each in a process of its own, whose peak is its own.
    double import = 0, startup = 0, autostart = 0;
    long peak = 0, startupPeak = 0, autostartPeak = 0;
    InChild("--import", app, import, peak);
    // The program as Rename left it (unticked, under its new name), ticked again.
    ReplaceFile(app / "Images/SelectedPrograms.txt", "Renamed;1\r\nBook;0\r\n");
    InChild("--startup", app, startup, startupPeak);
    ReplaceFile(app / "Images/AutoStart.txt", "1\r\n");
    InChild("--startup", app, autostart, autostartPeak);

    std::printf(
        "%9ld messages, %6.1f MB: show %7.1f  select %7.1f  add %7.1f  update %7.1f  delete "
        "%7.1f  exclude %7.1f  tick %7.1f  (a rewrite alone %7.1f)  count %6.1f  view script "
        "%7.1f  run list %6.1f  rename %7.1f  import %7.1f ms, %6.1f MiB above the start for a "
        "%.1f MB file; "
        "of the show, the file read and indexed %6.1f; start-up with it ticked %6.1f ms, %5.1f "
        "MiB, with autostart (a run started) %6.1f ms, %5.1f MiB\n",
        n, fileBytes / 1e6, show, select, add, update, del, exclude, tick, rewrite, count, script,
        runList, rename, import, peak / 1024.0, plainBytes / 1e6, model, startup,
        startupPeak / 1024.0, autostart, autostartPeak / 1024.0);
    std::fflush(stdout);
    std::error_code ec;
    fs::remove_all(app, ec);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--import") {
        // The child that imports: prints its time and its peak above what it held before.
        const fs::path app = argv[2];
        ResetPeak();
        const long before = StatusKib("VmRSS");
        const double ms = Ms([&] {
            ImportCategory(app, {{"Big", true}}, app / "src/Book.txt", "Book.txt");
        });
        std::printf("%f %ld\n", ms, StatusKib("VmHWM") - before);
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--startup") {
        // The child that starts the control panel on the folder: from the window made to the
        // start-up sequence done and painted, and the peak above what the process held before.
        ResetPeak();
        const long before = StatusKib("VmRSS");
        SharedState state;
        platform::ScriptedDialogs dialogs;
        FakeClock clock;
        std::unique_ptr<FrmMain> host;
        const double ms = Ms([&] {
            FrmMain::Options o;
            o.appFolder = argv[2];
            o.timers = clock.Factory();
            o.createTray = false;
            host = std::make_unique<FrmMain>(state, dialogs, std::move(o));
            host->Form_Load();
            QApplication::processEvents();
            if (host->isVisible()) {
                host->repaint();
            }
        });
        std::printf("%f %ld\n", ms, StatusKib("VmHWM") - before);
        return 0;
    }
    const long largest = argc > 1 ? std::stol(argv[1]) : 1000000;
    std::printf("All times in milliseconds from the click to the panel painted again.\n");
    for (long n : {10L, 10000L, 100000L, 1000000L}) {
        if (n <= largest) {
            Measure(n);
        }
    }
    return 0;
}
