// The tray library on a real X server with a real tray host: a client registers it with
// regsvr, creates SysTray through CoCreateInstance, shows the icon, and a real mouse click on
// the icon (xdotool) raises MouseDown; the client opens the menu from that handler, a real
// click on its third entry arrives as MenuClick, and the release as MouseUp.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMenu>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/imagelist/image_list.h"
#include "platform/shell/notify_icon.h"
#include "platform/win/window.h"
#include "tests/support/test_support.h"
#include "traylib/quorvil.h"

namespace {

using namespace platform::com;

bool WaitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

int RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000)) {
        return -1;
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// Moves the pointer to a point of the screen and clicks the left button there, as a user does;
// runs on its own so that this process keeps handling the events it causes.
void ClickAt(QPoint at) {
    QProcess::startDetached("xdotool", {"mousemove", "--sync", QString::number(at.x()),
                                        QString::number(at.y()), "click", "1"});
}

// Every STATIC window of the process that owns an icon in the notification area.
QSystemTrayIcon* FindTrayIcon() {
    using namespace platform::win;
    for (HWND h = FindWindowExA(0, 0, "STATIC", nullptr); h != 0;
         h = FindWindowExA(0, h, "STATIC", nullptr)) {
        if (QSystemTrayIcon* icon = platform::shell::TrayIconFor(h, 0)) {
            return icon;
        }
    }
    return nullptr;
}

// The bounding box of the pixels of one colour in an image (empty when there are none).
QRect FindColor(const QImage& shot, QColor color) {
    const QImage image = shot.convertToFormat(QImage::Format_RGB32);
    const QRgb wanted = color.rgb();
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] | 0xFF000000u) == wanted) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

TEST(TrayIconE2e, RealClickRaisesMouseDownAndTheChosenEntryArrives) {
    testsupport::TempDir home;
    testsupport::ScopedEnv config("XDG_CONFIG_HOME", home.path().string());
    ASSERT_EQ(RunTool(KESTRANE_REGSVR, {"-s", KESTRANE_QUORVIL_MODULE}), 0);

    ComPtr<quorvil::_SysTray> tray;
    ASSERT_EQ(CoCreateInstance(quorvil::CLSID_SysTray, nullptr, CLSCTX_INPROC_SERVER,
                               quorvil::IID__SysTray, tray.PutVoid()),
              S_OK);

    // The client's image list with one magenta picture.
    ComPtr<platform::imagelist::IImageList> list;
    platform::imagelist::CreateImageList(list.Put());
    ComPtr<platform::imagelist::IListImages> images;
    list->get_ListImages(images.Put());
    QPixmap magenta(22, 22);
    magenta.fill(QColor(255, 0, 255));
    ComPtr<platform::imagelist::IPictureDisp> picture;
    platform::imagelist::CreatePictureFromIcon(QIcon(magenta), picture.Put());
    images->Add(*Variant::Missing().get(), *Variant::Text(u"tray").get(),
                *Variant::Object(picture.get()).get(), nullptr);
    ASSERT_EQ(tray->putref_ImageList(list.get()), S_OK);
    ASSERT_EQ(tray->put_Icon(*Variant::Short(1).get()), S_OK);

    ComPtr<quorvil::_MenuItems> menu;
    tray->get_Menu(menu.Put());
    for (const char16_t* caption : {u"Show", u"-", u"Start"}) {
        Bstr text(caption);
        ComPtr<quorvil::_MenuItem> item;
        ASSERT_EQ(menu->Add(text.get(), text.get(), *Variant::Missing().get(), 0, nullptr,
                            VARIANT_TRUE, item.Put()),
                  S_OK);
    }

    std::vector<std::string> events;
    bool menuClicked = false;
    ComPtr<EventSink> sink = EventSink::Create(
        quorvil::DIID___SysTray, [&](DISPID id, const std::vector<VARIANT*>& args) {
            std::string entry = std::to_string(id);
            if (id == quorvil::DISPID_SysTrayEvents_MenuClick && !args.empty() &&
                args[0]->vt == (VT_BYREF | VT_DISPATCH)) {
                ComPtr<quorvil::_MenuItem> item;
                (*args[0]->ppdispVal)->QueryInterface(quorvil::IID__MenuItem, item.PutVoid());
                Bstr caption;
                item->get_Caption(caption.Put());
                entry = "MenuClick:" + QString::fromStdU16String(caption.Text()).toStdString();
            } else if (!args.empty() && args[0]->vt == VT_I4) {
                static const char* const kNames[] = {"",        "Click",     "MouseDown",
                                                     "MouseUp", "MouseMove", "DoubleClick"};
                entry = std::string(id >= 1 && id <= 5 ? kNames[id] : "?") + ":" +
                        std::to_string(args[0]->lVal);
            }
            events.push_back(entry);
            if (id != quorvil::DISPID_SysTrayEvents_MouseDown) {
                return;
            }
            // Once the menu is on screen, click its third entry ("Start").
            auto* poll = new QTimer;
            QObject::connect(poll, &QTimer::timeout, [poll, &menuClicked] {
                auto* shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                if (shown == nullptr || shown->windowHandle() == nullptr ||
                    !shown->windowHandle()->isExposed() || menuClicked) {
                    return;
                }
                menuClicked = true;
                QAction* start = shown->actions().at(2);
                ClickAt(shown->mapToGlobal(shown->actionGeometry(start).center()));
                poll->deleteLater();
            });
            poll->start(50);
            tray->ShowMenu();
        });
    ASSERT_TRUE(sink);
    ASSERT_EQ(sink->Connect(tray.get()), S_OK);
    ASSERT_EQ(tray->put_Visible(VARIANT_TRUE), S_OK);

    // The icon is on the screen once the tray host has embedded and drawn it: find its
    // picture there (Qt does not know where an embedded icon sits).
    ASSERT_NE(FindTrayIcon(), nullptr);
    QRect place;
    ASSERT_TRUE(WaitUntil(
        [&] {
            place = FindColor(QGuiApplication::primaryScreen()->grabWindow(0).toImage(),
                              QColor(255, 0, 255));
            return place.width() >= 8 && place.height() >= 8;
        },
        10000))
        << "the icon's picture never reached the screen";

    ClickAt(place.center());
    ASSERT_TRUE(WaitUntil([&] { return events.size() >= 3; }, 15000))
        << "events so far: " << events.size();
    EXPECT_EQ(events, (std::vector<std::string>{"MouseDown:1", "MenuClick:Start", "MouseUp:1"}));

    sink->Disconnect();
    tray.Reset();
    EXPECT_EQ(FindTrayIcon(), nullptr);
    EXPECT_EQ(RunTool(KESTRANE_REGSVR, {"-s", "-u", KESTRANE_QUORVIL_MODULE}), 0);
}

}  // namespace

int main(int argc, char** argv) {
    // A real X server: the one with-x.sh started.
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
