#include "traylib/systray/sys_tray.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/imagelist/image_list.h"
#include "platform/win/icon.h"
#include "platform/win/popup_menu.h"
#include "platform/win/window.h"
#include "traylib/hook/mod_msg_hook.h"

namespace quorvil {
namespace {

namespace shell = platform::shell;
namespace win = platform::win;
using platform::imagelist::IImageList;
using platform::imagelist::IListImages;
using platform::imagelist::IPictureDisp;

// What reaches the notification area.
class RecordingArea final : public shell::NotifyArea {
  public:
    struct Call {
        shell::DWORD message;
        TrayIconRecord record;
    };
    std::vector<Call> calls;
    shell::BOOL Notify(shell::DWORD message, const TrayIconRecord& record) override {
        calls.push_back({message, record});
        return 1;
    }
};

// Shows nothing; answers with a scripted choice and keeps what it was asked to show.
class ScriptedMenu final : public win::PopupMenuHost {
  public:
    win::UINT answer = 0;
    int shown = 0;
    std::vector<win::PopupMenuItem> items;
    win::HWND owner = 0;
    std::vector<std::string>* log = nullptr;
    win::UINT Track(const std::vector<win::PopupMenuItem>& entries, win::POINT,
                    win::HWND ownerWindow) override {
        ++shown;
        items = entries;
        owner = ownerWindow;
        if (log != nullptr) {
            log->push_back("menu");
        }
        return answer;
    }
};

// A client's event sink: logs every event as "Name:argument".
class Sink final : public IDispatch {
  public:
    std::vector<std::string> log;
    std::function<void(DISPID)> onEvent;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID___SysTray) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        static const char* const kNames[] = {"",          "Click",       "MouseDown", "MouseUp",
                                             "MouseMove", "DoubleClick", "MenuClick"};
        std::string entry = id >= 1 && id <= 6 ? kNames[id] : "?";
        if (params->cArgs == 1) {
            const VARIANT& arg = params->rgvarg[0];
            if (arg.vt == VT_I4) {
                entry += ":" + std::to_string(arg.lVal);
            } else if (arg.vt == (VT_BYREF | VT_DISPATCH)) {
                ComPtr<_MenuItem> item;
                (*arg.ppdispVal)->QueryInterface(IID__MenuItem, item.PutVoid());
                Bstr caption;
                item->get_Caption(caption.Put());
                entry += ":" + QString::fromStdU16String(caption.Text()).toStdString();
            } else {
                entry += ":vt" + std::to_string(arg.vt);
            }
        }
        log.push_back(entry);
        if (onEvent) {
            onEvent(id);
        }
        return S_OK;
    }
    ULONG refs = 1;
};

