#include "app/panel/programs_page_fixture.h"

namespace kestrane::testing_programs {
namespace {

class MessageEditorTest : public ProgramsTest {
  protected:
    // One category, Calm, selected, with the given file content.
    void Open(const std::string& content) {
        Start("Calm;1\r\n");
        WriteBytes(DataPath("Calm"), content);
        SelectCategory(0);
    }
};

TEST_F(MessageEditorTest, CheckMarksAreWrittenAtOnceAndDriveExclude) {
    Open("a;1\r\n\r\nb;1\r\n");
    SetCheck(1, false);
    EXPECT_EQ(Data("Calm"), "a;1\r\nb;0\r\n");
    EXPECT_EQ(page->CurrentMessageRow(), 1);
    EXPECT_EQ(page->TxtMessage->text(), "b");
    EXPECT_EQ(page->MessageMode, ButtonMode::Reset);
    EXPECT_EQ(page->PbMadd->PictureName(), "\\images\\resetbut.gif");
    EXPECT_TRUE(page->PbMEdit->isEnabled());
    EXPECT_EQ(page->PbMdelete->PictureName(), "\\images\\deletebut.gif");
    EXPECT_FALSE(page->PbExclude->isEnabled());
    EXPECT_EQ(page->PbExclude->PictureName(), "\\images\\excludebut_disable.gif");

    SetCheck(1, true);
    EXPECT_EQ(Data("Calm"), "a;1\r\nb;1\r\n");
    // A click on the current message again brings its text back into the box.
    page->TxtMessage->setText("edited");
    ClickMessage(1);
    EXPECT_EQ(page->TxtMessage->text(), "b");
    EXPECT_TRUE(page->PbExclude->isEnabled());
    EXPECT_EQ(page->PbExclude->PictureName(), "\\images\\excludebut.gif");

    // Reset leaves the message: nothing current, Update, Delete and Exclude off.
    Click(page->PbMadd);
    EXPECT_EQ(page->MessageMode, ButtonMode::Add);
    EXPECT_EQ(page->PbMadd->PictureName(), "\\images\\addbut.gif");
    EXPECT_EQ(page->CurrentMessageRow(), -1);
    EXPECT_TRUE(page->TxtMessage->text().isEmpty());
    EXPECT_FALSE(page->PbMEdit->isEnabled());
    EXPECT_FALSE(page->PbExclude->isEnabled());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(MessageEditorTest, ClicksOutsideTheLiveStateChangeNothing) {
    Open("a;1\r\n\r\nb;0\r\n");
    page->Live = false;
    ClickMessage(0);
    SetCheck(0, false);
    EXPECT_EQ(Data("Calm"), "a;1\r\n\r\nb;0\r\n");
    EXPECT_TRUE(page->TxtMessage->text().isEmpty());
    EXPECT_EQ(page->MessageMode, ButtonMode::Add);
}

TEST_F(MessageEditorTest, AddAppendsTheTextAsTyped) {
    Open("a;0\r\n");
    page->TxtMessage->setText("   ");
    Click(page->PbMadd);
    EXPECT_EQ(Data("Calm"), "a;0\r\n");

    page->TxtMessage->setText(QString::fromUtf8("calm  \u00e9"));
    Click(page->PbMadd);
    EXPECT_EQ(Data("Calm"), "a;0\r\ncalm  \xC3\xA9;1\r\n");
    EXPECT_EQ(Shown(), (MessageList{{"a", false}, {"calm  \xC3\xA9", true}}));
    EXPECT_EQ(page->CurrentMessageRow(), -1);
    EXPECT_TRUE(page->Live);
    EXPECT_TRUE(page->TxtMessage->text().isEmpty());
    EXPECT_EQ(page->MessageMode, ButtonMode::Add);

    // The category's file has been removed meanwhile: nothing is written or shown.
    std::filesystem::remove(DataPath("Calm"));
    page->TxtMessage->setText("more");
    Click(page->PbMadd);
    EXPECT_FALSE(std::filesystem::exists(DataPath("Calm")));
    EXPECT_EQ(page->MessageCount(), 2);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(MessageEditorTest, UpdateChangesEveryLineWithTheTextAndKeepsUntouchedBytes) {
    Open("dup;1\r\nother;1\r\ndup;0\r\nduplicate;1\r\n");
    ClickMessage(0);
    page->TxtMessage->setText("new");
    Click(page->PbMEdit);
    EXPECT_EQ(Data("Calm"), "new;1\r\nother;1\r\nnew;0\r\nduplicate;1\r\n");
    EXPECT_EQ(Shown(),
              (MessageList{{"new", true}, {"other", true}, {"new", false}, {"duplicate", true}}));
    EXPECT_TRUE(page->TxtMessage->text().isEmpty());
    EXPECT_EQ(page->CurrentMessageRow(), -1);
    EXPECT_TRUE(page->Live);
    EXPECT_FALSE(std::filesystem::exists(dir / "Data/Calmtemp.txt"));

    // A text in the Windows code page, updated without a change, keeps its bytes.
    WriteBytes(DataPath("Calm"), "caf\xE9;1\r\n\r\nx;0\r\n");
    SelectCategory(0);
    ClickMessage(0);
    EXPECT_EQ(page->TxtMessage->text(), QString::fromUtf8("caf\u00e9"));
    Click(page->PbMEdit);
    EXPECT_EQ(Data("Calm"), "caf\xE9;1\r\nx;0\r\n");

    // With nothing current (right after an Update) there is nothing to update.
    page->TxtMessage->setText("y");
    Click(page->PbMEdit);
    EXPECT_EQ(Data("Calm"), "caf\xE9;1\r\nx;0\r\n");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(MessageEditorTest, DeleteRemovesEveryLineWithTheTextInTheBox) {
    Open("dup;1\r\nkeep;1\r\ndup;0\r\n");
    ClickMessage(1);
    page->TxtMessage->setText("unknown");
    Click(page->PbMdelete);
    EXPECT_EQ(dialogs.prompts(), QStringList{MessageEditor::kDeleteQuestion});
    EXPECT_EQ(LoadMessages(dir.path(), "Calm"),
              (MessageList{{"dup", true}, {"keep", true}, {"dup", false}}));

    dialogs.answers = {platform::MsgBoxResult::Cancel};
    ClickMessage(0);
    Click(page->PbMdelete);
    EXPECT_EQ(Data("Calm"), "dup;1\r\nkeep;1\r\ndup;0\r\n");
    EXPECT_EQ(page->TxtMessage->text(), "dup");

    Click(page->PbMdelete);
    EXPECT_EQ(Data("Calm"), "keep;1\r\n");
    EXPECT_EQ(Shown(), (MessageList{{"keep", true}}));
    EXPECT_TRUE(page->TxtMessage->text().isEmpty());
    EXPECT_TRUE(page->Live);
    EXPECT_EQ(dialogs.shown.size(), 3u);

    // An empty box asks nothing.
    Click(page->PbMdelete);
    EXPECT_EQ(dialogs.shown.size(), 3u);
}

TEST_F(MessageEditorTest, AFileWithAByteOrderMarkEditsAsItReads) {
    // Saved by an editor that writes a byte-order mark: the first message is typed as it reads.
    Open(
        "\xEF\xBB\xBF"
        "Breathe;1\r\nSkip;0\r\nRest;1\r\n");
    EXPECT_EQ(Shown(), (MessageList{{"Breathe", true}, {"Skip", false}, {"Rest", true}}));
    ClickMessage(1);
    page->TxtMessage->setText("Breathe");
    Click(page->PbMdelete);
    EXPECT_EQ(Data("Calm"), "Skip;0\r\nRest;1\r\n");

    WriteBytes(DataPath("Calm"),
               "\xEF\xBB\xBF"
               "Breathe;1\r\nSkip;0\r\n");
    SelectCategory(0);
    ClickMessage(0);
    EXPECT_EQ(page->TxtMessage->text(), "Breathe");
    page->TxtMessage->setText("Breathe in");
    Click(page->PbMEdit);
    EXPECT_EQ(Data("Calm"), "Breathe in;1\r\nSkip;0\r\n");
}

TEST_F(MessageEditorTest, ExcludeUnchecksTheCurrentMessageWhenConfirmed) {
    Open("a;1\r\nb;1\r\n");
    ClickMessage(1);
    dialogs.answers = {platform::MsgBoxResult::Cancel};
    Click(page->PbExclude);
    EXPECT_EQ(dialogs.prompts(), QStringList{MessageEditor::kExcludeQuestion});
    EXPECT_EQ(Data("Calm"), "a;1\r\nb;1\r\n");
    EXPECT_EQ(page->MessageChecked(1), true);

    Click(page->PbExclude);
    EXPECT_EQ(Data("Calm"), "a;1\r\nb;0\r\n");
    EXPECT_EQ(page->CurrentMessageRow(), 1);
    EXPECT_EQ(page->MessageChecked(1), false);
    EXPECT_TRUE(page->Live);
    EXPECT_EQ(page->TxtMessage->text(), "b");

    // After an Update nothing is current: Exclude asks nothing and the flag stays on.
    page->TxtMessage->setText("b2");
    Click(page->PbMEdit);
    dialogs.shown.clear();
    EXPECT_TRUE(page->PbExclude->isEnabled());  // as the last click on a message left it
    Click(page->PbExclude);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(page->Live);
    EXPECT_EQ(Data("Calm"), "a;1\r\nb2;0\r\n");
}

TEST_F(MessageEditorTest, AFailedRewriteIsReportedAndTheListShowsTheFile) {
    Open("a;1\r\nb;1\r\n");
    std::filesystem::permissions(DataPath("Calm"), std::filesystem::perms::owner_read);
    SetCheck(0, false);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].style, platform::MsgBoxStyle::OkOnly);
    EXPECT_EQ(Data("Calm"), "a;1\r\nb;1\r\n");
    EXPECT_EQ(Shown(), (MessageList{{"a", true}, {"b", true}}));
    EXPECT_TRUE(page->Live);

    // The list works on once the file can be written again.
    std::filesystem::permissions(DataPath("Calm"), std::filesystem::perms::owner_all);
    SetCheck(1, false);
    EXPECT_EQ(Data("Calm"), "a;1\r\nb;0\r\n");
}

}  // namespace
}  // namespace kestrane::testing_programs
