#include "app/panel/message_editor.h"

#include "app/flash/numbers.h"
#include "app/panel/message_list_model.h"
#include "app/panel/programs_page.h"
#include "app/store/category_file.h"
#include "app/store/category_text.h"
#include "app/store/store_error.h"

#include <QLineEdit>

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

}  // namespace

void MessageEditor::ClbMessages_Click() {
    if (!page_.Live) {
        return;
    }
    const int current = page_.CurrentMessageRow();
    if (current < 0) {
        return;
    }
    page_.SetButton(page_.PbMadd, true, QStringLiteral("\\images\\resetbut.gif"));
    page_.MessageMode = ButtonMode::Reset;
    page_.SetButton(page_.PbMEdit, true, QStringLiteral("\\images\\updatebut.jpg"));
    page_.SetButton(page_.PbMdelete, true, QStringLiteral("\\images\\deletebut.gif"));
    page_.SetButton(page_.PbExclude, page_.MessageChecked(current),
                    QStringLiteral("\\images\\excludebut.gif"));
    page_.TxtMessage->setText(DisplayText(page_.MessageBytes(current)));
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
        AppendMessage(page_.AppFolder(), *category, page_.MessageModel().Held(), text);
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
    const int current = page_.CurrentMessageRow();
    if (current < 0) {
        return;  // no message to update (right after an Update or Delete)
    }
    const std::string oldText = page_.MessageBytes(current);
    const std::string newText = page_.MessageBytesFor(typed);
    // One rewrite of the file; the list then holds the changed messages, offsets shifted, with
    // no current message, as a fresh load of the file would.
    try {
        page_.MessageModel().Change([&](CategoryText& held, const auto& changing) {
            UpdateMessageText(page_.AppFolder(), *category, held, oldText, newText,
                              page_.Catalogue(), changing);
        });
    } catch (const StoreError& e) {
        page_.Report(e.description());
        return;
    }
    page_.TxtMessage->clear();
    page_.AfterListChange();
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
    const std::string text = page_.MessageBytesFor(typed);
    try {
        page_.MessageModel().Change([&](CategoryText& held, const auto& changing) {
            DeleteMessageText(page_.AppFolder(), *category, held, text, page_.Catalogue(),
                              changing);
        });
    } catch (const StoreError& e) {
        page_.Report(e.description());
        return;
    }
    page_.TxtMessage->clear();
    page_.AfterListChange();
}

void MessageEditor::PbExclude_Click() {
    const int current = page_.CurrentMessageRow();
    if (current < 0) {
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
    page_.SetMessageChecked(current, false);
    page_.Live = true;
    WriteListToFile(*category);
}

bool MessageEditor::WriteListToFile(const std::string& category) {
    try {
        RewriteFromList(page_.AppFolder(), category, page_.MessageModel().Held());
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