QIcon Filled(Qt::GlobalColor color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

// An image list with a red image under key "Red" and a blue one under "Blue".
ComPtr<IImageList> NewImageList(std::vector<LONG>* handles) {
    ComPtr<IImageList> list;
    platform::imagelist::CreateImageList(list.Put());
    ComPtr<IListImages> images;
    list->get_ListImages(images.Put());
    for (auto [color, key] : {std::pair{Qt::red, u"Red"}, std::pair{Qt::blue, u"Blue"}}) {
        ComPtr<IPictureDisp> picture;
        platform::imagelist::CreatePictureFromIcon(Filled(color), picture.Put());
        LONG handle = 0;
        picture->get_Handle(&handle);
        handles->push_back(handle);
        images->Add(*Variant::Missing().get(), *Variant::Text(key).get(),
                    *Variant::Object(picture.get()).get(), nullptr);
    }
    return list;
}

std::string TipOf(const TrayIconRecord& record) {
    return std::string(record.szTip, sizeof record.szTip);
}

void AddEntry(_MenuItems* menu, std::u16string_view caption, bool enabled = true,
              bool checked = false) {
    Bstr text(caption);
    Bstr key(caption == u"-" ? u"" : caption);
    VARIANT_BOOL check = checked ? VARIANT_TRUE : VARIANT_FALSE;
    ComPtr<_MenuItem> item;
    ASSERT_EQ(menu->Add(text.get(), key.get(), *Variant::Missing().get(), 0, &check,
                        enabled ? VARIANT_TRUE : VARIANT_FALSE, item.Put()),
              S_OK);
}

class SysTrayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        shell::SetNotifyArea(&area_);
        win::SetPopupMenuHost(&menuHost_);
        ASSERT_EQ(SysTray::Create(IID__SysTray, tray_.PutVoid()), S_OK);
    }
    void TearDown() override {
        Disconnect();
        tray_.Reset();
        win::SetPopupMenuHost(nullptr);
        shell::SetNotifyArea(nullptr);
        EXPECT_EQ(modMsgHook::HookTable(), nullptr);
    }
    void Connect() {
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(tray_.As(IID_IConnectionPointContainer, &container), S_OK);
        ASSERT_EQ(container->FindConnectionPoint(DIID___SysTray, point_.Put()), S_OK);
        ASSERT_EQ(point_->Advise(&sink_, &cookie_), S_OK);
    }
    void Disconnect() {
        if (point_) {
            point_->Unadvise(cookie_);
            point_.Reset();
        }
    }
    void Show() {
        ASSERT_EQ(tray_->put_Visible(VARIANT_TRUE), S_OK);
        ASSERT_FALSE(area_.calls.empty());
        window_ = area_.calls.back().record.hWnd;
    }
    ComPtr<_MenuItems> Menu() {
        ComPtr<_MenuItems> menu;
        tray_->get_Menu(menu.Put());
        return menu;
    }

    RecordingArea area_;
    ScriptedMenu menuHost_;
    Sink sink_;
    ComPtr<_SysTray> tray_;
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
    win::HWND window_ = 0;
};

TEST_F(SysTrayTest, NothingGoesOutUntilVisibleThenOneAddCarriesEverything) {
    std::vector<LONG> handles;
    ComPtr<IImageList> list = NewImageList(&handles);
    ASSERT_EQ(tray_->putref_ImageList(list.get()), S_OK);
    ASSERT_EQ(tray_->put_Icon(*Variant::Short(2).get()), S_OK);
    ASSERT_EQ(tray_->put_ToolTipText(Bstr(u"  word  ").get()), S_OK);
    EXPECT_TRUE(area_.calls.empty());

    Show();
    ASSERT_EQ(area_.calls.size(), 1u);
    const TrayIconRecord& added = area_.calls[0].record;
    EXPECT_EQ(area_.calls[0].message, shell::NIM_ADD);
    EXPECT_EQ(added.cbSize, 88u);
    EXPECT_EQ(added.uFlags, 7u);
    EXPECT_EQ(added.uID, 0u);
    EXPECT_EQ(added.uCallbackMessage, 1125u);
    EXPECT_EQ(added.hIcon, handles[1]);
    EXPECT_EQ(TipOf(added), std::string("word\0", 5) + std::string(59, ' '));
    // The owner is the object's hidden window, titled with a GUID text.
    EXPECT_TRUE(win::IsWindow(added.hWnd));
    EXPECT_EQ(win::GetWindowTextA(added.hWnd).size(), 38u);
    EXPECT_EQ(win::GetWindowLongA(added.hWnd, win::GWL_STYLE), 0);

    // The same value, or a value that is not the complement, sends nothing.
    tray_->put_Visible(VARIANT_TRUE);
    tray_->put_Visible(1);
    EXPECT_EQ(area_.calls.size(), 1u);
    VARIANT_BOOL visible = 0;
    tray_->get_Visible(&visible);
    EXPECT_EQ(visible, VARIANT_TRUE);

    tray_->put_Visible(VARIANT_FALSE);
    ASSERT_EQ(area_.calls.size(), 2u);
    EXPECT_EQ(area_.calls[1].message, shell::NIM_DELETE);
    EXPECT_EQ(area_.calls[1].record.uFlags, 0u);
}

