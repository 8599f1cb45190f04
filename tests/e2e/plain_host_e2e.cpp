// The tray library in hosts that are not Qt GUI programs: a plain C++ client that uses only
// the component runtime (no Qt application object), and a generic late-bound client that knows
// nothing but the program id and learns the rest from the type information
// (plain_host_generic_e2e.cpp). CTest runs them under an X server with a tray host, where the
// icon is clicked and the menu chosen from with real input; with no display at all; and under
// X in a QCoreApplication. In the last two the icon and the menu cannot be shown and
// everything else goes on working.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/imagelist/image_list.h"
#include "traylib/quorvil_client.h"

namespace quorvil_test {
namespace {

// Whether the icon and the menu can be shown: an X display, and no Qt application of the
// host's that the library could not put its own beside.
bool HasScreen() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0' && QCoreApplication::instance() == nullptr;
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        CoPumpCalls(50);  // the events for this thread's sink arrive meanwhile
    }
    return true;
}

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe)) {
            out += buffer;
        }
        pclose(pipe);
    }
    return out;
}

// The windows of this program on the X server as {x, y, width, height} (absolute position):
// the tray icon is the small one once the tray host has taken it in (it then has a parent,
// so its place differs from its place in that parent), an open menu the large one.
std::vector<std::vector<int>> OurWindows() {
    const std::string name = program_invocation_short_name;
    std::istringstream tree(Shell("xwininfo -root -tree 2>/dev/null"));
    std::vector<std::vector<int>> found;
    for (std::string line; std::getline(tree, line);) {
        if (line.find('"' + name + "\": (\"" + name) == std::string::npos) {
            continue;
        }
        int w = 0, h = 0, rx = 0, ry = 0, x = 0, y = 0;
        const auto geometry = line.find(")  ");
        if (std::sscanf(line.c_str() + geometry + 3, "%dx%d+%d+%d +%d+%d", &w, &h, &rx, &ry, &x,
                        &y) == 6 &&
            (w > 48 || rx != x || ry != y)) {
            found.push_back({x, y, w, h});
        }
    }
    return found;
}

std::vector<int> Window(bool small) {
    for (const auto& w : OurWindows()) {
        if ((w[2] <= 48 && w[3] <= 48) == small) {
            return w;
        }
    }
    return {};
}

