// The Programs tab's page (PanelEditMessage): the category list with its name box and the
// Create/Reset, Rename, Delete and Import pictures above, the message list with its message box
// and the Add/Reset, Update, Delete and Exclude pictures below. The page holds the controls, the
// tab's state (the two button modes and the live flag) and what both halves share: the picture
// sets, the load of the message list, the bytes behind every listed name and text, and keeping
// the Setup tab's category list in step with its own.
//
// Names and texts are bytes as the files hold them. The lists show them decoded for display and
// keep the original bytes with each item, so a name or text goes back to the files unchanged;
// text the user types is written as UTF-8. The message list is a view over a model of the
// category file's lines (MessageListModel), so that a category of any size shows at once.
#pragma once

#include "app/panel/panel_context.h"
#include "app/store/category_entry.h"
#include "app/store/category_file.h"
#include "platform/dialogs/dialogs.h"

#include <QFrame>
#include <QHash>
#include <QPixmap>
#include <QString>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAbstractItemView;
class QLineEdit;
class QListView;
class QListWidget;
class QListWidgetItem;

namespace kestrane {

class CategoryManager;
class MessageEditor;
class MessageListModel;
class PictureButton;

// The mode of a picture that doubles as Reset: Add creates or appends on the next click, Reset
// returns to the state without a selection. None before the button is first used.
enum class ButtonMode { None, Add, Reset };

class ProgramsPage : public QFrame {
    Q_OBJECT
  public:
    // The page works on the category files under appFolder, asks and reports through dialogs
    // and keeps the Setup tab's category list (catalogue) in step with its own.
    ProgramsPage(QWidget* parent, std::filesystem::path appFolder, platform::Dialogs& dialogs,
                 CategoryCatalogue& catalogue);
    ~ProgramsPage() override;

    // Controls, named as the forms name them.
    QListWidget* LstBoxCategories = nullptr;
    QLineEdit* TxtCategory = nullptr;
    PictureButton* Pbcadd = nullptr;
    PictureButton* PbRename = nullptr;
    PictureButton* PbcDelete = nullptr;
    PictureButton* PbImport = nullptr;
    QListView* ClbMessages = nullptr;
    QLineEdit* TxtMessage = nullptr;
    PictureButton* PbMadd = nullptr;
    PictureButton* PbMEdit = nullptr;
    PictureButton* PbMdelete = nullptr;
    PictureButton* PbExclude = nullptr;

    // The tab's state.
    ButtonMode CreateMode = ButtonMode::Add;    // mode of Pbcadd
    ButtonMode MessageMode = ButtonMode::None;  // mode of PbMadd
    bool Live = false;  // while off, the message list's click behaviour does nothing

    CategoryManager& Categories() { return *categories_; }
    MessageEditor& Messages() { return *messages_; }

    // Called whenever the tab is shown: the create-mode pictures; modes, selection and boxes
    // stay as they are.
    void TabShown();

    // Start-up's fill of this page's category list (the Setup list is filled by its own page).
    void ClearCategoryList();
    void AddCategoryName(const std::string& name);

    // --- Shared by both halves of the tab --------------------------------------------------

    const std::filesystem::path& AppFolder() const { return appFolder_; }
    platform::Dialogs& Dialogs() { return dialogs_; }

    // Enables or disables a picture button; an enabled one shows `picture`, a disabled one its
    // disabled picture.
    void SetButton(PictureButton* button, bool enabled, const QString& picture = QString());

    // The picture sets of the tab.
    void ApplyCreateModeSet();  // as on showing the tab
    void ApplyResetSet();       // back to create mode: Import keeps its state
    void ApplyCategorySelectedSet();

    // Fills the message list for the selected category and its name into the name box. Turns
    // the live flag off and leaves it off; every caller turns it on when the load is over. A
    // failure is reported; the items loaded so far stay.
    void LoadMessageList();
    // After Update or Delete changed the listed messages in place: the list as a fresh load
    // leaves it (no current message, the name in the name box), the live flag on.
    void AfterListChange();

    // The row selected in the category list, or -1.
    int SelectedCategoryRow() const;
    // The name (bytes) of the selected category, if one is selected.
    std::optional<std::string> SelectedCategoryName() const;
    // The catalogue as the Setup list holds it: names and ticks in list order.
    CategoryList Catalogue() const;
    // Whether the category's file exists (false for a name that cannot have one).
    bool CategoryFileExists(const std::string& name) const;

    // Appends a category to both lists, unticked; removes the row from both lists, leaving no
    // category selected. Neither runs the lists' click behaviour.
    void AppendCategory(const std::string& name);
    void RemoveCategory(int row);
    void ClearCategorySelection();

    // The message list's items (text bytes and check marks) in list order, as the file is
    // rewritten from them; MessageItems copies them (for a short list).
    const MessageListModel& MessageModel() const { return *messageModel_; }
    MessageListModel& MessageModel() { return *messageModel_; }
    MessageList MessageItems() const;
    int MessageCount() const;
    bool MessageChecked(int row) const;
    std::string MessageBytes(int row) const;
    // Sets a check mark from code; the list's check-mark behaviour runs as for the user's.
    void SetMessageChecked(int row, bool checked);
    // The current message: the row the user last clicked or moved to, or -1.
    int CurrentMessageRow() const;
    void ClearCurrentMessage();
    // Appends a message item with the given check mark; no click behaviour runs.
    void AppendMessageItem(const std::string& text, bool checked);
    static std::string ItemBytes(const QListWidgetItem* item);
    // Empties the message list; no click behaviour runs.
    void ClearMessageList();

    // The bytes to write for text in a box: those of a known name or text that shows exactly
    // as the box does (so an untouched text goes back as it was), else the text as UTF-8.
    static std::string BytesFor(const QString& text, const std::vector<std::string>& known);
    // The same for a message text typed in the message box, the current message and then the
    // listed ones being the known texts; found without decoding every message.
    std::string MessageBytesFor(const QString& text) const;

    // What Rename, Delete, Update and Delete of a message say when no category is selected.
    static const QString kNoCategory;

    // A message box with OK and the application's title.
    void Report(const QString& text);
    void Report(const std::string& bytes);
    // A question with OK and Cancel; true only for OK.
    bool Confirm(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void Layout();
    void Connect();

    std::filesystem::path appFolder_;
    platform::Dialogs& dialogs_;
    CategoryCatalogue& catalogue_;
    QPixmap background_;
    bool backgroundLoaded_ = false;
    QHash<PictureButton*, QString> disabledPictures_;
    MessageListModel* messageModel_ = nullptr;
    std::unique_ptr<CategoryManager> categories_;
    std::unique_ptr<MessageEditor> messages_;
};

}  // namespace kestrane
