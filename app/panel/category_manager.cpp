#include "app/panel/category_manager.h"

#include "app/panel/programs_page.h"
#include "app/store/category_file.h"
#include "app/store/selection_file.h"
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
        CreateCategoryFile(page_.AppFolder(), name, page_.Catalogue());
        if (page_.CategoryFileExists(name)) {
            page_.AppendCategory(name);
        }
        AppendSelectedProgram(page_.AppFolder(), name);
    } catch (const StoreError& e) {
        page_.Report(e.description());
        return;
    }
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
        CopyCategoryFile(page_.AppFolder(), oldName, newName, page_.Catalogue());
    } catch (const StoreError& e) {
        page_.Report(e.description());  // refused or failed: nothing has changed
        return;
    }
    page_.RemoveCategory(row);
    page_.AppendCategory(newName);
    page_.TxtCategory->clear();
    page_.ClearMessageList();
    try {
        WriteSelectedPrograms(page_.AppFolder(), page_.Catalogue(), /*create=*/false);
    } catch (const StoreError&) {
        // The category itself is renamed; a selection file that cannot be written is skipped.
    }
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
        DeleteCategoryFile(page_.AppFolder(), name);
    } catch (const StoreError& e) {
        // A file that stays (read-only) keeps its category listed.
        page_.Report(e.description());
        return;
    }
    page_.TxtCategory->clear();
    page_.RemoveCategory(row);
    page_.ClearMessageList();
    try {
        WriteSelectedPrograms(page_.AppFolder(), page_.Catalogue(), /*create=*/false);
    } catch (const StoreError&) {
        // Skipped like every failing step of Delete.
    }
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
        name = ImportPlainText(page_.AppFolder(), source, title.toStdString(), page_.Catalogue());
    } catch (const StoreError& e) {
        page_.Report(e.description());  // refused or unreadable: nothing has changed
        return;
    }
    try {
        AppendSelectedProgram(page_.AppFolder(), name);
    } catch (const StoreError&) {
        // Skipped; the category is listed all the same.
    }
    page_.AppendCategory(name);
}

}  // namespace kestrane
