#include "app/panel/category_manager.h"

#include "app/panel/programs_page.h"
#include "app/store/catalogue.h"
#include "app/store/store_error.h"
#include "app/store/text_file.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>

namespace kestrane {

const QString CategoryManager::kDeleteQuestion = QStringLiteral(
    "Are you sure you wish to delete this Veltrane Program? Once deleted, you will not be able "
    "to recover it");
const QString CategoryManager::kSelectTextFile = QStringLiteral("Select Text File");

namespace {

bool OnlySpaces(const QString& text) {
    for (const QChar c : text) {
        if (c != QLatin1Char(' ')) {
            return false;
        }
    }
    return true;
}

}  // namespace

void CategoryManager::LstBoxCategories_Click() {
    if (page_.SelectedCategoryRow() < 0) {
        return;
    }
    page_.ApplyCategorySelectedSet();
    page_.CreateMode = ButtonMode::Reset;
    page_.MessageMode = ButtonMode::Add;
    page_.TxtCategory->setFocus();
    page_.LoadMessageList();
    page_.Live = true;
    page_.ClearCurrentMessage();
    page_.TxtMessage->clear();
}

void CategoryManager::Pbcadd_Click() {
    if (page_.CreateMode == ButtonMode::Reset) {
        page_.TxtCategory->clear();
        page_.ClearCategorySelection();
        page_.ClearMessageList();
        page_.TxtMessage->clear();
        page_.ApplyResetSet();
        page_.TxtCategory->setFocus();
        page_.CreateMode = ButtonMode::Add;
        return;
    }

    const QString typed = page_.TxtCategory->text();
    if (OnlySpaces(typed)) {
        return;
    }
    // The name is used exactly as typed, surrounding spaces included.
    const std::string name = typed.toUtf8().toStdString();
    try {
        // The file, then its line in the selection file; a line that cannot be written takes
        // the file away again, so the name stays free.
        CreateCategory(page_.AppFolder(), page_.Catalogue(), name);
    } catch (const StoreError& e) {
        page_.Report(e.description());
        return;
    }
    page_.AppendCategory(name);
    page_.TxtCategory->clear();
}

void CategoryManager::PbRename_Click() {
    const QString typed = page_.TxtCategory->text();
    if (typed.isEmpty()) {
        return;
    }
    const int row = page_.SelectedCategoryRow();
    if (row < 0) {
        // Nothing selected (right after a Rename or Delete): nothing is renamed, and the user
        // is told so.
        page_.Report(ProgramsPage::kNoCategory);
        return;
    }
    const std::string oldName = *page_.SelectedCategoryName();
    if (!page_.CategoryFileExists(oldName)) {
        return;  // nothing to carry over: the category stays as it is
    }
    const std::string newName = ProgramsPage::BytesFor(typed, {oldName});
    try {
        // The new file, then the selection file, then the old file goes; a step that fails is
        // reported and the steps before it undone, so the category stays whole under its old
        // name.
        RenameCategory(page_.AppFolder(), page_.Catalogue(), static_cast<size_t>(row), newName);
    } catch (const StoreError& e) {
        page_.Report(e.description());
        return;
    }
    page_.RemoveCategory(row);
    page_.AppendCategory(newName);
    page_.TxtCategory->clear();
    page_.ClearMessageList();
}

void CategoryManager::PbcDelete_Click() {
    if (page_.TxtCategory->text().isEmpty()) {
        return;
    }
    if (!page_.Confirm(kDeleteQuestion)) {
        return;
    }
    const int row = page_.SelectedCategoryRow();
    if (row < 0) {
        // Nothing selected (right after a Rename or Delete): the question was asked, but
        // nothing is deleted, and the user is told so.
        page_.Report(ProgramsPage::kNoCategory);
        return;
    }
    const std::string name = *page_.SelectedCategoryName();
    if (!page_.CategoryFileExists(name)) {
        return;
    }
    try {
        // The selection file, then the file; a file that cannot go (read-only) or a selection
        // file that cannot be written keeps the category listed and whole.
        DeleteCategory(page_.AppFolder(), page_.Catalogue(), static_cast<size_t>(row));
    } catch (const StoreError& e) {
        page_.Report(e.description());
        return;
    }
    page_.TxtCategory->clear();
    page_.RemoveCategory(row);
    page_.ClearMessageList();
}

void CategoryManager::PbImport_Click() {
    // A cancelled dialog is nothing chosen, whatever was chosen the time before.
    dialog_.fileName.clear();
    dialog_.fileTitle.clear();
    page_.Dialogs().ShowOpen(dialog_);
    if (dialog_.fileTitle.isEmpty()) {
        return;
    }
    const QByteArray title = QFile::encodeName(dialog_.fileTitle);
    const QList<QByteArray> parts = title.split('.');
    if (parts.size() < 2 || parts[1] != "txt") {
        page_.Report(kSelectTextFile);
        return;
    }
    const std::filesystem::path source(QFile::encodeName(dialog_.fileName).toStdString());
    if (!FileExists(source)) {
        return;
    }
    std::string name;
    try {
        // Like Create: without its line in the selection file the new file goes again.
        name = ImportCategory(page_.AppFolder(), page_.Catalogue(), source, title.toStdString());
    } catch (const StoreError& e) {
        page_.Report(e.description());  // refused, unreadable or not written: nothing changed
        return;
    }
    page_.AppendCategory(name);
}

}  // namespace kestrane
