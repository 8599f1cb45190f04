#include "app/panel/frm_main.h"

#include "app/panel/help_panels.h"
#include "app/panel/picture_button.h"
#include "app/panel/twips.h"
#include "app/store/category_file.h"
#include "app/store/options_file.h"
#include "app/store/quiet_choices.h"
#include "app/store/screen_choice.h"
#include "platform/instance/instance_lock.h"
#include "platform/session/minimise_watch.h"
#include "platform/shell/notify_icon.h"
#include "platform/win/window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTimer>
#include <QWindow>

#include <cmath>
#include <exception>

namespace kestrane {

namespace {

// How long a window manager is given to minimise the panel before it counts as one that
// cannot.
constexpr int kMinimiseWaitMs = 1000;

}  // namespace

// The controls run control drives, as the window holds them.
class FrmMain::Panel : public RunPanel {
  public:
    explicit Panel(FrmMain& f) : f_(f) {}

    QString DurationText() const override { return f_.PanelOptions->TxtMessageDuration->text(); }
    QString IntervalText() const override {
        return f_.PanelOptions->txtTimeBetweenMessages->text();
    }
    void SetIntervalText(const QString& text) override {
        f_.PanelOptions->txtTimeBetweenMessages->setText(text);
    }
    CategoryList Categories() const override { return f_.PanelOptions->Categories(); }
    void SetStartPicture(const QString& suffix) override { f_.SetPicture(f_.PbStart, suffix); }
    void SetTestPicture(const QString& suffix) override {
        f_.SetPicture(f_.PanelOptions->PbTest, suffix);
    }
    void SetSettingsEnabled(bool enabled) override {
        f_.PanelOptions->setEnabled(enabled);
        f_.PanelAbout->setEnabled(enabled);
        f_.PanelEditMessage->setEnabled(enabled);
        f_.PanelOptions->PbViewScript->setEnabled(enabled);
        f_.PanelOptions->PBFont->setEnabled(enabled);
        f_.PanelOptions->PbColor->setEnabled(enabled);
    }
    QLabel* LblWhite() override { return f_.PanelOptions->LblWhite; }

  private:
    FrmMain& f_;
};

// What the pages use of the window.
class FrmMain::Context : public PanelContext {
  public:
    explicit Context(FrmMain& f) : f_(f) {}

    const std::filesystem::path& AppFolder() const override { return f_.appFolder_; }
    const std::filesystem::path& RunFolder() const override { return f_.runFolder_; }
    SharedState& State() override { return f_.state_; }
    platform::Dialogs& Dialogs() override { return f_.dialogs_; }
    platform::CommonDialogState& CommonDialog1() override { return f_.CommonDialog1; }
    bool ListsReady() const override { return f_.ListsReady; }
    void SaveOptions() override { f_.SaveOptions(); }
    // Run control goes first when the window is destroyed; a box losing its focus then commits
    // nothing.
    void CommitDuration() override {
        if (f_.run_) {
            f_.run_->CommitDuration();
        }
    }
    void CommitInterval() override {
        if (f_.run_) {
            f_.run_->CommitInterval();
        }
    }
    void QuietChoicesChanged() override { emit f_.QuietChoicesChanged(); }