// The events of __SysTray as a sink sees them ("MouseDown(1)", "MenuClick(Start)"), with the
// threads they arrived on.
class Recorder {
  public:
    void Add(DISPID id, const std::vector<VARIANT*>& args) {
        static const char* const kNames[] = {"",          "Click",       "MouseDown", "MouseUp",
                                             "MouseMove", "DoubleClick", "MenuClick"};
        std::string text = id >= 1 && id <= 6 ? kNames[id] : std::to_string(id);
        text += '(';
        if (!args.empty() && args[0]->vt == VT_I4) {
            text += std::to_string(args[0]->lVal);
        } else if (!args.empty() && args[0]->vt == (VT_BYREF | VT_DISPATCH)) {
            ComPtr<_MenuItem> item;
            (*args[0]->ppdispVal)->QueryInterface(IID__MenuItem, item.PutVoid());
            Bstr caption;
            item->get_Caption(caption.Put());
            text += std::string(caption.View().begin(), caption.View().end());
        }
        std::lock_guard lock(mutex_);
        events_.push_back(text + ')');
        threads_.insert(std::this_thread::get_id());
    }
    std::vector<std::string> Events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::set<std::thread::id> Threads() {
        std::lock_guard lock(mutex_);
        return threads_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
        threads_.clear();
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> events_;
    std::set<std::thread::id> threads_;
};

TEST_F(QuorvilTest, APlainHostShowsTheIconAndTheMenuAndReceivesTheEvents) {
    const bool screen = HasScreen();
    ComPtr<_SysTray> tray = CreateTray();
    ASSERT_TRUE(tray);

    ComPtr<platform::imagelist::IImageList> list;
    ASSERT_EQ(platform::imagelist::CreateImageList(list.Put()), S_OK);
    ComPtr<platform::imagelist::IListImages> images;
    list->get_ListImages(images.Put());
    ComPtr<platform::imagelist::IPictureDisp> picture;
    ASSERT_EQ(platform::imagelist::LoadPicture(KESTRANE_TRAY_PICTURE, picture.Put()), S_OK);
    ASSERT_EQ(images->Add(*Variant::Missing().get(), *Variant::Text(u"tray").get(),
                          *Variant::Object(picture.get()).get(), nullptr),
              S_OK);
    ASSERT_EQ(tray->putref_ImageList(list.get()), S_OK);
    ASSERT_EQ(tray->put_Icon(*Variant::Short(1).get()), S_OK);
    ASSERT_EQ(tray->put_ToolTipText(Bstr(u" Plain host ").get()), S_OK);

    ComPtr<_MenuItems> menu = MenuOf(tray.get());
    for (const char16_t* caption : {u"Show", u"-", u"Start", u"Stop"}) {
        Bstr text(caption);
        ComPtr<_MenuItem> item;
        ASSERT_EQ(menu->Add(text.get(), text.get(), *Variant::Missing().get(), 0, nullptr,
                            caption == std::u16string_view(u"Stop") ? VARIANT_FALSE : VARIANT_TRUE,
                            item.Put()),
                  S_OK);
    }

    Recorder recorder;
    ComPtr<EventSink> sink = EventSink::Create(
        DIID___SysTray,
        [&](DISPID id, const std::vector<VARIANT*>& args) { recorder.Add(id, args); });
    ASSERT_EQ(sink->Connect(tray.get()), S_OK);

    // The step that brought such a host down.
    ASSERT_EQ(tray->put_Visible(VARIANT_TRUE), S_OK);
    VARIANT_BOOL visible = VARIANT_FALSE;
    EXPECT_EQ(tray->get_Visible(&visible), S_OK);
    EXPECT_EQ(visible, VARIANT_TRUE);
    Bstr tip;
    EXPECT_EQ(tray->get_ToolTipText(tip.Put()), S_OK);
    EXPECT_EQ(tip.View(), u"Plain host");

    const std::thread::id self = std::this_thread::get_id();
    if (screen) {
        // A real click on the icon in the tray host. Its events wait for this thread (the one
        // that advised the sink) until it pumps its calls, and then arrive on it.
        std::vector<int> icon;
        ASSERT_TRUE(WaitUntil([&] { return !(icon = Window(true)).empty(); }, 15000))
            << "the icon never appeared in the tray";
        // A click that lands before the tray host has shown the icon is lost: click again, at
        // the icon's place as it is then (the tray host may still be moving it into its place).
        // The pointer leaves first, since xdotool's --sync waits for a move that a pointer
        // already at the place never makes.
        for (int attempt = 0; attempt < 5 && recorder.Events().empty(); ++attempt) {
            if (const std::vector<int> now = Window(true); !now.empty()) {
                icon = now;
            }
            Shell("xdotool mousemove 0 0 mousemove --sync " +
                  std::to_string(icon[0] + icon[2] / 2) + " " +
                  std::to_string(icon[1] + icon[3] / 2) + " click 1");
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            EXPECT_TRUE(recorder.Events().empty()) << "an event arrived while nothing pumped";
            WaitUntil([&] { return recorder.Events().size() >= 2; }, 3000);
        }
        const std::vector<std::string> clicked = recorder.Events();
        ASSERT_GE(clicked.size(), 2u);
        EXPECT_EQ(clicked.size() % 2, 0u);
        for (std::size_t i = 0; i < clicked.size(); ++i) {
            EXPECT_EQ(clicked[i], i % 2 ? "MouseUp(1)" : "MouseDown(1)");
        }
        EXPECT_EQ(recorder.Threads(), (std::set<std::thread::id>{self}));
        recorder.Clear();

        // The menu, opened from this thread: it stays open until keys pressed by a helper
        // choose "Start" (Down: "Show", Down: over the separator to "Start"), and the choice
        // arrives before ShowMenu returns.
        const std::string name = program_invocation_short_name;
        std::system(("(for i in $(seq 150); do if xwininfo -root -tree | grep '\"" + name +
                     "\": (\"' | awk '{split($(NF-1), g, \"x\"); if (g[1] > 48) f = 1} END "
                     "{exit !f}'; then sleep 0.3; xdotool key Down Down Return; exit; fi; "
                     "sleep 0.1; done) >/dev/null 2>&1 &")
                        .c_str());
        EXPECT_EQ(tray->ShowMenu(), S_OK);
        EXPECT_EQ(recorder.Events(), (std::vector<std::string>{"MenuClick(Start)"}));
        EXPECT_EQ(recorder.Threads(), (std::set<std::thread::id>{self}));
    } else {
        // Nothing to show the menu on: it returns at once and nothing is chosen. Events that
        // the client sends itself arrive on its own thread.
        EXPECT_EQ(tray->ShowMenu(), S_OK);
        EXPECT_TRUE(recorder.Events().empty());
        EXPECT_EQ(tray->SendEvent(513), S_OK);
        EXPECT_EQ(recorder.Events(), (std::vector<std::string>{"MouseDown(1)"}));
        EXPECT_EQ(recorder.Threads(), (std::set<std::thread::id>{self}));
    }

    ASSERT_EQ(tray->put_Visible(VARIANT_FALSE), S_OK);
    if (screen) {
        EXPECT_TRUE(WaitUntil([] { return Window(true).empty(); }, 10000)) << "the icon stayed";
    }
    EXPECT_EQ(sink->Disconnect(), S_OK);
    // Every count goes back to zero, the tray's first (it holds the menu and the image list).
    EXPECT_EQ(tray.Detach()->Release(), 0u);
    EXPECT_EQ(menu.Detach()->Release(), 0u);
    EXPECT_EQ(sink.Detach()->Release(), 0u);
    images.Reset();
    EXPECT_EQ(list.Detach()->Release(), 0u);
    EXPECT_EQ(picture.Detach()->Release(), 0u);
}

}  // namespace
}  // namespace quorvil_test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // No Qt application object: the process is a plain client of the component runtime. With
    // --core-application it is a Qt program without a GUI (a QCoreApplication).
    if (argc > 1 && std::string(argv[1]) == "--core-application") {
        QCoreApplication app(argc, argv);
        return RUN_ALL_TESTS();
    }
    return RUN_ALL_TESTS();
}
