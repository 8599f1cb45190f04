#include "app/panel/message_editor.h"

#include "app/flash/numbers.h"
#include "app/panel/programs_page.h"
#include "app/store/category_file.h"
#include "app/store/store_error.h"

#include <QLineEdit>
#include <QListWidget>

namespace kestrane {

const QString MessageEditor::kDeleteQuestion =
    QStringLiteral("Are you sure you wish to Delete this Message?");
const QString MessageEditor::kExcludeQuestion = QStringLiteral(
    "Are you sure you wish to exclude the message when running this particular Veltrane "
    "Program?");

namespace {

bool OnlySpaces(const QString& text) {
    for (const QChar c : text) {
        if (c != QLatin1Char(' ')) {
            return false;
        }
    }
    return true;
}

// The texts of the listed messages, the current one first: the bytes a typed text stands for
// when it shows exactly like one of them.
std::vector<std::string> KnownTexts(const ProgramsPage& page) {
    std::vector<std::string> known;
    if (const QListWidgetItem* current = page.CurrentMessage()) {
        known.push_back(ProgramsPage::ItemBytes(current));
    }
    for (const Message& m : page.MessageItems()) {
        known.push_back(m.text);
    }
    return known;
}

}  // namespace

void MessageEditor::ClbMessages_Click() {
    if (!page_.Live) {
        return;
    }
    QListWidgetItem* current = page_.CurrentMessage();
    if (!current) {
        return;
    }
    page_.SetButton(page_.PbMadd, true, QStringLiteral("\\images\\resetbut.gif"));
    page_.MessageMode = ButtonMode::Reset;
    page_.SetButton(page_.PbMEdit, true, QStringLiteral("\\images\\updatebut.jpg"));
    page_.SetButton(page_.PbMdelete, true, QStringLiteral("\\images\\deletebut.gif"));
    page_.SetButton(page_.PbExclude, current->checkState() == Qt::Checked,
                    QStringLiteral("\\images\\excludebut.gif"));
    page_.TxtMessage->setText(DisplayText(ProgramsPage::ItemBytes(current)));
    page_.TxtMessage->setFocus();
    if (const auto category = page_.SelectedCategoryName()) {
        WriteListToFile(*category);
    }
}

void MessageEditor::PbMadd_Click() {
    if (page_.MessageMode == ButtonMode::Reset) {
        page_.SetButton(page_.PbMadd, true, QStringLiteral("\\images\\addbut.gif"));
        page_.MessageMode = ButtonMode::Add;
        page_.SetButton(page_.PbExclude, false);
        page_.SetButton(page_.PbMEdit, false);
        page_.SetButton(page_.PbMdelete, false);
        page_.TxtMessage->clear();
        page_.ClearCurrentMessage();
        page_.TxtMessage->setFocus();
        return;
    }

    const QString typed = page_.TxtMessage->text();
    if (OnlySpaces(typed)) {
        return;
    }
    const auto category = page_.SelectedCategoryName();
    if (!category || !page_.CategoryFileExists(*category)) {
        return;
    }
    // The text is used exactly as typed, surrounding spaces included.
    const std::string text = typed.toUtf8().toStdString();
    try {
        AppendMessage(page_.AppFolder(), *category, text);
    } catch (const StoreError& e) {
        page_.Report(e.description());
        return;
    }
    page_.Live = false;
    page_.AppendMessageItem(text, true);
    page_.ClearCurrentMessage();
    page_.Live = true;
    page_.TxtMessage->clear();
}

void MessageEditor::PbMEdit_Click() {
    const QString typed = page_.TxtMessage->text();
    if (typed.isEmpty()) {
        return;
    }
    const auto category = page_.SelectedCategoryName();
    if (!category) {
        // Right after a Rename or Delete of the category: nothing can be updated, and the
        // user is told so rather than left to think it was.
        page_.Report(ProgramsPage::kNoCategory);
        return;
    }
    const QListWidgetItem* current = page_.CurrentMessage();
    if (!current) {
        return;  // no message to update (right after an Update or Delete)
    }
    const std::string oldText = ProgramsPage::ItemBytes(current);
    const std::string newText = ProgramsPage::BytesFor(typed, KnownTexts(page_));
    try {
        UpdateMessageText(page_.AppFolder(), *category, oldText, newText, page_.Catalogue());
    } catch (const StoreError& e) {
        page_.Report(e.description());
        return;
    }
    page_.TxtMessage->clear();
    page_.LoadMessageList();
    page_.Live = true;
}

void MessageEditor::PbMdelete_Click() {
    const QString typed = page_.TxtMessage->text();
    if (typed.isEmpty()) {
        return;
    }
    if (!page_.Confirm(kDeleteQuestion)) {
        return;
    }
    const auto category = page_.SelectedCategoryName();
    if (!category) {
        page_.Report(ProgramsPage::kNoCategory);  // nothing was deleted
        return;
    }
    // The text now in the box decides which messages go, whatever was clicked before.
    const std::string text = ProgramsPage::BytesFor(typed, KnownTexts(page_));
    try {
        DeleteMessageText(page_.AppFolder(), *category, text, page_.Catalogue());
    } catch (const StoreError& e) {
        page_.Report(e.description());
        return;
    }
    page_.TxtMessage->clear();
    page_.LoadMessageList();
    page_.Live = true;
}

void MessageEditor::PbExclude_Click() {
    QListWidgetItem* current = page_.CurrentMessage();
    if (!current) {
        return;  // nothing to exclude (right after an Update or Delete)
    }
    if (!page_.Confirm(kExcludeQuestion)) {
        return;
    }
    const auto category = page_.SelectedCategoryName();
    if (!category || !page_.CategoryFileExists(*category)) {
        return;
    }
    page_.Live = false;
    current->setCheckState(Qt::Unchecked);
    page_.Live = true;
    WriteListToFile(*category);
}

bool MessageEditor::WriteListToFile(const std::string& category) {
    try {
        RewriteFromList(page_.AppFolder(), category, page_.MessageItems());
        return true;
    } catch (const StoreError& e) {
        page_.Report(e.description());
        ReloadAfterFailure();
        return false;
    }
}

void MessageEditor::ReloadAfterFailure() {
    // The check marks on screen were not written: show what the file holds instead.
    page_.LoadMessageList();
    page_.Live = true;
}

}  // namespace kestrane
