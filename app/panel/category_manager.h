// The upper half of the Programs tab: picking, creating, importing, renaming and deleting
// categories ("programs" on screen). Every operation keeps the category files, both category
// lists and the selection file in step; a name that would destroy or duplicate a category, or
// that cannot be a category name, is refused with a message before anything changes.
#pragma once

#include "platform/dialogs/dialogs.h"

#include <QString>

namespace kestrane {

class ProgramsPage;

class CategoryManager {
  public:
    explicit CategoryManager(ProgramsPage& page) : page_(page) {}

    // A click or move in the category list: selected mode and the category's messages.
    void LstBoxCategories_Click();
    // Create (mode Add) or back to create mode (mode Reset).
    void Pbcadd_Click();
    // Gives the selected category the name in the name box; it moves to the end, unticked.
    void PbRename_Click();
    // Deletes the selected category after the user confirms.
    void PbcDelete_Click();
    // Makes a category from a plain text file chosen in the open-file dialog.
    void PbImport_Click();

    static const QString kDeleteQuestion;
    static const QString kSelectTextFile;

  private:
    ProgramsPage& page_;
    platform::CommonDialogState dialog_;  // the open-file dialog's settings between uses
};

}  // namespace kestrane
