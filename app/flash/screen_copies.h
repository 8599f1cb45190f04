// The flash window's copies on the other screens, while messages go to every screen at once:
// one borderless, click-through, colour-keyed window per screen, each showing the same text in
// the same font and colour as the flash window's label, placed by the position option on its
// own screen. The copies are shown and emptied together with the flash window: its Present
// hands their changes to the window system with its own, so that all show in the same moment.
//
// Screens come and go while the program runs: the copies follow the list of screens they are
// given at every message, and a copy whose screen is removed is emptied at once.
#pragma once

#include "app/flash/placement.h"
#include "platform/layered/layered_window.h"

#include <QPointer>
#include <QScreen>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class QLabel;
class QWidget;

namespace kestrane {

// A borderless, never-activated window of the flash window's design with its transparent,
// single-line label at (30, -45) twips, at `geometry` (pixels), made layered (click-through,
// topmost, `key` transparent) and shown empty.
struct FlashWindow {
    std::unique_ptr<QWidget> window;
    QLabel* label = nullptr;
    platform::layered::HWND hWnd = 0;
};
// The window belongs to `screen` (where given): the overlay of a Wayland compositor goes on the
// output of the window's screen.
FlashWindow MakeFlashWindow(const QRect& geometry, std::uint32_t key, QScreen* screen = nullptr);

class ScreenCopies {
  public:
    explicit ScreenCopies(std::uint32_t key) : key_(key) {}
    ~ScreenCopies();
    ScreenCopies(const ScreenCopies&) = delete;
    ScreenCopies& operator=(const ScreenCopies&) = delete;

    // One copy for each of these screens and no other: copies of screens no longer listed go,
    // new screens get a copy (shown empty, at their top left corner).
    void Keep(const std::vector<QScreen*>& screens);
    void Clear() { copies_.clear(); }

    // Every copy takes the label's font, colour and text, sized to it, and is placed by
    // `option` on its own screen (two draws of rnd each for "Random"); an empty text shows
    // nothing.
    void Follow(const QLabel& label, std::string_view option, Rnd& rnd);

    // The copies' windows, for the flash window's Present to put on screen with its own.
    std::vector<platform::layered::HWND> Handles() const;

    size_t Count() const { return copies_.size(); }
    QWidget* Window(size_t i) const { return copies_[i].flash.window.get(); }

  private:
    struct Copy {
        QPointer<QScreen> screen;
        FlashWindow flash;
        WindowPlace place;  // twips from the screen's top left corner
    };
    std::uint32_t key_;
    std::vector<Copy> copies_;
};

}  // namespace kestrane
