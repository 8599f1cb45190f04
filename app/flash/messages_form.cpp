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
constexpr int kLabelLeft = 30;
constexpr int kLabelTop = -45;

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
    Label1_ = nullptr;
    window_.reset();
    hWnd_ = 0;
}

void MessagesForm::Form_Load() {
    // The window as designed: no frame, not in the taskbar, never activated; a transparent
    // label at (30, -45) in Arial 12 pt blue; the timer enabled at 150 ms.
    window_ = std::make_unique<QWidget>(
        nullptr, Qt::FramelessWindowHint | Qt::Tool | Qt::WindowDoesNotAcceptFocus);
    window_->setAttribute(Qt::WA_ShowWithoutActivating);
    window_->setWindowTitle(QStringLiteral("messagesform"));
    QPalette pal = window_->palette();
    pal.setColor(QPalette::Window, FromColorRef(kBackColor));
    window_->setPalette(pal);
    // The default place of a new window here: the primary screen's top left corner.
    const QPoint origin = ScreenOriginTwips();
    left_ = origin.x();
    top_ = origin.y();
    width_ = kDesignWidth;
    height_ = kDesignHeight;
    ApplyGeometry();

    Label1_ = new QLabel(window_.get());
    Label1_->setTextFormat(Qt::PlainText);
    Label1_->setAttribute(Qt::WA_TranslucentBackground);
    Label1_->setAutoFillBackground(false);
    Label1_->setWordWrap(false);
    Label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont designFont(QStringLiteral("Arial"));
    designFont.setPointSize(12);
    Label1_->setFont(designFont);
    SetLabelColor(Label1_, QColor(0, 0, 255));
    Label1_->move(ToPixels(kLabelLeft), ToPixels(kLabelTop));
    labelAutoSize_ = false;

    Timer1_ = timers_();
    Timer1_->OnTick([this] { Timer1_Timer(); });
    Timer1_->SetInterval(150);

    hWnd_ = pl::HandleOf(window_.get());

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
        const auto seen = pl::Present(hWnd_, due);
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
        // Placed within the primary screen, wherever that lies on the desktop.
        const QSize screen = ScreenTwips();
        const QPoint origin = ScreenOriginTwips();
        const WindowPlace place =
            PlaceMessage(o.MsgOption, screen.width(), screen.height(), width_, height_,
                         {left_ - origin.x(), top_ - origin.y()}, rnd_);
        left_ = place.left + origin.x();
        top_ = place.top + origin.y();
        ApplyGeometry();

        if (MsgIndex_ < INT16_MAX) {
            ++MsgIndex_;
        }
        countFromNow(true, o.Msgduration);
        MsgShown_ = true;
    } else {
        Label1_->setText(QString());
        AutoSizeLabel();
        countFromNow(false, SecondsToInterval(o.TimeBtnMsgs));
        MsgShown_ = false;
        PrepareNext();
    }
}

}  // namespace kestrane
