#include "platform/session/global_key.h"

#include "platform/session/key_sym.h"
#include "platform/session/shortcuts_portal.h"

#include <QKeySequence>
#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <cstdlib>
#include <vector>

namespace platform::session {

namespace {

constexpr uint32_t kNumLockSym = 0xff7f;
constexpr uint8_t kBadAccess = 10;

}  // namespace

struct GlobalKey::X {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    xcb_keycode_t code = 0;        // the key grabbed, 0 for none
    std::vector<uint16_t> masks;   // the modifier states it is grabbed with
    xcb_timestamp_t released = 0;  // when it last went up: a press at that time is a repeat
    bool down = false;
    std::unique_ptr<QSocketNotifier> notifier;
    ~X() {
        notifier.reset();
        if (c != nullptr) {
            xcb_disconnect(c);
        }
    }
};

GlobalKey::GlobalKey(QObject* parent) : QObject(parent) {}

GlobalKey::~GlobalKey() = default;

void GlobalKey::UsePortal() {
    if (portal_) {
        return;
    }
    portal_ = std::make_unique<ShortcutsPortal>();
    connect(portal_.get(), &ShortcutsPortal::Activated, this, &GlobalKey::Pressed);
    connect(portal_.get(), &ShortcutsPortal::Bound, this, [this](const QString& trigger) {
        // The desktop may have let the user choose another trigger, in its own words.
        const bool same =
            trigger.isEmpty() ||
            QKeySequence::fromString(trigger, QKeySequence::PortableText) ==
                QKeySequence::fromString(held_, QKeySequence::PortableText) ||
            trigger.compare(ShortcutsPortal::TriggerOf(held_), Qt::CaseInsensitive) == 0;
        emit Answered(same ? QString()
                           : tr("The desktop bound the start and stop key to %1.").arg(trigger));
    });
    connect(portal_.get(), &ShortcutsPortal::Refused, this, [this](const QString& why) {
        const QString key = held_;
        held_.clear();
        emit Answered(tr("The desktop did not bind %1 (%2); choose another start and stop key, "
                         "or bind kestrane --toggle in the desktop's keyboard settings.")
                          .arg(key, why));
    });
    // No portal offers it: the X grab, as in an X11 session.
    connect(portal_.get(), &ShortcutsPortal::Missing, this, [this] {
        const QString key = held_;
        held_.clear();
        emit Answered(Grab(key));
    });
}

bool GlobalKey::Connect() {
    if (x_) {
        return true;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        return false;
    }
    auto x = std::make_unique<X>();
    x->c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x->c) != 0) {
        return false;
    }
    x->root = xcb_setup_roots_iterator(xcb_get_setup(x->c)).data->root;
    x->notifier =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(x->c), QSocketNotifier::Read);
    connect(x->notifier.get(), &QSocketNotifier::activated, this, [this] { Read(); });
    x_ = std::move(x);
    return true;
}

void GlobalKey::Release() {
    if (x_ && x_->code != 0) {
        for (const uint16_t mask : x_->masks) {
            xcb_ungrab_key(x_->c, x_->code, x_->root, mask);
        }
        xcb_flush(x_->c);
        x_->code = 0;
        x_->masks.clear();
        x_->down = false;
    }
    held_.clear();
}

