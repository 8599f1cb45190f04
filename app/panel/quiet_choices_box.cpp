#include "app/panel/quiet_choices_box.h"

#include "app/flash/run_control.h"
#include "app/store/store_error.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QToolButton>

namespace kestrane {

namespace {

// The panel's blue (headings, counts) and the light back colour of its option buttons.
const char* kPopupStyle =
    "#FrmQuiet { background: rgb(243, 248, 251); border: 1px solid rgb(30, 110, 167);"
    " border-radius: 4px; }"
    "#FrmQuiet QLabel#LblQuietTitle { color: rgb(30, 110, 167); font-weight: bold; }"
    "#FrmQuiet QToolButton { border: 1px solid rgb(160, 185, 205); border-radius: 3px;"
    " background: white; color: rgb(3, 65, 133); padding: 1px 3px; }"
    "#FrmQuiet QToolButton:checked { background: rgb(30, 110, 167); color: white; }"
    "#FrmQuiet QToolButton:disabled { color: rgb(160, 160, 160); }"
    "#FrmQuiet QToolButton:checked:disabled { background: rgb(175, 195, 212); color: white; }"
    "#FrmQuiet QLabel#LblKeyProblem { color: rgb(170, 30, 30); }";
const char* kButtonStyle =
    "QPushButton { background: rgb(30, 110, 167); color: white; font-weight: bold;"
    " border: 1px solid rgb(20, 80, 130); border-radius: 3px; padding: 1px 6px; }"
    "QPushButton:checked, QPushButton:pressed { background: rgb(20, 80, 130); }"
    "QPushButton:disabled { background: rgb(150, 170, 190); }";

QMetaObject::Connection OnToggle(QAbstractButton* button, QuietChoicesBox* box) {
    return QObject::connect(button, &QAbstractButton::toggled, box, [box] { box->Changed(); });
}

}  // namespace

QuietChoicesBox::QuietChoicesBox(PanelContext& context, QWidget* page)
    : QFrame(page), ctx_(context) {
    setObjectName(QStringLiteral("FrmQuiet"));
    setStyleSheet(QString::fromLatin1(kPopupStyle));
    setAutoFillBackground(true);

    PbQuiet = new QPushButton(tr("Stay quiet..."), page);
    PbQuiet->setObjectName(QStringLiteral("PbQuiet"));
    PbQuiet->setCheckable(true);
    PbQuiet->setStyleSheet(QString::fromLatin1(kButtonStyle));
    PbQuiet->setToolTip(tr("When no message is shown"));
    // Like the page's pictures it takes no focus, so the boxes keep theirs and the Tab order
    // through the page stays as it was.
    PbQuiet->setFocusPolicy(Qt::NoFocus);

    auto* title = new QLabel(tr("Stay quiet"), this);
    title->setObjectName(QStringLiteral("LblQuietTitle"));
    auto check = [this](const char* name, const QString& text, const QString& tip) {
        auto* box = new QCheckBox(text, this);
        box->setObjectName(QString::fromLatin1(name));
        box->setToolTip(tip);
        return box;
    };
    ChkFullScreen = check("ChkFullScreen", tr("Over a full-screen window"),
                          tr("No message over a video, a game or a presentation"));
    ChkShared = check("ChkShared", tr("While the screen is shared"),
                      tr("No message while the screen is shared or recorded"));
    ChkDoNotDisturb = check("ChkDoNotDisturb", tr("Under Do Not Disturb"),
                            tr("No message while the desktop's Do Not Disturb is on"));
    ChkHours = check("ChkHours", tr("Outside my hours:"),
                     tr("Messages only on the days and between the times chosen here"));

    auto* days = new QHBoxLayout;
    days->setSpacing(2);
    const QString names[7] = {tr("Mo"), tr("Tu"), tr("We"), tr("Th"), tr("Fr"), tr("Sa"), tr("Su")};
    for (int d = 0; d < 7; ++d) {
        PbDays[d] = new QToolButton(this);
        PbDays[d]->setObjectName(QStringLiteral("PbDay%1").arg(d + 1));
        PbDays[d]->setText(names[d]);
        PbDays[d]->setCheckable(true);
        days->addWidget(PbDays[d]);
    }
    days->addStretch();
    auto time = [this](const char* name) {
        auto* edit = new QTimeEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setDisplayFormat(QStringLiteral("HH:mm"));
        return edit;
    };
    TxtFrom = time("TxtFrom");
    TxtTo = time("TxtTo");
    auto* range = new QHBoxLayout;
    range->setSpacing(4);
    range->addWidget(new QLabel(tr("from"), this));
    range->addWidget(TxtFrom);
    range->addWidget(new QLabel(tr("to"), this));
    range->addWidget(TxtTo);
    range->addStretch();

    TxtKey = new QKeySequenceEdit(this);
    TxtKey->setObjectName(QStringLiteral("TxtKey"));
    TxtKey->setClearButtonEnabled(true);
    TxtKey->setToolTip(tr("Press the keys that start and stop the messages from anywhere"));
    auto* key = new QHBoxLayout;
    key->setSpacing(4);
    key->addWidget(new QLabel(tr("Start and stop key:"), this));
    key->addWidget(TxtKey, 1);
    LblKeyProblem = new QLabel(this);
    LblKeyProblem->setObjectName(QStringLiteral("LblKeyProblem"));
    LblKeyProblem->setWordWrap(true);
    LblKeyProblem->hide();

    PbQuietDone = new QPushButton(tr("Done"), this);
    PbQuietDone->setObjectName(QStringLiteral("PbQuietDone"));
    PbQuietDone->setStyleSheet(QString::fromLatin1(kButtonStyle));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setVerticalSpacing(3);
    grid->addWidget(title, 0, 0);
    grid->addWidget(ChkFullScreen, 1, 0);
    grid->addWidget(ChkShared, 2, 0);
    grid->addWidget(ChkDoNotDisturb, 3, 0);
    grid->addWidget(ChkHours, 4, 0);
    auto* hours = new QVBoxLayout;
    hours->setContentsMargins(18, 0, 0, 0);
    hours->addLayout(days);
    hours->addLayout(range);
    grid->addLayout(hours, 5, 0);
    grid->addLayout(key, 6, 0);
    grid->addWidget(LblKeyProblem, 7, 0);
    grid->addWidget(PbQuietDone, 8, 0, Qt::AlignRight);

    for (QAbstractButton* b :
         {static_cast<QAbstractButton*>(ChkFullScreen), static_cast<QAbstractButton*>(ChkShared),
          static_cast<QAbstractButton*>(ChkDoNotDisturb),
          static_cast<QAbstractButton*>(ChkHours)}) {
        OnToggle(b, this);
    }
    for (QToolButton* d : PbDays) {
        OnToggle(d, this);
    }
    connect(TxtFrom, &QTimeEdit::editingFinished, this, [this] { Changed(); });
    connect(TxtTo, &QTimeEdit::editingFinished, this, [this] { Changed(); });
    connect(ChkHours, &QAbstractButton::toggled, this, [this] { EnableHours(); });
    // One chord is the key: a second one typed before the edit ends is dropped.
    connect(TxtKey, &QKeySequenceEdit::editingFinished, this, [this] {
        if (TxtKey->keySequence().count() > 1) {
            const QSignalBlocker block(TxtKey);
            TxtKey->setKeySequence(QKeySequence(TxtKey->keySequence()[0]));
        }
        Changed();
    });
    connect(TxtKey, &QKeySequenceEdit::keySequenceChanged, this, [this](const QKeySequence& k) {
        if (k.isEmpty()) {
            Changed();  // cleared: no key
        }
    });
    connect(PbQuiet, &QAbstractButton::toggled, this, [this](bool open) {
        setVisible(open);
        if (open) {
            raise();
        }
    });
    connect(PbQuietDone, &QAbstractButton::clicked, PbQuiet,
            [this] { PbQuiet->setChecked(false); });

    ShowChoices(QuietChoices{});
    hide();
}

QuietChoices QuietChoicesBox::Choices() const {
    QuietChoices c;
    c.fullScreen = ChkFullScreen->isChecked();
    c.shared = ChkShared->isChecked();
    c.doNotDisturb = ChkDoNotDisturb->isChecked();
    c.hours = ChkHours->isChecked();
    c.days = 0;
    for (int d = 0; d < 7; ++d) {
        if (PbDays[d]->isChecked()) {
            c.days |= 1U << d;
        }
    }
    c.from = TxtFrom->time().hour() * 60 + TxtFrom->time().minute();
    c.to = TxtTo->time().hour() * 60 + TxtTo->time().minute();
    const QKeySequence key = TxtKey->keySequence();
    c.key = key.isEmpty() ? std::string()
                          : QKeySequence(key[0]).toString(QKeySequence::PortableText).toStdString();
    return c;
}

void QuietChoicesBox::ShowChoices(const QuietChoices& c) {
    const QSignalBlocker blocks[] = {
        QSignalBlocker(ChkFullScreen), QSignalBlocker(ChkShared), QSignalBlocker(ChkDoNotDisturb),
        QSignalBlocker(ChkHours),      QSignalBlocker(TxtFrom),   QSignalBlocker(TxtTo),
        QSignalBlocker(PbDays[0]),     QSignalBlocker(PbDays[1]), QSignalBlocker(PbDays[2]),
        QSignalBlocker(PbDays[3]),     QSignalBlocker(PbDays[4]), QSignalBlocker(PbDays[5]),
        QSignalBlocker(PbDays[6]),     QSignalBlocker(TxtKey)};
    ChkFullScreen->setChecked(c.fullScreen);
    ChkShared->setChecked(c.shared);
    ChkDoNotDisturb->setChecked(c.doNotDisturb);
    ChkHours->setChecked(c.hours);
    for (int d = 0; d < 7; ++d) {
        PbDays[d]->setChecked((c.days >> d) & 1U);
    }
    TxtFrom->setTime(QTime(c.from / 60, c.from % 60));
    TxtTo->setTime(QTime(c.to / 60, c.to % 60));
    TxtKey->setKeySequence(
        QKeySequence::fromString(QString::fromStdString(c.key), QKeySequence::PortableText));
    EnableHours();
}

void QuietChoicesBox::EnableHours() {
    for (QToolButton* d : PbDays) {
        d->setEnabled(ChkHours->isChecked());
    }
    TxtFrom->setEnabled(ChkHours->isChecked());
    TxtTo->setEnabled(ChkHours->isChecked());
}

void QuietChoicesBox::ShowKeyProblem(const QString& problem) {
    LblKeyProblem->setText(problem);
    LblKeyProblem->setVisible(!problem.isEmpty());
    adjustSize();
}

void QuietChoicesBox::Changed() {
    const QuietChoices choices = Choices();
    if (choices == ctx_.State().quietChoices) {
        return;  // a time box left without a change
    }
    ctx_.State().quietChoices = choices;
    ctx_.QuietChoicesChanged();
    try {
        SaveQuietChoices(ctx_.AppFolder(), choices);
    } catch (const StoreError& e) {
        ctx_.Dialogs().MsgBox(QString::fromLocal8Bit(e.what()), platform::MsgBoxStyle::OkOnly,
                              RunControl::Title());
    }
}

}  // namespace kestrane
