#include "app/panel/programs_page.h"

#include "app/flash/numbers.h"
#include "app/flash/run_control.h"
#include "app/panel/category_manager.h"
#include "app/panel/message_editor.h"
#include "app/panel/picture_button.h"
#include "app/panel/twips.h"
#include "app/store/store_error.h"
#include "app/store/text_file.h"

#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QSignalBlocker>

#include <functional>

namespace kestrane {

namespace {

// Where an item keeps the bytes of its name or text (the Setup list uses the same role).
constexpr int kBytesRole = Qt::UserRole + 1;

// The page's geometry in pixels, inside the two boxes of its background picture: the category
// box spans x 6..262, the message box x 270..534; both have their title at the top.
constexpr int kTop = 30;         // name and message boxes
constexpr int kButtonsTop = 58;  // the row of four pictures
constexpr int kListTop = 86;     // the lists
constexpr int kButtonWidth = 55;
constexpr int kButtonHeight = 21;

QListWidgetItem* NewItem(const std::string& bytes) {
    auto* item = new QListWidgetItem(DisplayText(bytes));
    item->setData(kBytesRole, QByteArray::fromStdString(bytes));
    return item;
}

void PlaceButtons(int left, int width, std::initializer_list<PictureButton*> buttons) {
    const int n = static_cast<int>(buttons.size());
    const int gap = (width - n * kButtonWidth) / (n - 1);
    int x = left;
    for (PictureButton* b : buttons) {
        b->setGeometry(x, kButtonsTop, kButtonWidth, kButtonHeight);
        x += kButtonWidth + gap;
    }
}

// Runs `click` once for every click or keyboard move in a list, as a list's click event does:
// when the selection changes (a press on another item, a key), and when a click changes no
// selection (a click on the selected item again). A press that selects an item is one click,
// not two.
class ListClicks : public QObject {
  public:
    ListClicks(QListWidget* list, std::function<void()> click)
        : QObject(list), click_(std::move(click)) {
        list->viewport()->installEventFilter(this);
        connect(list, &QListWidget::itemSelectionChanged, this, [this] {
            selectionChanged_ = true;
            click_();
        });
        connect(list, &QListWidget::itemClicked, this, [this] {
            if (!selectionChanged_) {
                click_();
            }
        });
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            selectionChanged_ = false;  // this press has changed nothing yet
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> click_;
    bool selectionChanged_ = false;
};

void OnListClick(QListWidget* list, std::function<void()> click) {
    new ListClicks(list, std::move(click));
}

}  // namespace

const QString ProgramsPage::kNoCategory = QStringLiteral("No Veltrane Program is selected.");

ProgramsPage::ProgramsPage(QWidget* parent, std::filesystem::path appFolder,
                           platform::Dialogs& dialogs, CategoryCatalogue& catalogue)
    : QFrame(parent), appFolder_(std::move(appFolder)), dialogs_(dialogs), catalogue_(catalogue) {
    setObjectName(QStringLiteral("PanelEditMessage"));

    LstBoxCategories = new QListWidget(this);
    LstBoxCategories->setObjectName(QStringLiteral("LstBoxCategories"));
    TxtCategory = new QLineEdit(this);
    TxtCategory->setObjectName(QStringLiteral("TxtCategory"));
    Pbcadd = new PictureButton(QStringLiteral("Pbcadd"), tr("Create"), this);
    PbRename = new PictureButton(QStringLiteral("PbRename"), tr("Rename"), this);
    PbcDelete = new PictureButton(QStringLiteral("PbcDelete"), tr("Delete"), this);
    PbImport = new PictureButton(QStringLiteral("PbImport"), tr("Import"), this);

    ClbMessages = new QListWidget(this);
    ClbMessages->setObjectName(QStringLiteral("ClbMessages"));
    TxtMessage = new QLineEdit(this);
    TxtMessage->setObjectName(QStringLiteral("TxtMessage"));
    PbMadd = new PictureButton(QStringLiteral("PbMadd"), tr("Add"), this);
    PbMEdit = new PictureButton(QStringLiteral("PbMEdit"), tr("Update"), this);
    PbMdelete = new PictureButton(QStringLiteral("PbMdelete"), tr("Delete"), this);
    PbExclude = new PictureButton(QStringLiteral("PbExclude"), tr("Exclude"), this);

    disabledPictures_ = {
        {PbRename, QStringLiteral("\\images\\renamebut_disable.gif")},
        {PbcDelete, QStringLiteral("\\images\\deletebut_disable.gif")},
        {PbMadd, QStringLiteral("\\images\\addbut_disable.gif")},
        {PbMEdit, QStringLiteral("\\images\\updatebut_disable.jpg")},
        {PbMdelete, QStringLiteral("\\images\\deletebut_disable.gif")},
        {PbExclude, QStringLiteral("\\images\\excludebut_disable.gif")},
    };
    for (auto it = disabledPictures_.cbegin(); it != disabledPictures_.cend(); ++it) {
        it.key()->SetDisabledWash(false);  // the disabled picture is drawn as it is
    }

    categories_ = std::make_unique<CategoryManager>(*this);
    messages_ = std::make_unique<MessageEditor>(*this);
    Layout();
    Connect();
    ApplyCreateModeSet();
}

ProgramsPage::~ProgramsPage() = default;

void ProgramsPage::Layout() {
    // Both lists are 3210 twips high, as start-up sets them.
    const int listHeight = TwipsToPixels(3210);

    TxtCategory->setGeometry(14, kTop, 240, 22);
    PlaceButtons(14, 240, {Pbcadd, PbRename, PbcDelete, PbImport});
    LstBoxCategories->setGeometry(14, kListTop, 240, listHeight);

    TxtMessage->setGeometry(278, kTop, 248, 22);
    PlaceButtons(278, 248, {PbMadd, PbMEdit, PbMdelete, PbExclude});
    ClbMessages->setGeometry(278, kListTop, 248, listHeight);

    // Tab goes down the left column, then down the right one: each box before its list.
    setTabOrder(TxtCategory, LstBoxCategories);
    setTabOrder(LstBoxCategories, TxtMessage);
    setTabOrder(TxtMessage, ClbMessages);
}

void ProgramsPage::Connect() {
    OnListClick(LstBoxCategories, [this] { categories_->LstBoxCategories_Click(); });
    connect(Pbcadd, &QAbstractButton::clicked, this, [this] { categories_->Pbcadd_Click(); });
    connect(PbRename, &QAbstractButton::clicked, this, [this] { categories_->PbRename_Click(); });
    connect(PbcDelete, &QAbstractButton::clicked, this, [this] { categories_->PbcDelete_Click(); });
    connect(PbImport, &QAbstractButton::clicked, this, [this] { categories_->PbImport_Click(); });

    // The message list's click behaviour runs for a click, a keyboard move and every change of
    // a check mark.
    OnListClick(ClbMessages, [this] { messages_->ClbMessages_Click(); });
    connect(ClbMessages, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        // The user changes a check mark on the item under the mouse or the current one; the
        // changed item is the current one from now on.
        if (Live && item != CurrentMessage()) {
            const QSignalBlocker block(ClbMessages);
            ClbMessages->setCurrentItem(item);
        }
        messages_->ClbMessages_Click();
    });
    connect(PbMadd, &QAbstractButton::clicked, this, [this] { messages_->PbMadd_Click(); });
    connect(PbMEdit, &QAbstractButton::clicked, this, [this] { messages_->PbMEdit_Click(); });
    connect(PbMdelete, &QAbstractButton::clicked, this, [this] { messages_->PbMdelete_Click(); });
    connect(PbExclude, &QAbstractButton::clicked, this, [this] { messages_->PbExclude_Click(); });
}

void ProgramsPage::paintEvent(QPaintEvent* event) {
    // The picture is loaded when the page is first painted: it is not shown at start-up.
    // Without it the page keeps its plain colour.
    if (!backgroundLoaded_) {
        background_ = LoadAppPicture(appFolder_, QStringLiteral("\\images\\programsback.jpg"));
        backgroundLoaded_ = true;
    }
    if (background_.isNull()) {
        QFrame::paintEvent(event);
        return;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawPixmap(0, 0, background_);
}

void ProgramsPage::TabShown() {
    ApplyCreateModeSet();
}

void ProgramsPage::ClearCategoryList() {
    const QSignalBlocker block(LstBoxCategories);
    LstBoxCategories->clear();
}

void ProgramsPage::AddCategoryName(const std::string& name) {
    const QSignalBlocker block(LstBoxCategories);
    LstBoxCategories->addItem(NewItem(name));
}

void ProgramsPage::SetButton(PictureButton* button, bool enabled, const QString& picture) {
    button->setEnabled(enabled);
    const QString suffix = enabled ? picture : disabledPictures_.value(button);
    if (!suffix.isEmpty()) {
        button->LoadPicture(appFolder_, suffix, button->text());
    }
}

void ProgramsPage::ApplyCreateModeSet() {
    ApplyResetSet();
    SetButton(PbImport, true, QStringLiteral("\\images\\importbut.jpg"));
}

void ProgramsPage::ApplyResetSet() {
    SetButton(Pbcadd, true, QStringLiteral("\\images\\createbut.gif"));
    for (PictureButton* b : {PbRename, PbcDelete, PbMadd, PbMEdit, PbMdelete, PbExclude}) {
        SetButton(b, false);
    }
}

void ProgramsPage::ApplyCategorySelectedSet() {
    SetButton(Pbcadd, true, QStringLiteral("\\images\\resetbut.gif"));
    SetButton(PbRename, true, QStringLiteral("\\images\\renamebut.gif"));
    SetButton(PbcDelete, true, QStringLiteral("\\images\\deletebut.jpg"));
    SetButton(PbMadd, true, QStringLiteral("\\images\\addbut.gif"));
    SetButton(PbMEdit, false);
    SetButton(PbMdelete, false);
    SetButton(PbExclude, false);
}

void ProgramsPage::LoadMessageList() {
    Live = false;
    ClearMessageList();
    const auto name = SelectedCategoryName();
    if (!name) {
        return;
    }
    TxtCategory->setText(DisplayText(*name));
    try {
        if (!CategoryFileExists(*name)) {
            return;
        }
        for (const Message& m : LoadMessages(appFolder_, *name)) {
            AppendMessageItem(m.text, m.included);
        }
    } catch (const StoreError& e) {
        Report(e.description());
    }
}

int ProgramsPage::SelectedCategoryRow() const {
    const QList<QListWidgetItem*> selected = LstBoxCategories->selectedItems();
    return selected.isEmpty() ? -1 : LstBoxCategories->row(selected.first());
}

std::optional<std::string> ProgramsPage::SelectedCategoryName() const {
    const int row = SelectedCategoryRow();
    if (row < 0) {
        return std::nullopt;
    }
    return ItemBytes(LstBoxCategories->item(row));
}

CategoryList ProgramsPage::Catalogue() const {
    return catalogue_.Categories();
}

bool ProgramsPage::CategoryFileExists(const std::string& name) const {
    try {
        return FileExists(CategoryFilePath(appFolder_, name));
    } catch (const StoreError&) {
        return false;
    }
}

void ProgramsPage::AppendCategory(const std::string& name) {
    catalogue_.AppendCategory(name);
    AddCategoryName(name);
}

void ProgramsPage::RemoveCategory(int row) {
    catalogue_.RemoveCategory(row);
    const QSignalBlocker block(LstBoxCategories);
    delete LstBoxCategories->takeItem(row);
    LstBoxCategories->setCurrentItem(nullptr);
    LstBoxCategories->clearSelection();
}

void ProgramsPage::ClearCategorySelection() {
    const QSignalBlocker block(LstBoxCategories);
    LstBoxCategories->setCurrentItem(nullptr);
    LstBoxCategories->clearSelection();
}

MessageList ProgramsPage::MessageItems() const {
    MessageList out;
    for (int i = 0; i < ClbMessages->count(); ++i) {
        const QListWidgetItem* item = ClbMessages->item(i);
        out.push_back({ItemBytes(item), item->checkState() == Qt::Checked});
    }
    return out;
}

QListWidgetItem* ProgramsPage::CurrentMessage() const {
    QListWidgetItem* item = ClbMessages->currentItem();
    return item && item->isSelected() ? item : nullptr;
}

void ProgramsPage::ClearCurrentMessage() {
    // Without a current item the click behaviour does nothing, so this needs no guard.
    ClbMessages->setCurrentItem(nullptr);
    ClbMessages->clearSelection();
}

void ProgramsPage::AppendMessageItem(const std::string& text, bool checked) {
    QListWidgetItem* item = NewItem(text);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    ClbMessages->addItem(item);  // complete before it joins the list: no itemChanged
}

std::string ProgramsPage::ItemBytes(const QListWidgetItem* item) {
    const QByteArray bytes = item->data(kBytesRole).toByteArray();
    return bytes.isNull() ? item->text().toStdString() : bytes.toStdString();
}

void ProgramsPage::ClearMessageList() {
    const QSignalBlocker block(ClbMessages);
    ClbMessages->clear();
}

std::string ProgramsPage::BytesFor(const QString& text, const std::vector<std::string>& known) {
    for (const std::string& bytes : known) {
        if (DisplayText(bytes) == text) {
            return bytes;
        }
    }
    return text.toUtf8().toStdString();
}

void ProgramsPage::Report(const QString& text) {
    dialogs_.MsgBox(text, platform::MsgBoxStyle::OkOnly, RunControl::Title());
}

void ProgramsPage::Report(const std::string& bytes) {
    Report(DisplayText(bytes));
}

bool ProgramsPage::Confirm(const QString& text) {
    return dialogs_.MsgBox(text, platform::MsgBoxStyle::OkCancel, RunControl::Title()) ==
           platform::MsgBoxResult::Ok;
}

}  // namespace kestrane
