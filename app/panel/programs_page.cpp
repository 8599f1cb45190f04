#include "app/panel/programs_page.h"

#include "app/flash/numbers.h"
#include "app/flash/run_control.h"
#include "app/panel/category_manager.h"
#include "app/panel/list_clicks.h"
#include "app/panel/message_editor.h"
#include "app/panel/message_list_model.h"
#include "app/panel/picture_button.h"
#include "app/panel/twips.h"
#include "app/store/store_error.h"
#include "app/store/text_file.h"
#include "platform/codepage/codepage.h"

#include <QEvent>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
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

    ClbMessages = new QListView(this);
    ClbMessages->setObjectName(QStringLiteral("ClbMessages"));
    messageModel_ = new MessageListModel(ClbMessages);
    ClbMessages->setModel(messageModel_);
    // Every row is one line of text: the view then lays out a million rows at once.
    ClbMessages->setUniformItemSizes(true);
    ClbMessages->setSelectionMode(QAbstractItemView::SingleSelection);
    ClbMessages->setEditTriggers(QAbstractItemView::NoEditTriggers);
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
    connect(messageModel_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& changed, const QModelIndex&, const QList<int>& roles) {
                if (!roles.contains(Qt::CheckStateRole)) {
                    return;  // texts changed by an update, not a check mark
                }
                // The user changes a check mark on the row under the mouse or the current one;
                // the changed row is the current one from now on.
                if (Live && changed.row() != CurrentMessageRow()) {
                    const QSignalBlocker block(ClbMessages->selectionModel());
                    ClbMessages->selectionModel()->setCurrentIndex(
                        changed, QItemSelectionModel::ClearAndSelect);
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
        // The file's bytes become the model: one offset per message, nothing copied per line.
        messageModel_->Load(ReadFileBytes(CategoryFilePath(appFolder_, *name)));
    } catch (const StoreError& e) {
        Report(e.description());
    }
}

void ProgramsPage::AfterListChange() {
    ClearCurrentMessage();
    ClbMessages->scrollToTop();  // as the list shows after a fresh load
    if (const auto name = SelectedCategoryName()) {
        TxtCategory->setText(DisplayText(*name));
    }
    Live = true;
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
    for (size_t i = 0; i < messageModel_->Count(); ++i) {
        out.push_back({std::string(messageModel_->Text(i)), messageModel_->Included(i)});
    }
    return out;
}

int ProgramsPage::MessageCount() const {
    return messageModel_->RowCount();
}

bool ProgramsPage::MessageChecked(int row) const {
    return messageModel_->Checked(row);
}

std::string ProgramsPage::MessageBytes(int row) const {
    return std::string(messageModel_->Text(static_cast<size_t>(row)));
}

void ProgramsPage::SetMessageChecked(int row, bool checked) {
    messageModel_->setData(messageModel_->index(row), checked ? Qt::Checked : Qt::Unchecked,
                           Qt::CheckStateRole);
}

int ProgramsPage::CurrentMessageRow() const {
    const QModelIndex current = ClbMessages->currentIndex();
    return current.isValid() && ClbMessages->selectionModel()->isSelected(current) ? current.row()
                                                                                   : -1;
}

void ProgramsPage::ClearCurrentMessage() {
    // Without a current item the click behaviour does nothing, so this needs no guard.
    ClbMessages->selectionModel()->clear();
}

void ProgramsPage::AppendMessageItem(const std::string& text, bool checked) {
    messageModel_->Append(text, checked);  // complete before it joins the list: no change
}

std::string ProgramsPage::ItemBytes(const QListWidgetItem* item) {
    const QByteArray bytes = item->data(kBytesRole).toByteArray();
    return bytes.isNull() ? item->text().toStdString() : bytes.toStdString();
}

void ProgramsPage::ClearMessageList() {
    const QSignalBlocker block(ClbMessages->selectionModel());
    ClbMessages->selectionModel()->clear();
    messageModel_->Clear();
}

std::string ProgramsPage::MessageBytesFor(const QString& text) const {
    const int current = CurrentMessageRow();
    if (current >= 0) {
        const std::string bytes = MessageBytes(current);
        if (DisplayText(bytes) == text) {
            return bytes;
        }
    }
    // A listed text shows as the box does when its bytes are the box's text in UTF-8, or when
    // they are no UTF-8 and their Windows-1252 reading is the box's text: compared as bytes,
    // the first listed one wins.
    const std::string utf8 = text.toUtf8().toStdString();
    std::optional<std::string> cp1252 = platform::codepage::EncodeWindows1252(text);
    if (cp1252 && (*cp1252 == utf8 || platform::codepage::IsValidUtf8(*cp1252))) {
        cp1252.reset();
    }
    for (size_t i = 0; cp1252 && i < messageModel_->Count(); ++i) {
        const std::string_view listed = messageModel_->Text(i);
        if (listed == utf8) {
            break;
        }
        if (listed == *cp1252) {
            return *cp1252;
        }
    }
    return utf8;
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
