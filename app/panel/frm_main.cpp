#include "app/panel/frm_main.h"

#include "app/panel/picture_button.h"
#include "app/panel/setup_page.h"
#include "app/panel/twips.h"
#include "app/store/options_file.h"

#include <QLabel>
#include <QLineEdit>

namespace kestrane {

namespace {

// What a plain button says while its picture file is missing.
QString CaptionFor(const QString& suffix, const QString& fallback) {
    const QString base = suffix.section(QLatin1Char('\\'), -1).section(QLatin1Char('.'), 0, 0);
    const QString key = base.toLower();
    if (key == QLatin1String("startbut"))
        return QStringLiteral("Start");
    if (key == QLatin1String("stopbut") || key == QLatin1String("stopbut2"))
        return QStringLiteral("Stop");
    if (key == QLatin1String("testbut"))
        return QStringLiteral("Test");
    return fallback;
}

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

FrmMain::FrmMain(SharedState& state, platform::Dialogs& dialogs, Options options)
    : QWidget(nullptr), state_(state), dialogs_(dialogs), appFolder_(std::move(options.appFolder)) {
    setObjectName(QStringLiteral("frm_main"));
    setWindowTitle(QStringLiteral("Orvessa"));
    setFixedSize(TwipsToPixels(8535), TwipsToPixels(7635));

    PbStart = new PictureButton(QStringLiteral("PbStart"), QStringLiteral("Start"), this);
    PbStart->setGeometry(TwipsRect(7140, 720, 1275, 450));

    PanelOptions = new SetupPage(this);
    PanelOptions->setGeometry(TwipsRect(165, 1815, 8100, 5370));
    PanelEditMessage = new ProgramsPage(this, appFolder_, dialogs_, *PanelOptions);
    PanelEditMessage->setGeometry(TwipsRect(165, 1815, 8100, 5385));
    PanelEditMessage->hide();
    PanelAbout = new QFrame(this);
    PanelAbout->setObjectName(QStringLiteral("PanelAbout"));
    PanelAbout->setGeometry(TwipsRect(180, 1845, 8100, 5370));
    PanelAbout->hide();

    SetPicture(PbStart, QString::fromLatin1(kStartPicture));
    SetPicture(PanelOptions->PbTest, QString::fromLatin1(kTestPicture));

    flash_ = std::make_unique<MessagesForm>(state_, options.timers, rnd_);
    panel_ = std::make_unique<Panel>(*this);
    RunControl::BuildFn build = options.buildRunList;
    if (!build) {
        build = [this](const CategoryList& selection, RunList& list) {
            return BuildRunList(appFolder_, selection, list);
        };
    }
    run_ = std::make_unique<RunControl>(RunControl::Deps{state_, *panel_, dialogs_, *flash_,
                                                         options.timers, std::move(build),
                                                         [this] { SaveOptions(); }});

    connect(PbStart, &QAbstractButton::clicked, this, [this] { run_->PbStart_Click(); });
    connect(PanelOptions->PbTest, &QAbstractButton::clicked, this,
            [this] { run_->PbTest_Click(); });
}

FrmMain::~FrmMain() {
    // The flash window goes before the state it reads.
    run_.reset();
    flash_.reset();
}

void FrmMain::SaveOptions() {
    kestrane::SaveOptions(appFolder_, state_.flashOptions);
}

void FrmMain::SetPicture(PictureButton* button, const QString& suffix) {
    button->LoadPicture(appFolder_, suffix, CaptionFor(suffix, button->text()));
}

}  // namespace kestrane
