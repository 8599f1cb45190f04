#include "app/panel/setup_page.h"

#include "app/flash/numbers.h"
#include "app/flash/run_control.h"
#include "app/panel/message_list_model.h"
#include "app/panel/picture_button.h"
#include "app/panel/quiet_choices_box.h"
#include "app/panel/screen_choice_box.h"
#include "app/panel/timing_box.h"
#include "app/panel/twips.h"
#include "app/store/category_file.h"
#include "app/store/selection_file.h"
#include "app/store/text_file.h"
#include "platform/layered/layered_window.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>

#include <exception>
#include <string>

namespace kestrane {

namespace {

constexpr int kNameRole = kCategoryNameRole;

PictureButton* Picture(const char* name, const QString& caption, const QRect& geometry,
                       QWidget* parent) {
    auto* button = new PictureButton(QString::fromLatin1(name), caption, parent);
    button->setGeometry(geometry);
    return button;
}

QRadioButton* PositionOption(const char* name, const QRect& geometry, QWidget* parent) {
    auto* option = new FittedRadioButton(parent);
    option->setObjectName(QString::fromLatin1(name));
    option->setGeometry(geometry);
    option->setAutoFillBackground(true);
    return option;
}

// The spin pictures write the number back as plain decimal text.
QString NumberText(double value) {
    return QString::number(value);
}

}  // namespace

SetupPage::SetupPage(PanelContext& context, QWidget* parent) : QFrame(parent), ctx_(context) {
    setObjectName(QStringLiteral("PanelOptions"));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(TwipsRect(0, 15, 8145, 5370));
    Image1->setScaledContents(true);
    SetBackground(Image1, ctx_.AppFolder(), QStringLiteral("\\Images\\setupback.jpg"));

    ClbCategories = new QListWidget(this);
    ClbCategories->setObjectName(QStringLiteral("ClbCategories"));
    ClbCategories->setGeometry(TwipsRect(435, 810, 3285, 2085));

    LblNumMess = new QLabel(QStringLiteral("0"), this);
    LblNumMess->setObjectName(QStringLiteral("LblNumMess"));
    LblNumMess->setGeometry(TwipsRect(2985, 3090, 540, 255));
    {
        QFont bold = LblNumMess->font();
        bold.setBold(true);
        LblNumMess->setFont(bold);
    }

    // Typing stops at 3 and 2 characters; what the program sets is shown whole.
    TxtMessageDuration = new TimingBox(QStringLiteral("TxtMessageDuration"), 3, this);
    TxtMessageDuration->setGeometry(TwipsRect(5505, 825, 585, 285));
    txtTimeBetweenMessages = new TimingBox(QStringLiteral("txtTimeBetweenMessages"), 2, this);
    txtTimeBetweenMessages->setGeometry(TwipsRect(5655, 1920, 540, 285));
    TxtMessageDuration->installEventFilter(this);
    txtTimeBetweenMessages->installEventFilter(this);

    PbDfSecUp = Picture("PbDfSecUp", QStringLiteral("+"), TwipsRect(6075, 810, 240, 120), this);
    PbDfSecDown = Picture("PbDfSecDown", QStringLiteral("-"), TwipsRect(6075, 960, 240, 120), this);
    PbDiEvSecUp =
        Picture("PbDiEvSecUp", QStringLiteral("+"), TwipsRect(6165, 1890, 240, 120), this);
    PbDiEvSecDown =
        Picture("PbDiEvSecDown", QStringLiteral("-"), TwipsRect(6180, 2055, 240, 120), this);
    for (PictureButton* up : {PbDfSecUp, PbDiEvSecUp}) {
        SetPicture(up, ctx_.AppFolder(), QStringLiteral("\\Images\\spinup.gif"));
    }
    for (PictureButton* down : {PbDfSecDown, PbDiEvSecDown}) {
        SetPicture(down, ctx_.AppFolder(), QStringLiteral("\\Images\\spindown.gif"));
    }

    // The screen choice comes before the position options in the Tab order, as on the page.
    CboScreen = new ScreenChoiceBox(ctx_, this);
    CboScreen->setGeometry(TwipsRect(5340, 2565, 2370, 330));
    ChbCenter = PositionOption("ChbCenter", TwipsRect(4560, 2955, 165, 195), this);
    ChbTopLeft = PositionOption("ChbTopLeft", TwipsRect(5685, 2955, 165, 195), this);
    ChbTopRight = PositionOption("ChbTopRight", TwipsRect(4560, 3180, 165, 195), this);
    ChbRandomize = PositionOption("ChbRandomize", TwipsRect(5685, 3180, 165, 195), this);
    ChbCenter->setChecked(true);

    PbViewScript = Picture("PbViewScript", tr("View Script"), TwipsRect(420, 3465, 915, 315), this);
    PbColor = Picture("PbColor", tr("Color"), TwipsRect(1455, 3465, 915, 315), this);
    PBFont = Picture("PBFont", tr("Font"), TwipsRect(2490, 3465, 915, 315), this);
    const std::pair<PictureButton*, const char*> withVariants[] = {
        {PbViewScript, "\\Images\\viewscript.jpg"},
        {PbColor, "\\Images\\color.jpg"},
        {PBFont, "\\Images\\font.jpg"},
    };
    for (const auto& [button, file] : withVariants) {
        button->SetUseVariants(true);
        SetPicture(button, ctx_.AppFolder(), QString::fromLatin1(file));
    }

    Check1 = new AutoStartBox(this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setGeometry(TwipsRect(480, 4665, 180, 195));
    Check1->setChecked(true);

    // When to stay quiet: a button between the two timing boxes, its pop-up over the right
    // column of the page, below the help picture.
    FrmQuiet = new QuietChoicesBox(ctx_, this);
    FrmQuiet->PbQuiet->setGeometry(TwipsRect(4290, 1395, 1650, 285));
    FrmQuiet->adjustSize();
    FrmQuiet->move(TwipsRect(8100, 0, 0, 0).left() - FrmQuiet->width() - 6,
                   TwipsRect(0, 480, 0, 0).top());

    PbTest = Picture("PbTest", tr("Test"), TwipsRect(5445, 4035, 915, 315), this);

    // The preview: an opaque box below the Test picture, the label on it transparent.
    LblWhiteTemp = new QLabel(this);
    LblWhiteTemp->setObjectName(QStringLiteral("LblWhiteTemp"));
    LblWhiteTemp->setGeometry(TwipsRect(4470, 4440, 3390, 780));
    LblWhiteTemp->setAutoFillBackground(true);
    {
        const std::uint32_t c =
            platform::layered::GetSysColor(platform::layered::COLOR_CAPTIONTEXT);
        QPalette pal = LblWhiteTemp->palette();
        pal.setColor(QPalette::Window,
                     QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                            static_cast<int>((c >> 16) & 0xFF)));
        LblWhiteTemp->setPalette(pal);
    }
    LblWhite = new QLabel(LblWhiteTemp);
    LblWhite->setObjectName(QStringLiteral("LblWhite"));
    LblWhite->setTextFormat(Qt::PlainText);
    LblWhite->setAlignment(Qt::AlignCenter);
    LblWhite->setAttribute(Qt::WA_TranslucentBackground);
    LblWhite->setGeometry(QRect(QPoint(0, 0), LblWhiteTemp->size()));

    // The View Script pop-up lies over the controls below the pictures.
    LstBoxViewScript = new QListView(this);
    LstBoxViewScript->setObjectName(QStringLiteral("LstBoxViewScript"));
    LstBoxViewScript->setModel(
        new MessageListModel(LstBoxViewScript, MessageListModel::Rows::IncludedOnly));
    LstBoxViewScript->setUniformItemSizes(true);  // lays out a program of any size at once
    LstBoxViewScript->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LstBoxViewScript->setGeometry(TwipsRect(420, 3795, 3015, 1395));
    LstBoxViewScript->setMouseTracking(true);
    {
        QPalette pal = LstBoxViewScript->palette();
        pal.setColor(QPalette::Base, pal.color(QPalette::ToolTipBase));
        LstBoxViewScript->setPalette(pal);
    }
    LstBoxViewScript->hide();
    LstBoxViewScript->viewport()->installEventFilter(this);

    Image1->lower();

    // The list's click behaviour runs when a tick changes or the user highlights an entry.
    // Highlighted is selected: the focus alone (the list is the first control a window
    // activation or Tab gives it to) marks a row current without highlighting it.
    connect(ClbCategories, &QListWidget::itemChanged, this, [this] { ClbCategories_Click(); });
    connect(ClbCategories, &QListWidget::itemSelectionChanged, this,
            [this] { ClbCategories_Click(); });
    connect(Check1, &QCheckBox::toggled, this, [this] { Check1_Click(); });
    connect(PbDfSecUp, &QAbstractButton::clicked, this, [this] { PbDfSecUp_Click(); });
    connect(PbDfSecDown, &QAbstractButton::clicked, this, [this] { PbDfSecDown_Click(); });
    connect(PbDiEvSecUp, &QAbstractButton::clicked, this, [this] { PbDiEvSecUp_Click(); });
    connect(PbDiEvSecDown, &QAbstractButton::clicked, this, [this] { PbDiEvSecDown_Click(); });
    const std::pair<QRadioButton*, void (SetupPage::*)()> options[] = {
        {ChbCenter, &SetupPage::ChbCenter_Click},
        {ChbTopLeft, &SetupPage::ChbTopLeft_Click},
        {ChbTopRight, &SetupPage::ChbTopRight_Click},
        {ChbRandomize, &SetupPage::ChbRandomize_Click},
    };
    for (const auto& [option, handler] : options) {
        connect(option, &QRadioButton::toggled, this, [this, h = handler](bool selected) {
            if (selected) {
                (this->*h)();
            }
        });
    }
    connect(PbColor, &QAbstractButton::clicked, this, [this] { PbColor_Click(); });
    connect(PBFont, &QAbstractButton::clicked, this, [this] { PBFont_Click(); });
    connect(PbViewScript, &QAbstractButton::pressed, this, [this] { PbViewScript_MouseDown(); });
    connect(LstBoxViewScript, &QAbstractItemView::clicked, this,
            [this] { LstBoxViewScript->setVisible(true); });
}

CategoryList SetupPage::Categories() const {
    CategoryList out;
    for (int i = 0; i < ClbCategories->count(); ++i) {
        const QListWidgetItem* item = ClbCategories->item(i);
        const QByteArray bytes = item->data(kNameRole).toByteArray();
        out.push_back({bytes.isNull() ? item->text().toStdString() : bytes.toStdString(),
                       item->checkState() == Qt::Checked});
    }
    return out;
}

void SetupPage::AddCategory(const CategoryEntry& entry) {
    auto* item = new QListWidgetItem(DisplayText(entry.name));
    item->setData(kNameRole, QByteArray::fromStdString(entry.name));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(entry.ticked ? Qt::Checked : Qt::Unchecked);
    ClbCategories->addItem(item);
}

void SetupPage::AppendCategory(const std::string& name) {
    const QSignalBlocker block(ClbCategories);
    AddCategory({name, false});
}

void SetupPage::RemoveCategory(int row) {
    const QSignalBlocker block(ClbCategories);
    delete ClbCategories->takeItem(row);
    // The highlight does not pass on to a neighbour: View Script lists nothing until the user
    // highlights an entry again.
    ClbCategories->setCurrentItem(nullptr);
    ClbCategories->clearSelection();
}

QListWidgetItem* SetupPage::Highlighted() const {
    const QList<QListWidgetItem*> selected = ClbCategories->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void SetupPage::Recount() {
    LblNumMess->setText(QString::number(CountIncludedMessages(ctx_.AppFolder(), Categories())));
}

void SetupPage::Message(const QString& text) {
    ctx_.Dialogs().MsgBox(text, platform::MsgBoxStyle::OkOnly, RunControl::Title());
}

void SetupPage::ClbCategories_Click() {
    if (!ctx_.ListsReady()) {
        return;
    }
    Recount();
    try {
        WriteSelectedPrograms(ctx_.AppFolder(), Categories(), true);
    } catch (const std::exception& e) {
        Message(QString::fromLocal8Bit(e.what()));
    }
}

void SetupPage::Check1_Click() {
    SetAutoStart(ctx_.AppFolder(), *Check1, Categories(), ctx_.Dialogs(), ctx_.RunFolder());
}

void SetupPage::TxtMessageDuration_LostFocus() {
    ctx_.CommitDuration();
}

void SetupPage::txtTimeBetweenMessages_LostFocus() {
    ctx_.CommitInterval();
}

void SetupPage::PbDfSecUp_Click() {
    if (const auto v = NumericValue(TxtMessageDuration->text()); v && *v < 999) {
        TxtMessageDuration->setText(NumberText(*v + 1));
    }
}

void SetupPage::PbDfSecDown_Click() {
    if (const auto v = NumericValue(TxtMessageDuration->text()); v && *v > 1) {
        TxtMessageDuration->setText(NumberText(*v - 1));
    }
}

void SetupPage::PbDiEvSecUp_Click() {
    if (const auto v = NumericValue(txtTimeBetweenMessages->text())) {
        txtTimeBetweenMessages->setText(*v < 65 ? NumberText(*v + 1) : QStringLiteral("1"));
    }
}

void SetupPage::PbDiEvSecDown_Click() {
    if (const auto v = NumericValue(txtTimeBetweenMessages->text()); v && *v > 1) {
        txtTimeBetweenMessages->setText(NumberText(*v - 1));
    }
}

void SetupPage::PbViewScript_MouseDown() {
    auto* script = static_cast<MessageListModel*>(LstBoxViewScript->model());
    script->Clear();
    try {
        const QListWidgetItem* highlighted = Highlighted();
        if (highlighted) {
            const std::string name = highlighted->data(kNameRole).toByteArray().toStdString();
            const std::filesystem::path path = CategoryFilePath(ctx_.AppFolder(), name);
            if (FileExists(path)) {
                script->Load(ReadFileBytes(path));  // its included lines, one offset each
            }
        }
    } catch (const std::exception& e) {
        Message(QString::fromLocal8Bit(e.what()));
    }
    LstBoxViewScript->setVisible(script->RowCount() > 0);
    LstBoxViewScript->raise();
}

bool SetupPage::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::FocusOut: {
            // Focus going to another window (a message box, another program) is not the box
            // losing it to another control of the panel.
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) {
                break;
            }
            if (watched == TxtMessageDuration) {
                TxtMessageDuration_LostFocus();
            } else if (watched == txtTimeBetweenMessages) {
                txtTimeBetweenMessages_LostFocus();
            }
            break;
        }
        case QEvent::MouseMove:
            if (watched == LstBoxViewScript->viewport()) {
                LstBoxViewScript->setVisible(true);
            }
            break;
        case QEvent::MouseButtonPress:
            if (watched == LstBoxViewScript->viewport()) {
                LstBoxViewScript->setVisible(true);
            }
            break;
        default:
            break;
    }
    return QFrame::eventFilter(watched, event);
}

}  // namespace kestrane