TEST_F(SysTrayTest, ChangesWhileShownCarryOnlyTheChangedField) {
    std::vector<LONG> handles;
    ComPtr<IImageList> list = NewImageList(&handles);
    tray_->putref_ImageList(list.get());
    Show();
    // Before any tooltip: the field is a NUL and 63 spaces.
    EXPECT_EQ(TipOf(area_.calls[0].record), std::string(1, '\0') + std::string(63, ' '));
    EXPECT_EQ(area_.calls[0].record.hIcon, 0);

    ASSERT_EQ(tray_->put_Icon(*Variant::Text(u"Red").get()), S_OK);
    ASSERT_EQ(area_.calls.size(), 2u);
    EXPECT_EQ(area_.calls[1].message, shell::NIM_MODIFY);
    EXPECT_EQ(area_.calls[1].record.uFlags, 2u);
    EXPECT_EQ(area_.calls[1].record.hIcon, handles[0]);
    tray_->put_Icon(*Variant::Text(u"Red").get());
    EXPECT_EQ(area_.calls.size(), 2u);

    tray_->put_ToolTipText(Bstr(u"  word  ").get());
    ASSERT_EQ(area_.calls.size(), 3u);
    EXPECT_EQ(area_.calls[2].record.uFlags, 4u);
    Bstr stored;
    tray_->get_ToolTipText(stored.Put());
    EXPECT_EQ(stored.Text(), u"word");
    tray_->put_ToolTipText(Bstr(u"word").get());
    EXPECT_EQ(area_.calls.size(), 3u);

    // 63 characters keep their NUL; 70 give the first 64 and no NUL.
    const std::u16string long70 =
        u"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!?()[]<>";
    ASSERT_EQ(long70.size(), 70u);
    tray_->put_ToolTipText(Bstr(long70.substr(0, 63)).get());
    EXPECT_EQ(TipOf(area_.calls.back().record),
              QString::fromStdU16String(long70.substr(0, 63)).toStdString() + '\0');
    tray_->put_ToolTipText(Bstr(long70).get());
    EXPECT_EQ(TipOf(area_.calls.back().record),
              QString::fromStdU16String(long70.substr(0, 64)).toStdString());
    EXPECT_EQ(area_.calls.size(), 5u);
    tray_->get_ToolTipText(stored.Put());
    EXPECT_EQ(stored.Text(), long70);
}

TEST_F(SysTrayTest, RefusedImageListAndFailedLookUpsChangeNothing) {
    // No image list yet: the look-up fails and reaches the caller.
    EXPECT_TRUE(FAILED(tray_->put_Icon(*Variant::Long(1).get())));
    TakeErrorDetails(S_OK);

    ComPtr<IDispatch> notAList;
    tray_->get_Menu(reinterpret_cast<_MenuItems**>(notAList.Put()));
    EXPECT_EQ(tray_->putref_ImageList(notAList.get()), HResultFromLibraryError(35610));
    ErrorDetails error = TakeErrorDetails(S_OK);
    EXPECT_EQ(error.source, u"SystemTray Class");
    EXPECT_EQ(error.description, u"Invalid Object");
    EXPECT_EQ(tray_->putref_ImageList(nullptr), HResultFromLibraryError(35610));
    TakeErrorDetails(S_OK);
    ComPtr<IDispatch> stored;
    tray_->get_ImageList(stored.Put());
    EXPECT_EQ(stored.get(), nullptr);

    std::vector<LONG> handles;
    ComPtr<IImageList> list = NewImageList(&handles);
    ASSERT_EQ(tray_->putref_ImageList(list.get()), S_OK);
    ASSERT_EQ(tray_->put_Icon(*Variant::Long(1).get()), S_OK);
    EXPECT_EQ(tray_->put_Icon(*Variant::Text(u"Green").get()),
              HResultFromLibraryError(platform::imagelist::kErrElementNotFound));
    EXPECT_EQ(TakeErrorDetails(S_OK).description, u"Element not found");
    EXPECT_EQ(tray_->put_Icon(*Variant::Long(7).get()),
              HResultFromLibraryError(platform::imagelist::kErrIndexOutOfBounds));
    TakeErrorDetails(S_OK);
    EXPECT_TRUE(area_.calls.empty());

    Variant icon;
    tray_->get_Icon(icon.Put());
    EXPECT_EQ(icon->vt, VT_I4);
    EXPECT_EQ(icon->lVal, 1);
    Show();
    EXPECT_EQ(area_.calls[0].record.hIcon, handles[0]);
    EXPECT_EQ(area_.calls[0].record.uFlags, 7u);
}

