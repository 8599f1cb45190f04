#include "app/flash/messages_form.h"

#include "app/flash/numbers.h"
#include "app/flash/trans.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace kestrane {

namespace pl = platform::layered;

namespace {

constexpr int kDesignWidth = 2760;  // twips
constexpr int kDesignHeight = 600;

int ToPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / MessagesForm::kTwipsPerPixel));
}

QColor FromColorRef(std::uint32_t ref) {
    return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                  static_cast<int>((ref >> 16) & 0xFF));
}

void SetLabelColor(QLabel* label, const QColor& color) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
}

}  // namespace

MessagesForm::MessagesForm(SharedState& state, TimerFactory timers, Rnd& rnd)
    : state_(state), timers_(std::move(timers)), rnd_(rnd) {}

MessagesForm::~MessagesForm() {
    Unload();
}

QWidget* MessagesForm::Window() const {
    return window_.get();
}

QSize MessagesForm::ScreenTwips() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize px = screen ? screen->geometry().size() : QSize(0, 0);
    return px * kTwipsPerPixel;
}

QPoint MessagesForm::ScreenOriginTwips() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return (screen ? screen->geometry().topLeft() : QPoint(0, 0)) * kTwipsPerPixel;
}

void MessagesForm::Show() {
    if (!IsLoaded()) {
        Form_Load();
    }
    if (window_ && !window_->isVisible()) {
        pl::SetWindowPos(hWnd_, 0, 0, 0, 0, 0,
                         pl::SWP_NOSIZE | pl::SWP_NOMOVE | pl::SWP_NOACTIVATE | pl::SWP_SHOWWINDOW);
    }
}

void MessagesForm::Unload() {
    if (!IsLoaded()) {
        return;
    }
    Timer1_->SetEnabled(false);
    Timer1_.reset();
    copies_.Clear();
    Label1_ = nullptr;
    window_.reset();
    hWnd_ = 0;
}

void MessagesForm::Form_Load() {
    // The window as designed: no frame, not in the taskbar, never activated; a transparent
    // label at (30, -45) in Arial 12 pt blue; the timer enabled at 150 ms.
    // The default place of a new window here: the primary screen's top left corner.
    const QPoint origin = ScreenOriginTwips();
    screenOrigin_ = origin;
    left_ = origin.x();
    top_ = origin.y();
    width_ = kDesignWidth;
    height_ = kDesignHeight;
    FlashWindow made = MakeFlashWindow(
        QRect(ToPixels(left_), ToPixels(top_), ToPixels(width_), ToPixels(height_)), kBackColor);
    window_ = std::move(made.window);
    Label1_ = made.label;
    labelAutoSize_ = false;

    Timer1_ = timers_();
    Timer1_->OnTick([this] { Timer1_Timer(); });
    Timer1_->SetInterval(150);

    hWnd_ = made.hWnd;

    // The load step.
    state_.RunWanted = true;
    MsgShown_ = false;
    const FlashOptions& o = state_.flashOptions;
    labelAutoSize_ = true;
    QFont font = Label1_->font();
    font.setBold(o.SelFontBold);
    font.setItalic(o.SelFontItalic);
    if (!o.SelFont.empty()) {
        font.setFamily(QString::fromStdString(o.SelFont));
    }
    if (o.SelFontSize > 0) {
        font.setPointSize(o.SelFontSize);
    }
    Label1_->setFont(font);
    if (const auto color = ColorValue(o.Color)) {
        const std::uint32_t ref =
            (*color & 0x80000000u) ? pl::GetSysColor(static_cast<int>(*color & 0xFF)) : *color;
        SetLabelColor(Label1_, FromColorRef(ref));
    }
    AutoSizeLabel();
    // The timer runs before the window is shown: showing blocks for a moment, and the
    // first pause counts from the load.
    if (const int interval = SecondsToInterval(o.TimeBtnMsgs); interval >= 0) {
        Timer1_->SetInterval(interval);
    }
    Timer1_->SetEnabled(true);
    Trans::MakeTransparent(hWnd_, kBackColor, 255);
    // The copies for every screen are made now, so that the first message does not wait for
    // them.
    copies_.Keep(OtherScreens(TargetScreensNow()));
    PrepareNext();
    if (suspended_) {
        HoldPause();
    }
}

