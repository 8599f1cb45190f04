#include "app/panel/tray_behaviour.h"
#include "app/panel/continue_on_error.h"

#include "app/flash/numbers.h"
#include "app/panel/frm_main.h"
#include "app/panel/setup_page.h"

#include <QCheckBox>
#include <QLineEdit>

#include <algorithm>
#include <exception>
#include <string_view>

namespace kestrane {

namespace {

using platform::com::ComPtr;
using platform::com::DISPID;
using platform::com::LONG;
using platform::com::VARIANT;

// The mouse-button argument of an event (0 when it is missing or not a number).
LONG ButtonOf(const std::vector<VARIANT*>& args) {
    if (args.empty() || args[0] == nullptr) {
        return 0;
    }
    const VARIANT& v = *args[0];
    if (v.vt == platform::com::VT_I4) {
        return v.lVal;
    }
    if (v.vt == (platform::com::VT_BYREF | platform::com::VT_I4) && v.plVal != nullptr) {
        return *v.plVal;
    }
    return 0;
}

// The menu entry that MenuClick passes (by reference), or nothing.
ComPtr<quorvil::_MenuItem> ItemOf(const std::vector<VARIANT*>& args) {
    ComPtr<quorvil::_MenuItem> item;
    if (args.empty() || args[0] == nullptr) {
        return item;
    }
    const VARIANT& v = *args[0];
    platform::com::IDispatch* object = nullptr;
    if (v.vt == (platform::com::VT_BYREF | platform::com::VT_DISPATCH) && v.ppdispVal != nullptr) {
        object = *v.ppdispVal;
    } else if (v.vt == platform::com::VT_DISPATCH) {
        object = v.pdispVal;
    }
    if (object != nullptr &&
        platform::com::FAILED(object->QueryInterface(quorvil::IID__MenuItem, item.PutVoid()))) {
        item.Reset();
    }
    return item;
}

}  // namespace

bool TrayBehaviour::Bind() {
    return f_.mobjSysTray().Connect(
        [this](DISPID dispid, const std::vector<VARIANT*>& args) { OnEvent(dispid, args); });
}

void TrayBehaviour::OnEvent(DISPID dispid, const std::vector<VARIANT*>& args) {
    switch (dispid) {
        case quorvil::DISPID_SysTrayEvents_Click:
            mobjSysTray_Click(ButtonOf(args));
            break;
        case quorvil::DISPID_SysTrayEvents_MouseDown:
            mobjSysTray_MouseDown(ButtonOf(args));
            break;
        case quorvil::DISPID_SysTrayEvents_MouseUp:
            mobjSysTray_MouseUp(ButtonOf(args));
            break;
        case quorvil::DISPID_SysTrayEvents_MenuClick:
            mobjSysTray_MenuClick(ItemOf(args).get());
            break;
        default:
            // MouseMove and DoubleClick are not handled.
            break;
    }
}

void TrayBehaviour::SystrayShow() {
    TrayLink& tray = f_.mobjSysTray();
    Try([&] { tray.SetIcon(1); });
    Try([&] { tray.SetVisible(true); });
    for (const char16_t* entry : {u"Show", u"Hide", u"Start", u"Stop"}) {
        Try([&] { tray.AddMenu(entry, entry); });
    }
    Try([&] { tray.SetEnableMenu(true); });
    Try([&] {
        if (!f_.PanelOptions->Check1->isChecked()) {
            f_.ShowPanel();
        }
    });
}

void TrayBehaviour::mobjSysTray_Click(LONG) {}

void TrayBehaviour::mobjSysTray_MouseUp(LONG) {}

void TrayBehaviour::mobjSysTray_MouseDown(LONG) {
    TrayLink& tray = f_.mobjSysTray();
    SharedState& state = f_.State();
    bool unloaded = false;
    Try([&] {
        if (!state.RunWanted) {
            tray.SetMenuEnabled(u"Start", true);
            tray.SetMenuEnabled(u"Stop", false);
        }
    });
    Try([&] {
        if (state.RunWanted) {
            // The flash window stays above every other window; it goes while the menu is open.
            unloaded = f_.messagesform().IsLoaded();
            f_.messagesform().Unload();
            tray.SetMenuEnabled(u"Stop", true);
            tray.SetMenuEnabled(u"Start", false);
        }
    });
    const bool chosenBefore = menuChosen_;
    menuChosen_ = false;
    Try([&] { tray.ShowMenu(); });
    const bool chosen = menuChosen_;
    menuChosen_ = chosenBefore;
    // A menu closed without a choice leaves the run as it was: the flash window taken away
    // for the menu comes back.
    Try([&] {
        if (unloaded && !chosen && state.RunWanted && !f_.messagesform().IsLoaded()) {
            f_.Run().StartRun();
        }
    });
}

void TrayBehaviour::mobjSysTray_MenuClick(quorvil::_MenuItem* Item) {
    menuChosen_ = true;
    if (Item == nullptr) {
        return;
    }
    platform::com::Bstr key;
    if (platform::com::FAILED(Item->get_Key(key.Put()))) {
        return;
    }
    const std::u16string_view k = key.View();
    if (k == u"Start") {
        MenuStart();
    } else if (k == u"Stop") {
        MenuStop();
    } else if (k == u"Hide") {
        MenuHide();
    } else if (k == u"Show") {
        MenuShow();
    }
    emit f_.StateTouched();
}

void TrayBehaviour::MenuHide() {
    Try([&] { f_.HidePanel(); });
    Try([&] {
        if (f_.State().RunWanted) {
            f_.Run().StartRun();
        }
    });
}

void TrayBehaviour::MenuShow() {
    Try([&] { f_.ShowPanel(); });
    Try([&] {
        if (f_.State().RunWanted) {
            f_.Run().StartRun();
        }
    });
}

void TrayBehaviour::MenuStart() {
    SharedState& state = f_.State();
    SetupPage* setup = f_.PanelOptions;
    // The start counts as asked for from here on, also when a check below refuses it: the
    // next press of the Start/Stop button then takes its stop path.
    state.Idle = false;
    if (setup->TxtMessageDuration->text().isEmpty()) {
        Message("Enter Message Duration");
        return;
    }
    if (setup->txtTimeBetweenMessages->text().isEmpty()) {
        Message("Enter Time Between Messages");
        return;
    }
    Try([&] {
        // An over-long pause is corrected and the start goes on.
        const auto pause = NumericValue(setup->txtTimeBetweenMessages->text());
        if (!pause || *pause > 60) {
            Message("Please enter less than or equal to 60 seconds");
            setup->txtTimeBetweenMessages->setText(QStringLiteral("60"));
        }
    });
    const CategoryList categories = setup->Categories();
    if (std::none_of(categories.begin(), categories.end(),
                     [](const CategoryEntry& e) { return e.ticked; })) {
        Message("No Messages Selected!");
        return;
    }
    state.RunWanted = true;
    Try([&] { f_.Run().StartRun(); });
    Try([&] {
        f_.SetPicture(f_.PbStart, QString::fromLatin1(state.Idle ? kStartPicture : kStopPicture));
    });
}

void TrayBehaviour::MenuStop() {
    SharedState& state = f_.State();
    state.Idle = true;
    Try([&] {
        f_.SetPicture(f_.PbStart, QString::fromLatin1(state.Idle ? kStartPicture : kStopPicture));
    });
    Try([&] { f_.Run().StopRun(); });
    state.RunWanted = false;
}

void TrayBehaviour::Message(const char* text) {
    Try([&] {
        f_.Dialogs().MsgBox(QString::fromLatin1(text), platform::MsgBoxStyle::OkOnly,
                            RunControl::Title());
    });
}

}  // namespace kestrane
