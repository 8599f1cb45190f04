// The tray icon class driven as its clients drive it: a notification area and a popup menu
// host that record what reaches them, and an event sink that records what the icon reports.
#pragma once

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

namespace quorvil::systray_test {

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

inline QIcon Filled(Qt::GlobalColor color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

// An image list with a red image under key "Red" and a blue one under "Blue".
inline ComPtr<IImageList> NewImageList(std::vector<LONG>* handles) {
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

inline std::string TipOf(const TrayIconRecord& record) {
    return std::string(record.szTip, sizeof record.szTip);
}

inline void AddEntry(_MenuItems* menu, std::u16string_view caption, bool enabled = true,
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

}  // namespace quorvil::systray_test
