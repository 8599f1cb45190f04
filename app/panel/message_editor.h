// The lower half of the Programs tab: the messages of the selected category with their check
// marks (checked = included). Every change goes straight to the category file; when a rewrite
// fails the list is reloaded from the file, so the screen never shows what the disk does not
// hold.
#pragma once

#include <QString>

namespace kestrane {

class ProgramsPage;

class MessageEditor {
  public:
    explicit MessageEditor(ProgramsPage& page) : page_(page) {}

    // A click, a keyboard move or a change of a check mark in the message list; acts only
    // while the live flag is on and there is a current message.
    void ClbMessages_Click();
    // Add (mode Add) or leave the current message (mode Reset).
    void PbMadd_Click();
    // Gives every message with the current message's text the text of the message box.
    void PbMEdit_Click();
    // Deletes every message whose text is the one in the message box, after the user confirms.
    void PbMdelete_Click();
    // Unchecks the current message after the user confirms.
    void PbExclude_Click();

    static const QString kDeleteQuestion;
    static const QString kExcludeQuestion;

  private:
    // Writes the list's items and check marks to the category file; on failure reports it and
    // reloads the list from the file. Returns whether the file was written.
    bool WriteListToFile(const std::string& category);
    void ReloadAfterFailure();

    ProgramsPage& page_;
};

}  // namespace kestrane