void MessagesForm::SetSuspended(bool suspended) {
    if (suspended == suspended_) {
        return;
    }
    suspended_ = suspended;
    if (!IsLoaded()) {
        return;
    }
    if (suspended_) {
        HoldPause();
    } else {
        // A pause that was held at its very end ends now; an interval of 0 would never end.
        Timer1_->Restart(std::max(pauseLeft_, 1));
    }
}

void MessagesForm::HoldPause() {
    if (MsgShown_) {
        // The message goes now, not when its frame would be due: the hide phase runs at once.
        hideDue_.reset();
        Timer1_Timer();
    }
    pauseLeft_ = Timer1_->RemainingMs();
    Timer1_->SetEnabled(false);
}

void MessagesForm::QuietScreensChanged() {
    if (!IsLoaded() || !MsgShown_ || state_.screenChoice != ScreenChoice::Every) {
        return;
    }
    std::vector<QScreen*> showing{window_->screen()};
    for (size_t i = 0; i < copies_.Count(); ++i) {
        showing.push_back(copies_.Window(i)->screen());
    }
    const auto quiet = [this](QScreen* s) {
        return std::find(state_.quietScreens.begin(), state_.quietScreens.end(), s) !=
               state_.quietScreens.end();
    };
    if (std::any_of(showing.begin(), showing.end(), quiet)) {
        hideDue_.reset();  // now, not when its frame would be due
        Timer1_Timer();
    }
}

std::vector<QScreen*> MessagesForm::TargetScreensNow() const {
    const QList<QScreen*> all = QGuiApplication::screens();
    std::vector<ScreenArea> areas;
    for (const QScreen* s : all) {
        const QRect g = s->geometry();
        areas.push_back({g.x(), g.y(), g.width(), g.height()});
    }
    const auto primary = all.indexOf(QGuiApplication::primaryScreen());
    std::optional<std::pair<int, int>> pointer;
    if (state_.screenChoice == ScreenChoice::Pointer) {
        if (const auto at = pl::PointerPosition()) {
            pointer = std::pair{at->x(), at->y()};
        }
    }
    std::vector<QScreen*> out;
    for (const size_t i :
         TargetScreens(state_.screenChoice, areas, primary < 0 ? 0 : size_t(primary), pointer)) {
        out.push_back(all[static_cast<qsizetype>(i)]);
    }
    // Every screen but those with a full-screen window in front, as long as one is left.
    if (state_.screenChoice == ScreenChoice::Every && !state_.quietScreens.empty()) {
        std::vector<QScreen*> left;
        for (QScreen* s : out) {
            if (std::find(state_.quietScreens.begin(), state_.quietScreens.end(), s) ==
                state_.quietScreens.end()) {
                left.push_back(s);
            }
        }
        if (!left.empty()) {
            out = std::move(left);
        }
    }
    return out;
}

std::vector<QScreen*> MessagesForm::OtherScreens(const std::vector<QScreen*>& targets) {
    return targets.size() > 1 ? std::vector<QScreen*>(targets.begin() + 1, targets.end())
                              : std::vector<QScreen*>{};
}

void MessagesForm::PrepareNext() {
    const RunList& list = state_.runList;
    if (!list.HasBounds()) {
        return;
    }
    // For a moment the label and the window take what the show phase will give them, unless
    // the options or the run list change meanwhile (the show phase then finds the window
    // looking different and does the whole work). Nothing of it shows: the window shows only
    // what was last presented.
    const FlashOptions& o = state_.flashOptions;
    if (o.SelFontSize > 0) {
        QFont font = Label1_->font();
        font.setPointSize(o.SelFontSize);
        Label1_->setFont(font);
    }
    Label1_->setText(DisplayText(list.At(MsgIndex_ >= list.UBound() ? 0 : MsgIndex_)));
    AutoSizeLabel();
    window_->resize(Label1_->size());
    pl::Prepare(hWnd_);
    Label1_->setText(QString());
    AutoSizeLabel();
}

void MessagesForm::AutoSizeLabel() {
    if (labelAutoSize_) {
        Label1_->adjustSize();
    }
}

