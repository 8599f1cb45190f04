// Run control: the Start/Stop button, the Test button with its preview timer, and the two
// procedures that start and stop a run. It belongs to the control panel, which hands it the
// controls it reads and drives through RunPanel.
#pragma once

#include "app/flash/messages_form.h"
#include "app/flash/shared_state.h"
#include "app/flash/timer.h"
#include "app/store/category_entry.h"
#include "platform/dialogs/dialogs.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QLabel;

namespace kestrane {

// Picture files of the two buttons, appended to the application folder.
inline constexpr const char* kStartPicture = "\\images\\startbut.jpg";
inline constexpr const char* kStopPicture = "\\images\\stopbut.jpg";
inline constexpr const char* kTestPicture = "\\images\\Testbut.jpg";
inline constexpr const char* kStopTestPicture = "\\images\\stopbut2.jpg";

// The control panel's controls that run control uses.
class RunPanel {
  public:
    virtual ~RunPanel() = default;
    virtual QString DurationText() const = 0;  // TxtMessageDuration
    virtual QString IntervalText() const = 0;  // txtTimeBetweenMessages
    virtual void SetIntervalText(const QString& text) = 0;
    // The entries of ClbCategories in list order, with their ticks.
    virtual CategoryList Categories() const = 0;
    virtual void SetStartPicture(const QString& suffix) = 0;  // PbStart
    virtual void SetTestPicture(const QString& suffix) = 0;   // PbTest
    // Locks (false) or unlocks (true) the settings: PanelOptions, PanelAbout,
    // PanelEditMessage, PbViewScript, PBFont and PbColor.
    virtual void SetSettingsEnabled(bool enabled) = 0;
    virtual QLabel* LblWhite() = 0;  // the preview label
};

// The key filter of both timing boxes: digits and backspace pass, anything else becomes 0,
// which discards the key.
int DigitsOnly(int keyAscii);

class RunControl {
  public:
    using BuildFn = std::function<std::int16_t(const CategoryList&, RunList&)>;

    struct Deps {
        SharedState& state;
        RunPanel& panel;
        platform::Dialogs& dialogs;
        MessagesForm& flashWindow;
        TimerFactory timers;
        BuildFn buildRunList;               // fills the run list; returns 1 + messages found
        std::function<void()> saveOptions;  // rewrites the options file
        // Asks for the scheduling that keeps the flash on time while a run goes (true) and
        // gives it back (false); may be empty.
        std::function<void(bool)> timingPriority;
    };

    explicit RunControl(Deps deps);

    // Event handlers of the control panel.
    void PbStart_Click();
    void PbTest_Click();
    void Timer1_Timer();  // the preview timer

    void StartRun();
    void StopRun();

    // A reason to stay quiet began (true: the session was locked, a full-screen window came
    // up, ...) or the last one ended. While quiet no message shows and the pause between
    // messages stands still; a run keeps going (RunWanted, the Stop picture and the tray menu
    // are unchanged) and goes on flashing afterwards, with what was left of its pause.
    // Starting or stopping while quiet works as ever.
    void Quiet(bool quiet);
    // The screens with a full-screen window in front changed: see MessagesForm.
    void QuietScreensChanged();

    // The commit of the timing boxes (also the Setup tab's commit when a box loses focus).
    void CommitDuration();
    void CommitInterval();

    bool TestIdle() const { return TestIdle_; }
    bool TestShown() const { return TestShown_; }
    Timer* PreviewTimer() const { return Timer1_.get(); }

    // The application title of every message box.
    static const QString& Title();

  private:
    void Message(const QString& text);
    bool IntervalAcceptable(const QString& text) const;
    void StopPreview();

    Deps d_;
    std::unique_ptr<Timer> Timer1_;
    bool TestIdle_ = true;
    bool TestShown_ = false;
};

}  // namespace kestrane