  private:
    FrmMain& f_;
};

FrmMain::FrmMain(SharedState& state, platform::Dialogs& dialogs, Options options)
    : QWidget(nullptr),
      state_(state),
      dialogs_(dialogs),
      appFolder_(std::move(options.appFolder)),
      runFolder_(options.runFolder.empty() ? appFolder_ : std::move(options.runFolder)),
      endProcess_(options.endProcess ? std::move(options.endProcess)
                                     : [] { QCoreApplication::quit(); }),
      createTray_(options.createTray),
      instance_(std::move(options.instanceLock)) {
    setObjectName(QStringLiteral("frm_main"));
    setWindowTitle(QStringLiteral("Orvessa"));
    setFixedSize(DesignSize());
    background_ = LoadAppPicture(appFolder_, QStringLiteral("\\Images\\background.jpg"));
    const QPixmap icon = LoadAppPicture(appFolder_, QStringLiteral("\\Images\\kestrane.png"));
    if (!icon.isNull()) {
        setWindowIcon(QIcon(icon));
    }

    auto picture = [this](const char* name, const QString& caption, const QRect& geometry) {
        auto* button = new PictureButton(QString::fromLatin1(name), caption, this);
        button->setGeometry(geometry);
        return button;
    };
    hide1 = picture("hide1", QStringLiteral("_"), TwipsRect(7650, 135, 300, 465));
    close1 = picture("close1", QStringLiteral("X"), TwipsRect(8010, 150, 345, 465));
    PbStart = picture("PbStart", QStringLiteral("Start"), TwipsRect(7140, 720, 1275, 450));
    // Why no message shows now, under the Start picture; empty while nothing holds them.
    LblQuiet = new QLabel(this);
    LblQuiet->setObjectName(QStringLiteral("LblQuiet"));
    LblQuiet->setGeometry(TwipsRect(4650, 1200, 3765, 270));
    LblQuiet->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    {
        QPalette pal = LblQuiet->palette();
        pal.setColor(QPalette::WindowText, Qt::white);
        LblQuiet->setPalette(pal);
        QFont bold = LblQuiet->font();
        bold.setBold(true);
        LblQuiet->setFont(bold);
    }
    PBMessage = picture("PBMessage", QStringLiteral("Setup"), TwipsRect(165, 1530, 975, 300));
    PbEditMessages =
        picture("PbEditMessages", QStringLiteral("Programs"), TwipsRect(1185, 1530, 975, 300));
    PbAboutUs = picture("PbAboutUs", QStringLiteral("About"), TwipsRect(2205, 1530, 975, 300));
    PbGetNewPrograms = picture("PbGetNewPrograms", QStringLiteral("Get programs"),
                               TwipsRect(6915, 1500, 1425, 315));
    PbGetNewPrograms->hide();

    context_ = std::make_unique<Context>(*this);
    PanelOptions = new SetupPage(*context_, this);
    PanelOptions->setGeometry(TwipsRect(165, 1815, 8100, 5370));
    PanelEditMessage = new ProgramsPage(this, appFolder_, dialogs_, *PanelOptions);
    PanelEditMessage->setGeometry(TwipsRect(165, 1815, 8100, 5385));
    PanelEditMessage->hide();
    LstBoxCategories = PanelEditMessage->LstBoxCategories;
    ClbMessages = PanelEditMessage->ClbMessages;
    PanelAbout = new QFrame(this);
    PanelAbout->setObjectName(QStringLiteral("PanelAbout"));
    PanelAbout->setGeometry(TwipsRect(180, 1845, 8100, 5370));
    PanelAbout->hide();

    SetPicture(hide1, QStringLiteral("\\Images\\hide.gif"));
    SetPicture(close1, QStringLiteral("\\Images\\close.gif"));
    SetPicture(PbStart, QString::fromLatin1(kStartPicture));
    SetPicture(PanelOptions->PbTest, QString::fromLatin1(kTestPicture));
    SetPicture(PBMessage, QStringLiteral("\\Images\\setuptab_mouse.jpg"));
    SetPicture(PbEditMessages, QStringLiteral("\\images\\Programstab.gif"));
    SetPicture(PbAboutUs, QStringLiteral("\\images\\about.gif"));
    SetPicture(PbGetNewPrograms, QStringLiteral("\\Images\\getprograms.gif"));

    flash_ = std::make_unique<MessagesForm>(state_, options.timers, rnd_);
    panel_ = std::make_unique<Panel>(*this);
    RunControl::BuildFn build = options.buildRunList;
    if (!build) {
        build = [this](const CategoryList& selection, RunList& list) {
            return BuildRunList(appFolder_, selection, list);
        };
    }
    run_ = std::make_unique<RunControl>(
        RunControl::Deps{state_, *panel_, dialogs_, *flash_, options.timers, std::move(build),
                         [this] { SaveOptions(); }, options.timingPriority});

    help_ = new HelpPanels(*this);

    // At a fractional scale (125 %, 150 %) the style's one-pixel frame lines of the lists and
    // help panels fall between the screen's pixels at their edges and are cut off; a border
    // filled as a rectangle stays whole. Its colour is the style's frame colour.
    const qreal ratio = devicePixelRatioF();
    if (ratio != std::floor(ratio)) {
        setStyleSheet(QStringLiteral("QAbstractScrollArea { border: 1px solid %1; }")
                          .arg(palette().color(QPalette::Window).darker(140).name()));
    }

    connect(PbStart, &QAbstractButton::clicked, this, [this] {
        run_->PbStart_Click();
        emit StateTouched();
    });
    connect(PanelOptions->PbTest, &QAbstractButton::clicked, this,
            [this] { run_->PbTest_Click(); });
    connect(PBMessage, &QAbstractButton::clicked, this, [this] { PBMessage_Click(); });
    connect(PbEditMessages, &QAbstractButton::clicked, this, [this] { PbEditMessages_Click(); });
    connect(PbAboutUs, &QAbstractButton::clicked, this, [this] { PbAboutUs_Click(); });
    connect(hide1, &QAbstractButton::clicked, this, [this] { hide1_Click(); });
    connect(close1, &QAbstractButton::clicked, this, [this] { close1_Click(); });
    minimise_ = std::make_unique<platform::session::MinimiseWatch>();
}

FrmMain::~FrmMain() {
    // The flash window goes before the state it reads; the tray object before the window.
    run_.reset();
    flash_.reset();
    tray_.Release();
    ImageList1.Reset();
}

void FrmMain::SaveOptions() {
    kestrane::SaveOptions(appFolder_, state_.flashOptions);
}

platform::win::HWND FrmMain::hWnd() {
    if (hWnd_ == 0) {
        hWnd_ = platform::win::AttachWidget(this, "ThunderRT6FormDC");
    }
    return hWnd_;
}

void FrmMain::SetPicture(PictureButton* button, const QString& suffix) {
    kestrane::SetPicture(button, appFolder_, suffix);
}

void FrmMain::SetBackground(QLabel* label, const QString& suffix) {
    kestrane::SetBackground(label, appFolder_, suffix);
}

void FrmMain::PBMessage_Click() {
    PanelOptions->show();
    PanelEditMessage->hide();
    PanelAbout->hide();
    PbGetNewPrograms->hide();
    SetPicture(PBMessage, QStringLiteral("\\Images\\setuptab_mouse.jpg"));
    SetPicture(PbEditMessages, QStringLiteral("\\images\\Programstab.gif"));
    SetPicture(PbAboutUs, QStringLiteral("\\images\\about.gif"));
    PanelOptions->Recount();
}

void FrmMain::PbEditMessages_Click() {
    // The tab comes up with its create-mode pictures; its modes and selection stay.
    PanelEditMessage->TabShown();
    PanelOptions->hide();
    PanelEditMessage->show();
    PanelAbout->hide();
    PbGetNewPrograms->show();
    SetPicture(PBMessage, QStringLiteral("\\Images\\setuptab.gif"));
    SetPicture(PbEditMessages, QStringLiteral("\\images\\Programstab_mouse.jpg"));
    SetPicture(PbAboutUs, QStringLiteral("\\images\\about.gif"));
}

void FrmMain::PbAboutUs_Click() {
    PanelOptions->hide();
    PanelEditMessage->hide();
    PanelAbout->show();
    PbGetNewPrograms->hide();
    SetPicture(PBMessage, QStringLiteral("\\Images\\setuptab.gif"));
    SetPicture(PbEditMessages, QStringLiteral("\\images\\Programstab.gif"));
    SetPicture(PbAboutUs, QStringLiteral("\\images\\about_mouse.jpg"));
}

void FrmMain::ShowPanel() {
    hideWanted_ = false;
    ++hideCheck_;
    SetShowHideEntries(true);
    // An ordinary window, neither minimised nor maximised, brought to the front.
    setWindowState(windowState() &
                   ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    showNormal();
    raise();
    activateWindow();
}

bool FrmMain::TrayIconShown() const {
    return tray_.IconShown() && platform::shell::NotifyAreaShown();
}

void FrmMain::HidePanel() {
    hideWanted_ = true;
    SetShowHideEntries(false);
    if (!TrayIconShown()) {
        // Without a tray icon on screen (no tray object, or no tray host on this desktop) the
        // window goes to the task bar, where the user finds it. Should a tray host appear
        // later, its menu offers Show for it.
        showMinimized();
        // A desktop that cannot minimise (sway, tiling window managers, no window manager)
        // leaves the window on screen, where letters would flash over it and a click on them
        // land on it: there it is hidden, and kestrane --show or a second start brings it up.
        // Where neither can reach the program (no session bus), nothing could: it stays.
        // Only the desktop's own word tells: a minimised window can stay exposed (mutter), and
        // one that the user brought back from the task bar within the wait was minimised all
        // the same, so the check looks at what the desktop said since this Hide.
        minimise_->Begin(windowHandle());
        const unsigned check = ++hideCheck_;
        QTimer::singleShot(kMinimiseWaitMs, this, [this, check] {
            if (check == hideCheck_ && hideWanted_ && callable_ && isVisible() &&
                !minimise_->Minimised()) {
                hide();
            }
        });
        return;
    }
    hide();
}

void FrmMain::SetShowHideEntries(bool shown) {
    tray_.SetMenuEnabled(u"SHOW", !shown);
    tray_.SetMenuEnabled(u"HIDE", shown);
}

void FrmMain::changeEvent(QEvent* event) {
    // The tray menu's Show and Hide stay true to the window when the user minimises it or
    // brings it back through the window manager: a minimised window can be shown.
    if (event->type() == QEvent::WindowStateChange && isVisible()) {
        SetShowHideEntries(!isMinimized());
    }
    QWidget::changeEvent(event);
}

QSize FrmMain::DesignSize() {
    return {TwipsToPixels(8535), TwipsToPixels(7635)};
}

void FrmMain::showEvent(QShowEvent* event) {
    // A window of fixed size keeps the size limits the window system was given for the screen
    // it was made on: on a screen of another scale (a scale per monitor) it would stay at the
    // old number of pixels and cut the panel off. The limits are given again for each screen.
    if (QWindow* window = windowHandle(); window != nullptr && !followsScreen_) {
        followsScreen_ = true;
        connect(window, &QWindow::screenChanged, this, [this] {
            setMinimumSize(0, 0);
            setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            setFixedSize(DesignSize());
        });
    }
    QWidget::showEvent(event);
}

void FrmMain::SetQuietReason(const QString& reason) {
    if (reason == LblQuiet->text()) {
        return;
    }
    LblQuiet->setText(reason);
    // The tray icon's tooltip says it too, and is empty (as it always was) otherwise.
    tray_.SetToolTip(reason.toStdU16String());
    emit StateTouched();
}

QString FrmMain::QuietReason() const {
    return LblQuiet->text();
}

void FrmMain::hide1_Click() {
    HidePanel();
}

void FrmMain::close1_Click() {
    try {
        // Options that cannot be written now (a full disk, a read-only file) would be lost
        // with the process: the failure is reported and the program stays open, as for any
        // failing step of Close. A file removed meanwhile is not written, as at every save.
        SaveOptionsReporting(appFolder_, state_.flashOptions);
        // The screen choice, when an earlier write of it failed: it is not lost either.
        SaveScreenChoiceIfChanged(appFolder_, state_.screenChoice);
        SaveQuietChoicesIfChanged(appFolder_, state_.quietChoices);
        tray_.Release();
    } catch (const std::exception& e) {
        dialogs_.MsgBox(QString::fromLocal8Bit(e.what()), platform::MsgBoxStyle::OkOnly,
                        RunControl::Title());
        return;
    }
    endProcess_();
}

void FrmMain::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!background_.isNull()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawPixmap(rect(), background_);
    } else {
        p.fillRect(rect(), QColor(243, 248, 251));
    }
}

void FrmMain::closeEvent(QCloseEvent* event) {
    // The frame's close command ends the program the one way it ends: as the Close picture.
    event->ignore();
    close1_Click();
}

}  // namespace kestrane