QString GlobalKey::Set(const QString& key) {
    Release();
    if (portal_) {
        portal_->Bind(QString());
    }
    if (key.isEmpty()) {
        return {};
    }
    const QKeySequence sequence = QKeySequence::fromString(key, QKeySequence::PortableText);
    const int k = sequence.isEmpty() ? 0 : sequence[0].key();
    const uint32_t sym = KeySymOf(k);
    if (sym == 0) {
        return tr("%1 cannot be used as the start and stop key; choose another.").arg(key);
    }
    // A letter, digit or sign with at most Shift would be taken from every program's typing.
    const Qt::KeyboardModifiers chordMods = sequence[0].keyboardModifiers() & ~Qt::ShiftModifier;
    if (k >= 0x20 && k <= 0xff &&
        (chordMods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0) {
        return tr("%1 alone would be taken from the typing of every program; choose a start and "
                  "stop key with Ctrl, Alt or Super.")
            .arg(key);
    }
    if (ShortcutsPortal::InWaylandSession()) {
        UsePortal();
        held_ = key;
        portal_->Bind(key);
        return {};
    }
    return Grab(key);
}

QString GlobalKey::Grab(const QString& key) {
    const QKeySequence sequence = QKeySequence::fromString(key, QKeySequence::PortableText);
    const uint32_t sym = KeySymOf(sequence[0].key());
    if (!Connect()) {
        return tr(
            "The start and stop key works only with an X server (X11 or XWayland), and "
            "none can be reached.");
    }
    xcb_connection_t* c = x_->c;
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    // The keyboard map: the key that holds the keysym, and whether only its shifted level does.
    xcb_keycode_t code = 0;
    bool shifted = false;
    xcb_keycode_t numLockCode = 0;
    if (auto* map = xcb_get_keyboard_mapping_reply(
            c, xcb_get_keyboard_mapping(c, static_cast<xcb_keycode_t>(first), uint8_t(count)),
            nullptr)) {
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
        const int per = map->keysyms_per_keycode;
        for (int i = 0; i < count && (code == 0 || numLockCode == 0); ++i) {
            for (int level = 0; level < per && level < 2; ++level) {
                const xcb_keysym_t s = syms[i * per + level];
                if (code == 0 && s == sym) {
                    code = static_cast<xcb_keycode_t>(first + i);
                    shifted = level == 1;
                }
                if (numLockCode == 0 && s == kNumLockSym) {
                    numLockCode = static_cast<xcb_keycode_t>(first + i);
                }
            }
        }
        std::free(map);
    }
    if (code == 0) {
        return tr("%1 is not on this keyboard; choose another start and stop key.").arg(key);
    }
    // Which modifier NumLock is (Mod2 on most keyboards).
    uint16_t numLock = 0;
    if (auto* mods = xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr)) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods);
        const int per = mods->keycodes_per_modifier;
        for (int m = 0; m < 8 && numLockCode != 0; ++m) {
            for (int i = 0; i < per; ++i) {
                if (codes[m * per + i] == numLockCode) {
                    numLock = uint16_t(1U << m);
                }
            }
        }
        std::free(mods);
    }
    const Qt::KeyboardModifiers qt = sequence[0].keyboardModifiers();
    uint16_t mask = 0;
    if (qt.testFlag(Qt::ShiftModifier) || shifted) {
        mask |= XCB_MOD_MASK_SHIFT;
    }
    if (qt.testFlag(Qt::ControlModifier)) {
        mask |= XCB_MOD_MASK_CONTROL;
    }
    if (qt.testFlag(Qt::AltModifier)) {
        mask |= XCB_MOD_MASK_1;
    }
    if (qt.testFlag(Qt::MetaModifier)) {
        mask |= XCB_MOD_MASK_4;
    }
    // With CapsLock and NumLock in each of their states.
    std::vector<uint16_t> masks = {mask, uint16_t(mask | XCB_MOD_MASK_LOCK)};
    if (numLock != 0) {
        masks.push_back(mask | numLock);
        masks.push_back(mask | numLock | XCB_MOD_MASK_LOCK);
    }
    bool taken = false;
    std::vector<uint16_t> held;
    for (const uint16_t m : masks) {
        xcb_generic_error_t* error =
            xcb_request_check(c, xcb_grab_key_checked(c, 1, x_->root, m, code, XCB_GRAB_MODE_ASYNC,
                                                      XCB_GRAB_MODE_ASYNC));
        if (error == nullptr) {
            held.push_back(m);
        } else {
            taken |= error->error_code == kBadAccess;
            std::free(error);
        }
    }
    if (held.size() != masks.size()) {
        // Half a key is no key: what was grabbed goes back.
        for (const uint16_t m : held) {
            xcb_ungrab_key(c, code, x_->root, m);
        }
        xcb_flush(c);
        return taken ? tr("%1 is taken by another program; choose another start and stop key.")
                           .arg(key)
                     : tr("%1 could not be grabbed; choose another start and stop key.").arg(key);
    }
    x_->code = code;
    x_->masks = std::move(masks);
    held_ = key;
    return {};
}

void GlobalKey::Read() {
    bool pressed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(x_->c)) {
        const uint8_t type = event->response_type & 0x7F;
        if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
            const auto* k = reinterpret_cast<xcb_key_press_event_t*>(event);
            if (k->detail == x_->code && x_->code != 0) {
                if (type == XCB_KEY_RELEASE) {
                    x_->down = false;
                    x_->released = k->time;
                } else if (!x_->down && k->time != x_->released) {
                    x_->down = true;
                    pressed = true;
                } else {
                    x_->down = true;  // the key repeating while held down
                }
            }
        }
        std::free(event);
    }
    if (xcb_connection_has_error(x_->c) != 0) {
        x_->notifier.release()->deleteLater();  // it is emitting now
        x_.reset();                             // the X server went, and the grab with it
        held_.clear();
        return;
    }
    if (pressed) {
        emit Pressed();
    }
}

}  // namespace platform::session
