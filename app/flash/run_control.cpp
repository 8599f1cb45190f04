#include "app/flash/run_control.h"

#include "app/flash/numbers.h"
#include "platform/layered/layered_window.h"

#include <QLabel>

#include <algorithm>
#include <exception>

namespace kestrane {

namespace {

const QString kOver60 = QStringLiteral("Please enter less than or equal to 60 seconds");

QColor FromColorRef(std::uint32_t ref) {
    if ((ref & 0x80000000u) != 0) {
        ref = platform::layered::GetSysColor(static_cast<int>(ref & 0xFF));
    }
    return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                  static_cast<int>((ref >> 16) & 0xFF));
}

}  // namespace

int DigitsOnly(int keyAscii) {
    if ((keyAscii >= '0' && keyAscii <= '9') || keyAscii == 8) {
        return keyAscii;
    }
    return 0;
}

const QString& RunControl::Title() {
    static const QString title = QStringLiteral("Veltrane");
    return title;
}

RunControl::RunControl(Deps deps) : d_(std::move(deps)) {
    Timer1_ = d_.timers();
    Timer1_->OnTick([this] { Timer1_Timer(); });
}

void RunControl::Message(const QString& text) {
    d_.dialogs.MsgBox(text, platform::MsgBoxStyle::OkOnly, Title());
}

bool RunControl::IntervalAcceptable(const QString& text) const {
    const auto v = NumericValue(text);
    return v && *v <= 60;
}

void RunControl::PbStart_Click() {
    SharedState& s = d_.state;
    if (s.Idle) {
        const QString interval = d_.panel.IntervalText();
        if (!interval.isEmpty() && !IntervalAcceptable(interval)) {
            Message(kOver60);
            d_.panel.SetIntervalText(QStringLiteral("60"));
            return;
        }
        if (d_.panel.DurationText().isEmpty()) {
            Message(QStringLiteral("Enter Message Duration"));
            return;
        }
        if (interval.isEmpty()) {
            Message(QStringLiteral("Enter Time Between Messages"));
            return;
        }
        const CategoryList categories = d_.panel.Categories();
        if (std::none_of(categories.begin(), categories.end(),
                         [](const CategoryEntry& e) { return e.ticked; })) {
            Message(QStringLiteral("Select Veltrane Program"));
            return;
        }
        s.RunWanted = true;
        s.Idle = false;
        d_.panel.SetStartPicture(QString::fromLatin1(kStopPicture));
        StartRun();
    } else {
        s.RunWanted = false;
        d_.panel.SetStartPicture(QString::fromLatin1(kStartPicture));
        StopRun();
        s.Idle = true;
    }
}

void RunControl::CommitDuration() {
    const QString text = d_.panel.DurationText();
    if (text.isEmpty()) {
        return;
    }
    FlashOptions& o = d_.state.flashOptions;
    const auto v = NumericValue(text);
    const auto whole = v ? ToInt16(*v) : std::nullopt;
    if (whole) {
        o.Msgduration = *whole;
    }
    // A display time is never 0; nor can it be negative (a timer cannot run backwards).
    if (!v || (whole && *whole <= 0)) {
        o.Msgduration = 1;
    }
    if (d_.saveOptions) {
        d_.saveOptions();
    }
}

void RunControl::CommitInterval() {
    if (d_.panel.IntervalText().isEmpty()) {
        return;
    }
    if (!IntervalAcceptable(d_.panel.IntervalText())) {
        Message(kOver60);
        d_.panel.SetIntervalText(QStringLiteral("60"));
    }
    FlashOptions& o = d_.state.flashOptions;
    const auto v = NumericValue(d_.panel.IntervalText());
    if (const auto whole = v ? ToInt32(*v) : std::nullopt) {
        o.TimeBtnMsgs = *whole <= 0 ? 1 : *whole;
    }
    if (d_.saveOptions) {
        d_.saveOptions();
    }
}

void RunControl::StopPreview() {
    d_.panel.SetTestPicture(QString::fromLatin1(kTestPicture));
    d_.panel.LblWhite()->setText(QString());
    Timer1_->SetEnabled(false);
    TestIdle_ = true;
}

void RunControl::StartRun() {
    CommitDuration();
    CommitInterval();
    d_.panel.SetSettingsEnabled(false);
    StopPreview();
    const std::int16_t counter = d_.buildRunList(d_.panel.Categories(), d_.state.runList);
    if (counter >= 2) {
        d_.flashWindow.Show();
        if (d_.timingPriority) {
            d_.timingPriority(true);
        }
    }
}

void RunControl::StopRun() {
    try {
        d_.panel.SetSettingsEnabled(true);
        d_.panel.SetStartPicture(QString::fromLatin1(kStartPicture));
        if (d_.flashWindow.IsLoaded()) {
            d_.flashWindow.Timer1()->SetEnabled(false);
            d_.flashWindow.Unload();
        }
        if (d_.timingPriority) {
            d_.timingPriority(false);
        }
    } catch (const std::exception& e) {
        Message(QString::fromLocal8Bit(e.what()));
    }
}

void RunControl::Quiet(bool quiet) {
    d_.flashWindow.SetSuspended(quiet);
}

void RunControl::QuietScreensChanged() {
    d_.flashWindow.QuietScreensChanged();
}

void RunControl::PbTest_Click() {
    if (!TestIdle_) {
        StopPreview();
        return;
    }
    CommitDuration();
    CommitInterval();
    d_.panel.SetTestPicture(QString::fromLatin1(kStopTestPicture));
    const FlashOptions& o = d_.state.flashOptions;
    QLabel* label = d_.panel.LblWhite();
    QFont font = label->font();
    font.setBold(o.SelFontBold);
    font.setItalic(o.SelFontItalic);
    if (o.SelFontSize > 0) {
        font.setPointSize(std::min<int>(o.SelFontSize, 26));
    }
    label->setFont(font);
    if (const auto color = ColorValue(o.Color)) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, FromColorRef(*color));
        label->setPalette(pal);
    }
    label->setText(QStringLiteral("Test"));
    label->setVisible(false);
    TestShown_ = false;
    Timer1_->SetInterval(SecondsToInterval(o.TimeBtnMsgs));
    Timer1_->SetEnabled(true);
    TestIdle_ = false;
}

void RunControl::Timer1_Timer() {
    const FlashOptions& o = d_.state.flashOptions;
    QLabel* label = d_.panel.LblWhite();
    if (!TestShown_) {
        label->setVisible(true);
        label->setText(QStringLiteral("Test"));
        Timer1_->Restart(o.Msgduration);
        TestShown_ = true;
    } else {
        label->setText(QString());
        Timer1_->Restart(SecondsToInterval(o.TimeBtnMsgs));
        TestShown_ = false;
    }
}

}  // namespace kestrane
