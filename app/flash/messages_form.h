// The flash window: a borderless window above all others that shows nothing but the text of
// one message at a time, lets every click pass through, and cycles through the run list on
// its timer - a pause of TimeBtnMsgs seconds, a message for Msgduration milliseconds, a pause,
// the next message, round the list and again.
//
// The object lives as long as the program; the window itself exists only while the form is
// loaded. MsgIndex, the index of the next message, survives unloading, so a new run continues
// where the last one ended.
#pragma once

#include "app/flash/placement.h"
#include "app/flash/screen_copies.h"
#include "app/flash/shared_state.h"
#include "app/flash/show_latency.h"
#include "app/flash/timer.h"
#include "platform/layered/layered_window.h"

#include <QPoint>
#include <QSize>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QWidget;

namespace kestrane {

class MessagesForm {
  public:
    // The form's designed back colour, RGB(192,192,192): it becomes the transparent key.
    static constexpr std::uint32_t kBackColor = 0xC0C0C0;
    static constexpr int kTwipsPerPixel = 15;

    MessagesForm(SharedState& state, TimerFactory timers, Rnd& rnd);
    ~MessagesForm();
    MessagesForm(const MessagesForm&) = delete;
    MessagesForm& operator=(const MessagesForm&) = delete;

    // Loads the form when it is not loaded (running the load step once), then makes sure
    // the window is visible. A loaded form goes on with its cycle undisturbed.
    void Show();
    // Stops the timer and unloads the form; nothing happens when it is not loaded.
    void Unload();
    bool IsLoaded() const { return window_ != nullptr; }

    // The timer's tick: alternately the show phase and the hide phase.
    void Timer1_Timer();

    // While suspended (the desktop session is locked) nothing shows and the pause does not
    // count: a message that is up goes at once (a whole pause then follows the resumption),
    // a pause stops where it is and goes on with the time it had left. The form stays loaded
    // and the run goes on as far as everyone else is concerned. Holds across loads: a form
    // loaded while suspended waits with its whole first pause.
    void SetSuspended(bool suspended);
    bool Suspended() const { return suspended_; }
    // The screens with a full-screen window in front changed (the shared state's quietScreens):
    // a message up on every screen that shows on one of them now goes at once, everywhere, and
    // the next goes to the screens left.
    void QuietScreensChanged();

    std::int16_t MsgIndex() const { return MsgIndex_; }
    bool MsgShown() const { return MsgShown_; }

    // While loaded: the window, its label and its timer (nullptr otherwise).
    QWidget* Window() const;
    QLabel* Label1() const { return Label1_; }
    Timer* Timer1() const { return Timer1_.get(); }
    platform::layered::HWND hWnd() const { return hWnd_; }

    // The window's place and size in twips.
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // The primary screen's size in twips, and its top left corner in twips from the origin of
    // the whole desktop (which holds every screen).
    static QSize ScreenTwips();
    static QPoint ScreenOriginTwips();

    // While messages go to every screen: the window's copies on the other screens.
    const ScreenCopies& Copies() const { return copies_; }

  private:
    void Form_Load();
    // The screens the next message goes to by the screen choice, the window's own first.
    std::vector<QScreen*> TargetScreensNow() const;
    static std::vector<QScreen*> OtherScreens(const std::vector<QScreen*>& targets);
    void ApplyGeometry();
    // Label1 sized to its text, as automatic sizing does.
    void AutoSizeLabel();
    // Makes the next message ready while nothing shows, so that its tick only has to show it.
    void PrepareNext();
    // Takes down a message that is up and stops the timer, keeping what is left of the pause.
    void HoldPause();

    SharedState& state_;
    TimerFactory timers_;
    Rnd& rnd_;

    std::int16_t MsgIndex_ = 0;
    bool MsgShown_ = false;
    bool suspended_ = false;
    int pauseLeft_ = 0;  // ms of the pause still to go when the timer was held

    std::unique_ptr<QWidget> window_;
    QLabel* Label1_ = nullptr;
    std::unique_ptr<Timer> Timer1_;
    platform::layered::HWND hWnd_ = 0;
    bool labelAutoSize_ = false;
    ShowLatency latency_;
    // When the message up now is due to go, where changes are shown in whole frames.
    std::optional<std::chrono::steady_clock::time_point> hideDue_;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    QPoint screenOrigin_;  // twips: the top left corner of the screen the window is placed on
    ScreenCopies copies_{kBackColor};
};

}  // namespace kestrane