void MessagesForm::ApplyGeometry() {
    window_->setGeometry(ToPixels(left_), ToPixels(top_), ToPixels(width_), ToPixels(height_));
}

void MessagesForm::Timer1_Timer() {
    // Nothing is shown while suspended; a message that is up may still be taken down.
    if (!IsLoaded() || (suspended_ && !MsgShown_)) {
        return;
    }
    const FlashOptions& o = state_.flashOptions;
    const RunList& list = state_.runList;
    const auto tickStart = std::chrono::steady_clock::now();
    // The change is seen on screen when Present returns; the next phase is counted from then,
    // and its timer ends early by the time the next change will take to be seen. Where changes
    // are shown in whole frames, a message's end is due its display time after the frame that
    // showed it and goes in the frame due: the timer only has to end early enough for that, and
    // the wait for that frame is no latency. A change whose moment Present does not know leaves
    // the estimate as it was.
    auto countFromNow = [&](bool showing, int interval) {
        const std::optional<std::chrono::steady_clock::time_point> due =
            showing ? std::nullopt : hideDue_;
        hideDue_.reset();
        // The copies on the other screens change in the same moment. A message goes up with
        // its display time, for a window system that takes it away by itself in the frame due.
        const auto seen = pl::Present(
            hWnd_, due, copies_.Handles(),
            showing ? std::optional(std::chrono::milliseconds(interval)) : std::nullopt);
        if (!due) {
            latency_.Record(showing, tickStart, seen);
        }
        const auto ahead = showing && seen ? pl::PresentAhead(hWnd_) : std::nullopt;
        if (ahead) {
            hideDue_ = *seen + std::chrono::milliseconds(interval);
        }
        Timer1_->SetLead(ahead ? *ahead : latency_.Lead(!showing, interval));
        Timer1_->Restart(interval);
    };
    if (!MsgShown_) {
        if (MsgIndex_ >= list.UBound()) {
            MsgIndex_ = 0;
        }
        labelAutoSize_ = true;
        if (o.SelFontSize > 0) {
            QFont font = Label1_->font();
            font.setPointSize(o.SelFontSize);
            Label1_->setFont(font);
        }
        Label1_->setText(list.HasBounds() ? DisplayText(list.At(MsgIndex_)) : QString());
        AutoSizeLabel();
        Label1_->setVisible(true);

        width_ = Label1_->width() * kTwipsPerPixel;
        height_ = Label1_->height() * kTwipsPerPixel;
        // Placed within the screen chosen (the primary one, the pointer's, or every screen:
        // the copies on the others), wherever that lies on the desktop. A place kept ("Top
        // Left", the top of "Top Right") is kept on the screen, not on the desktop.
        const std::vector<QScreen*> targets = TargetScreensNow();
        copies_.Keep(OtherScreens(targets));
        QScreen* screen = targets.empty() ? nullptr : targets.front();
        if (screen != nullptr && window_->screen() != screen) {
            window_->setScreen(screen);
        }
        const QSize size = screen ? screen->geometry().size() * kTwipsPerPixel : QSize(0, 0);
        const QPoint origin = screen ? screen->geometry().topLeft() * kTwipsPerPixel : QPoint(0, 0);
        const WindowPlace place =
            PlaceMessage(o.MsgOption, size.width(), size.height(), width_, height_,
                         {left_ - screenOrigin_.x(), top_ - screenOrigin_.y()}, rnd_);
        screenOrigin_ = origin;
        left_ = place.left + origin.x();
        top_ = place.top + origin.y();
        ApplyGeometry();
        copies_.Follow(*Label1_, o.MsgOption, rnd_);

        if (MsgIndex_ < INT16_MAX) {
            ++MsgIndex_;
        }
        countFromNow(true, o.Msgduration);
        MsgShown_ = true;
    } else {
        Label1_->setText(QString());
        AutoSizeLabel();
        copies_.Follow(*Label1_, o.MsgOption, rnd_);
        countFromNow(false, SecondsToInterval(o.TimeBtnMsgs));
        MsgShown_ = false;
        PrepareNext();
    }
}

}  // namespace kestrane
