// The Setup tab's page (PanelOptions): the category check list with its count, the autostart
// box, the two timing boxes with their spin pictures, the four position options with the
// choice of screen, the View Script pop-up, the Color and Font pictures, the Test picture and
// the preview label. The control labels are painted on the page's background picture Image1.
//
// Every change is written at once: options through the panel's SaveOptions, ticks to the
// selection file, the autostart box to the flag file and the Run value. Changing a tick, an
// option or the autostart box from code runs the same handler as a user's click.
#pragma once

#include "app/panel/fitted_indicator.h"
#include "app/panel/panel_context.h"
#include "app/store/autostart.h"
#include "app/store/category_entry.h"

#include <QFrame>

class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QListWidgetItem;
class QRadioButton;

namespace kestrane {

class PictureButton;
class QuietChoicesBox;
class ScreenChoiceBox;

// The item data under which both category lists keep a category's name as the bytes the
// selection file holds (the text shown may be decoded differently).
inline constexpr int kCategoryNameRole = Qt::UserRole + 1;

// The autostart box: changing it, by the user or from code, runs Check1_Click.
class AutoStartBox : public FittedCheckBox, public AutoStartCheckBox {
    Q_OBJECT
  public:
    using FittedCheckBox::FittedCheckBox;
    bool IsTicked() const override { return isChecked(); }
    void SetTicked(bool ticked) override { setChecked(ticked); }
};

class SetupPage : public QFrame, public CategoryCatalogue {
    Q_OBJECT
  public:
    // The page reads and writes through the window's shared state, dialogs and run control.
    SetupPage(PanelContext& context, QWidget* parent);

    // The background picture with the control labels; moving over it closes the View Script
    // pop-up and the help panel (HelpPanels).
    QLabel* Image1 = nullptr;
    QListWidget* ClbCategories = nullptr;
    QLabel* LblNumMess = nullptr;
    QLineEdit* TxtMessageDuration = nullptr;      // typing: at most 3 digits (TimingBox)
    QLineEdit* txtTimeBetweenMessages = nullptr;  // typing: at most 2 digits (TimingBox)
    PictureButton* PbDfSecUp = nullptr;
    PictureButton* PbDfSecDown = nullptr;
    PictureButton* PbDiEvSecUp = nullptr;
    PictureButton* PbDiEvSecDown = nullptr;
    QRadioButton* ChbCenter = nullptr;
    QRadioButton* ChbTopLeft = nullptr;
    QRadioButton* ChbTopRight = nullptr;
    QRadioButton* ChbRandomize = nullptr;
    ScreenChoiceBox* CboScreen = nullptr;  // which screen: beside the positions' heading
    PictureButton* PbViewScript = nullptr;
    PictureButton* PbColor = nullptr;
    PictureButton* PBFont = nullptr;
    QListView* LstBoxViewScript = nullptr;  // over the file's included lines
    AutoStartBox* Check1 = nullptr;
    QuietChoicesBox* FrmQuiet = nullptr;  // when to stay quiet: its button in the Timing box
    PictureButton* PbTest = nullptr;
    QLabel* LblWhiteTemp = nullptr;  // opaque box in the system's title-bar text colour
    QLabel* LblWhite = nullptr;      // the preview label on it

    // The list's entries in order with their ticks; the names are the bytes the selection
    // file holds, whatever the list displays.
    CategoryList Categories() const override;
    // Appends an entry. Adding an entry runs no click behaviour; its tick is set before the
    // entry joins the list.
    void AddCategory(const CategoryEntry& entry);
    // The Programs tab's changes: an unticked entry at the end, an entry removed.
    void AppendCategory(const std::string& name) override;
    void RemoveCategory(int row) override;
    // The entry the user highlighted (selected), or null: none until the user highlights one,
    // and none after the highlighted entry was removed.
    QListWidgetItem* Highlighted() const;

    // LblNumMess := the number of included messages of the ticked categories.
    void Recount();

    // Handlers, named as the forms name them.
    void ClbCategories_Click();
    void Check1_Click();
    void TxtMessageDuration_LostFocus();
    void txtTimeBetweenMessages_LostFocus();
    void PbDfSecUp_Click();
    void PbDfSecDown_Click();
    void PbDiEvSecUp_Click();
    void PbDiEvSecDown_Click();
    void ChbCenter_Click();
    void ChbTopLeft_Click();
    void ChbTopRight_Click();
    void ChbRandomize_Click();
    void PbColor_Click();
    void PBFont_Click();
    void PbViewScript_MouseDown();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void SetPosition(const char* word);
    void Message(const QString& text);

    PanelContext& ctx_;
};

}  // namespace kestrane