std::vector<std::string> g_previousSaw;
win::LRESULT SpyClassProc(win::HWND hWnd, win::UINT uMsg, win::WPARAM wParam, win::LPARAM lParam) {
    if (uMsg >= win::WM_USER) {
        g_previousSaw.push_back(std::to_string(uMsg) + ":" + std::to_string(lParam));
        return 77;
    }
    return win::DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

TEST_F(SysTrayTest, MouseMessagesBecomeEventsAndGoNoFurther) {
    // A tray whose hidden window starts with a spying class procedure, so that the
    // previous procedure can be watched.
    const win::HWND probe = win::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
    const win::LONG classProc =
        win::SetClassLongA(probe, win::GCL_WNDPROC, win::AddressOf(&SpyClassProc));
    ComPtr<_SysTray> spied;
    ASSERT_EQ(SysTray::Create(IID__SysTray, spied.PutVoid()), S_OK);
    win::SetClassLongA(probe, win::GCL_WNDPROC, classProc);
    win::DestroyWindow(probe);
    tray_ = spied;
    spied.Reset();
    Connect();
    Show();
    g_previousSaw.clear();

    std::vector<win::LRESULT> results;
    for (win::LPARAM mouse : {517, 515, 513, 514, 516, 512, 518, 999}) {
        results.push_back(win::SendMessageA(window_, 1125, 0, mouse));
    }
    EXPECT_EQ(sink_.log, (std::vector<std::string>{"Click:1", "MouseDown:1", "MouseUp:1",
                                                   "MouseDown:2", "MouseMove", "DoubleClick:2"}));
    EXPECT_EQ(results, std::vector<win::LRESULT>(8, 0));
    EXPECT_TRUE(g_previousSaw.empty());
    VARIANT_BOOL menuCheck = 0;
    tray_->get_MenuCheck(&menuCheck);
    EXPECT_EQ(menuCheck, VARIANT_TRUE);

    // Any other message passes to the previous procedure untouched.
    EXPECT_EQ(win::SendMessageA(window_, win::WM_USER + 1, 0, 5), 77);
    EXPECT_EQ(g_previousSaw, std::vector<std::string>{"1025:5"});

    // SendEvent is public: a client's own message number.
    sink_.log.clear();
    tray_->SendEvent(516);
    tray_->SendEvent(517);
    EXPECT_EQ(sink_.log, std::vector<std::string>{"MouseDown:2"});
}

TEST_F(SysTrayTest, ShowMenuBuildsTheMenuAndReportsTheChoiceBeforeReturning) {
    Connect();
    Show();
    menuHost_.log = &sink_.log;
    ASSERT_EQ(tray_->ShowMenu(), S_OK);  // empty: nothing shown, nothing raised
    EXPECT_EQ(menuHost_.shown, 0);

    ComPtr<_MenuItems> menu = Menu();
    AddEntry(menu.get(), u"Show");
    AddEntry(menu.get(), u"-");
    AddEntry(menu.get(), u"Start", false, true);
    AddEntry(menu.get(), u"Stop", true, true);
    menuHost_.answer = 3;
    ASSERT_EQ(tray_->ShowMenu(), S_OK);
    sink_.log.push_back("returned");
    EXPECT_EQ(sink_.log, (std::vector<std::string>{"menu", "MenuClick:Start", "returned"}));
    ASSERT_EQ(menuHost_.items.size(), 4u);
    const std::vector<win::UINT> flags = {menuHost_.items[0].flags, menuHost_.items[1].flags,
                                          menuHost_.items[2].flags, menuHost_.items[3].flags};
    EXPECT_EQ(flags, (std::vector<win::UINT>{0, 0x800, 3, 8}));
    for (win::UINT i = 0; i < 4; ++i) {
        EXPECT_EQ(menuHost_.items[i].id, i + 1);
    }
    EXPECT_EQ(menuHost_.items[0].text, "Show");
    EXPECT_EQ(menuHost_.items[1].text, "");
    EXPECT_EQ(menuHost_.items[2].text, "Start");
    EXPECT_EQ(menuHost_.owner, window_);

    // Closed without a choice: nothing raised.
    sink_.log.clear();
    menuHost_.answer = 0;
    tray_->ShowMenu();
    EXPECT_EQ(sink_.log, std::vector<std::string>{"menu"});
}

TEST_F(SysTrayTest, ReleasingTheObjectTakesIconAndWindowAway) {
    Show();
    ASSERT_NE(modMsgHook::HookTable(), nullptr);
    tray_.Reset();
    ASSERT_EQ(area_.calls.size(), 2u);
    EXPECT_EQ(area_.calls[1].message, shell::NIM_DELETE);
    EXPECT_FALSE(win::IsWindow(window_));
    EXPECT_EQ(modMsgHook::HookTable(), nullptr);
}

TEST_F(SysTrayTest, ClientReleasingTheObjectFromItsHandler) {
    Connect();
    Show();
    sink_.onEvent = [this](DISPID) {
        Disconnect();
        tray_.Reset();
    };
    EXPECT_EQ(win::SendMessageA(window_, 1125, 0, 513), 0);
    EXPECT_EQ(sink_.log, std::vector<std::string>{"MouseDown:1"});
    EXPECT_FALSE(win::IsWindow(window_));
    EXPECT_EQ(area_.calls.back().message, shell::NIM_DELETE);
}

// The real notification area and the real QMenu, offscreen.
TEST(SysTrayQtTest, ClickOnTheQtIconOpensTheMenuAndReportsTheChoice) {
    ComPtr<_SysTray> tray;
    ASSERT_EQ(SysTray::Create(IID__SysTray, tray.PutVoid()), S_OK);
    Sink sink;
    ComPtr<IConnectionPointContainer> container;
    tray.As(IID_IConnectionPointContainer, &container);
    ComPtr<IConnectionPoint> point;
    container->FindConnectionPoint(DIID___SysTray, point.Put());
    DWORD cookie = 0;
    point->Advise(&sink, &cookie);

    std::vector<LONG> handles;
    ComPtr<IImageList> list = NewImageList(&handles);
    tray->putref_ImageList(list.get());
    tray->put_Icon(*Variant::Long(1).get());
    tray->put_ToolTipText(Bstr(u"Veltrane").get());
    ComPtr<_MenuItems> menu;
    tray->get_Menu(menu.Put());
    AddEntry(menu.get(), u"Show");
    AddEntry(menu.get(), u"-");
    AddEntry(menu.get(), u"Start");
    tray->put_Visible(VARIANT_TRUE);

    // The hidden window is the icon's owner; find it by its GUID title.
    const win::HWND owner = win::FindWindowExA(0, 0, "STATIC", nullptr);
    QSystemTrayIcon* icon = nullptr;
    for (win::HWND h = owner; h != 0 && icon == nullptr;
         h = win::FindWindowExA(0, h, "STATIC", nullptr)) {
        icon = shell::TrayIconFor(h, 0);
    }
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->toolTip(), "Veltrane");
    EXPECT_EQ(icon->icon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));
    EXPECT_EQ(icon->contextMenu(), nullptr);

    sink.onEvent = [&](DISPID id) {
        if (id != DISPID_SysTrayEvents_MouseDown) {
            return;
        }
        QTimer::singleShot(0, [] {
            auto* shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(shown, nullptr);
            QAction* start = shown->actions().at(2);
            QTest::mouseClick(shown, Qt::LeftButton, {}, shown->actionGeometry(start).center());
        });
        tray->ShowMenu();
    };
    emit icon->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(sink.log, (std::vector<std::string>{"MouseDown:1", "MenuClick:Start", "MouseUp:1"}));

    sink.onEvent = nullptr;
    point->Unadvise(cookie);
    point.Reset();
    container.Reset();
    tray.Reset();
    EXPECT_EQ(shell::TrayIconFor(owner, 0), nullptr);
}

}  // namespace
}  // namespace quorvil
