#include "app/panel/programs_page_fixture.h"

namespace kestrane::testing_programs {
namespace {

using CategoryManagerTest = ProgramsTest;

const QString kCreate = QStringLiteral("\\images\\createbut.gif");
const QString kReset = QStringLiteral("\\images\\resetbut.gif");

void ChooseFile(platform::ScriptedDialogs& dialogs, const std::filesystem::path& path) {
    dialogs.openChoices.push_back([path](platform::CommonDialogState& s) {
        s.fileName = QString::fromStdString(path.string());
        s.fileTitle = QString::fromStdString(path.filename().string());
    });
}

TEST_F(CategoryManagerTest, PicturesFollowSelectionAndTheTabShownRuleKeepsTheMode) {
    Start("Calm;1\r\nWork;0\r\n");
    WriteBytes(DataPath("Calm"), "a;1\r\n");
    EXPECT_EQ(page->CreateMode, ButtonMode::Add);
    EXPECT_EQ(page->MessageMode, ButtonMode::None);
    EXPECT_FALSE(page->Live);
    EXPECT_EQ(page->Pbcadd->PictureName(), kCreate);
    EXPECT_FALSE(page->PbRename->isEnabled());
    EXPECT_EQ(page->PbRename->PictureName(), "\\images\\renamebut_disable.gif");
    EXPECT_EQ(page->PbcDelete->PictureName(), "\\images\\deletebut_disable.gif");
    EXPECT_EQ(page->PbMadd->PictureName(), "\\images\\addbut_disable.gif");
    EXPECT_EQ(page->PbMEdit->PictureName(), "\\images\\updatebut_disable.jpg");
    EXPECT_EQ(page->PbImport->PictureName(), "\\images\\importbut.jpg");

    SelectCategory(0);
    EXPECT_EQ(page->CreateMode, ButtonMode::Reset);
    EXPECT_EQ(page->MessageMode, ButtonMode::Add);
    EXPECT_TRUE(page->Live);
    EXPECT_EQ(page->Pbcadd->PictureName(), kReset);
    EXPECT_TRUE(page->PbRename->isEnabled());
    EXPECT_EQ(page->PbcDelete->PictureName(), "\\images\\deletebut.jpg");
    EXPECT_TRUE(page->PbMadd->isEnabled());
    EXPECT_EQ(page->PbMadd->PictureName(), "\\images\\addbut.gif");
    EXPECT_FALSE(page->PbExclude->isEnabled());
    EXPECT_EQ(page->TxtCategory->text(), "Calm");

    // Away to the Setup tab and back: create pictures, but still selected and in mode Reset.
    page->TabShown();
    EXPECT_EQ(page->Pbcadd->PictureName(), kCreate);
    for (PictureButton* b : {page->PbRename, page->PbcDelete, page->PbMadd, page->PbMEdit,
                             page->PbMdelete, page->PbExclude}) {
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    }
    EXPECT_EQ(page->SelectedCategoryRow(), 0);
    EXPECT_EQ(page->CreateMode, ButtonMode::Reset);

    // So the next click is a Reset, not a Create of the name in the box.
    Click(page->Pbcadd);
    EXPECT_EQ(page->CreateMode, ButtonMode::Add);
    EXPECT_EQ(page->SelectedCategoryRow(), -1);
    EXPECT_TRUE(page->TxtCategory->text().isEmpty());
    EXPECT_EQ(page->MessageCount(), 0);
    ExpectLists({{"Calm", true}, {"Work", false}});
    EXPECT_EQ(Selection(), "Calm;1\r\nWork;0\r\n");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(CategoryManagerTest, SwitchingBackToTheProgramsTabShowsTheCreatePictures) {
    Start("Calm;1\r\nWork;0\r\n");
    WriteBytes(DataPath("Calm"), "a;1\r\n");
    host->PbEditMessages_Click();
    SelectCategory(0);
    ClickMessage(0);
    EXPECT_TRUE(page->PbMEdit->isEnabled());
    EXPECT_EQ(page->Pbcadd->PictureName(), kReset);

    host->PBMessage_Click();
    host->PbEditMessages_Click();
    EXPECT_FALSE(page->isHidden());
    EXPECT_EQ(page->Pbcadd->PictureName(), kCreate);
    EXPECT_EQ(page->PbImport->PictureName(), "\\images\\importbut.jpg");
    for (PictureButton* b : {page->PbRename, page->PbcDelete, page->PbMadd, page->PbMEdit,
                             page->PbMdelete, page->PbExclude}) {
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    }
    // The selection and the mode stay: the next click on Pbcadd is a Reset.
    EXPECT_EQ(page->SelectedCategoryRow(), 0);
    EXPECT_EQ(page->CreateMode, ButtonMode::Reset);
    EXPECT_EQ(page->MessageMode, ButtonMode::Reset);
}

TEST_F(CategoryManagerTest, SelectingLoadsMessagesAndShowsNamesDecoded) {
    Start("Caf\xE9;0\r\n");
    WriteBytes(DataPath("Caf\xE9"), "a;1\r\n\r\nb;0\r\n");
    SelectCategory(0);
    EXPECT_EQ(page->TxtCategory->text(), QString::fromUtf8("Caf\u00e9"));
    EXPECT_EQ(page->LstBoxCategories->item(0)->text(), QString::fromUtf8("Caf\u00e9"));
    EXPECT_EQ(Shown(), (MessageList{{"a", true}, {"b", false}}));
    EXPECT_EQ(page->CurrentMessageRow(), -1);
    EXPECT_TRUE(page->TxtMessage->text().isEmpty());
    // Loading is the program's own change: the file keeps its empty line.
    EXPECT_EQ(Data("Caf\xE9"), "a;1\r\n\r\nb;0\r\n");

    // A click on the selected category again loads the file as it is now.
    WriteBytes(DataPath("Caf\xE9"), "c;0\r\n");
    SelectCategory(0);
    EXPECT_EQ(Shown(), (MessageList{{"c", false}}));
}

TEST_F(CategoryManagerTest, CreateUsesTheNameAsTypedAndAppendsUnticked) {
    Start("Calm;1\r\n");
    page->TxtCategory->setText("   ");
    Click(page->Pbcadd);
    ExpectLists({{"Calm", true}});
    EXPECT_EQ(Selection(), "Calm;1\r\n");
    EXPECT_TRUE(dialogs.shown.empty());

    page->TxtCategory->setText(" Deep ");
    Click(page->Pbcadd);
    page->TxtCategory->setText("Work");
    Click(page->Pbcadd);
    EXPECT_EQ(Data(" Deep "), "");
    EXPECT_EQ(Data("Work"), "");
    ExpectLists({{"Calm", true}, {" Deep ", false}, {"Work", false}});
    EXPECT_EQ(Selection(), "Calm;1\r\n Deep ;0\r\nWork;0\r\n");
    EXPECT_TRUE(page->TxtCategory->text().isEmpty());
    EXPECT_EQ(page->CreateMode, ButtonMode::Add);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(CategoryManagerTest, CreateRefusesExistingAndUnsafeNamesWithTheReason) {
    Start("Calm;1\r\n");
    WriteBytes(DataPath("Calm"), "keep;1\r\n");
    for (const char* name : {"calm", "CALM", "a.b", "x;y", "up/down"}) {
        dialogs.shown.clear();
        page->TxtCategory->setText(name);
        Click(page->Pbcadd);
        ASSERT_EQ(dialogs.shown.size(), 1u) << name;
        EXPECT_EQ(dialogs.shown[0].style, platform::MsgBoxStyle::OkOnly);
        EXPECT_EQ(dialogs.shown[0].title, "Veltrane");
        EXPECT_EQ(page->TxtCategory->text(), name);  // kept for correction
    }
    EXPECT_TRUE(dialogs.shown[0].prompt.contains("cannot hold"));
    EXPECT_EQ(Data("Calm"), "keep;1\r\n");
    ExpectLists({{"Calm", true}});
    EXPECT_EQ(Selection(), "Calm;1\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "Data"), {}), 1);
}

TEST_F(CategoryManagerTest, RenameMovesTheCategoryToTheEndUnticked) {
    Start("Calm;1\r\nWork;0\r\n");
    WriteBytes(DataPath("Calm"), "a;1\r\nb;0\r\n");
    SelectCategory(0);
    page->TxtCategory->setText("Peace");
    Click(page->PbRename);
    ExpectLists({{"Work", false}, {"Peace", false}});
    EXPECT_EQ(Selection(), "Work;0\r\nPeace;0\r\n");
    EXPECT_EQ(Data("Peace"), "a;1\r\nb;0\r\n\r\n");
    EXPECT_FALSE(std::filesystem::exists(DataPath("Calm")));
    EXPECT_TRUE(page->TxtCategory->text().isEmpty());
    EXPECT_EQ(page->MessageCount(), 0);
    EXPECT_EQ(page->SelectedCategoryRow(), -1);
    // Mode and pictures stay until the next click on a category or on Reset.
    EXPECT_EQ(page->CreateMode, ButtonMode::Reset);
    EXPECT_TRUE(page->PbRename->isEnabled());

    // Nothing is selected now: Rename says so; Delete asks, then says so; nothing changes.
    page->TxtCategory->setText("Other");
    Click(page->PbRename);
    Click(page->PbcDelete);
    EXPECT_EQ(dialogs.prompts(),
              (QStringList{ProgramsPage::kNoCategory, CategoryManager::kDeleteQuestion,
                           ProgramsPage::kNoCategory}));
    EXPECT_FALSE(std::filesystem::exists(DataPath("Other")));
    ExpectLists({{"Work", false}, {"Peace", false}});
    EXPECT_EQ(Selection(), "Work;0\r\nPeace;0\r\n");
}

TEST_F(CategoryManagerTest, RenameToTheSameNameKeepsTheMessages) {
    Start("Calm;1\r\nWork;1\r\n");
    WriteBytes(DataPath("Calm"), "a;1\r\n");
    SelectCategory(0);
    Click(page->PbRename);  // the box shows the name unchanged
    ExpectLists({{"Work", true}, {"Calm", false}});
    EXPECT_EQ(Selection(), "Work;1\r\nCalm;0\r\n");
    EXPECT_EQ(LoadMessages(dir.path(), "Calm"), (MessageList{{"a", true}}));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(CategoryManagerTest, RenameRefusesTakenOrUnsafeNamesAndIgnoresAMissingFile) {
    Start("Calm;1\r\nWork;0\r\nGone;1\r\n");
    WriteBytes(DataPath("Calm"), "a;1\r\n");
    WriteBytes(DataPath("Work"), "w;1\r\n");
    SelectCategory(0);
    for (const char* name : {"work", "a:b.c", "x;y"}) {
        dialogs.shown.clear();
        page->TxtCategory->setText(name);
        Click(page->PbRename);
        EXPECT_EQ(dialogs.shown.size(), 1u) << name;
    }
    EXPECT_EQ(Data("Calm"), "a;1\r\n");
    EXPECT_EQ(Data("Work"), "w;1\r\n");

    // A listed category whose file has gone is not renamed.
    dialogs.shown.clear();
    SelectCategory(2);
    page->TxtCategory->setText("Back");
    Click(page->PbRename);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(std::filesystem::exists(DataPath("Back")));
    ExpectLists({{"Calm", true}, {"Work", false}, {"Gone", true}});
    EXPECT_EQ(Selection(), "Calm;1\r\nWork;0\r\nGone;1\r\n");
}

TEST_F(CategoryManagerTest, DeleteAsksAndKeepsEverythingInStep) {
    Start("Calm;1\r\nWork;0\r\nRest;1\r\n");
    WriteBytes(DataPath("Calm"), "a;1\r\n");
    WriteBytes(DataPath("Work"), "w;1\r\n");
    SelectCategory(1);
    dialogs.answers = {platform::MsgBoxResult::Cancel};
    Click(page->PbcDelete);
    ASSERT_EQ(dialogs.prompts(), QStringList{CategoryManager::kDeleteQuestion});
    EXPECT_EQ(dialogs.shown[0].style, platform::MsgBoxStyle::OkCancel);
    EXPECT_EQ(Data("Work"), "w;1\r\n");
    EXPECT_EQ(page->MessageCount(), 1);

    // The selected category goes, whatever the box holds.
    page->TxtCategory->setText("Calm");
    Click(page->PbcDelete);
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(DataPath("Work")));
    EXPECT_EQ(Data("Calm"), "a;1\r\n");
    ExpectLists({{"Calm", true}, {"Rest", true}});
    EXPECT_EQ(Selection(), "Calm;1\r\nRest;1\r\n");
    EXPECT_EQ(page->MessageCount(), 0);
    EXPECT_TRUE(page->TxtCategory->text().isEmpty());
    EXPECT_EQ(page->SelectedCategoryRow(), -1);

    // A category without a file: asked, then nothing changes.
    SelectCategory(1);
    Click(page->PbcDelete);
    EXPECT_EQ(dialogs.shown.size(), 3u);
    ExpectLists({{"Calm", true}, {"Rest", true}});
    EXPECT_EQ(Selection(), "Calm;1\r\nRest;1\r\n");
}

TEST_F(CategoryManagerTest, DeleteOfAFileThatStaysKeepsTheCategoryListed) {
    Start("Calm;1\r\n");
    WriteBytes(DataPath("Calm"), "a;1\r\n");
    std::filesystem::permissions(DataPath("Calm"), std::filesystem::perms::owner_read);
    SelectCategory(0);
    Click(page->PbcDelete);
    ASSERT_EQ(dialogs.shown.size(), 2u);  // the question, then the reason
    EXPECT_EQ(dialogs.shown[1].style, platform::MsgBoxStyle::OkOnly);
    EXPECT_TRUE(std::filesystem::exists(DataPath("Calm")));
    ExpectLists({{"Calm", true}});
    EXPECT_EQ(Selection(), "Calm;1\r\n");
}

TEST_F(CategoryManagerTest, DeleteWithTheSelectionFileGoneDoesNotCreateIt) {
    Start("Calm;1\r\nWork;0\r\n");
    WriteBytes(DataPath("Calm"), "a;1\r\n");
    std::filesystem::remove(SelectionPath());
    SelectCategory(0);
    Click(page->PbcDelete);
    ExpectLists({{"Work", false}});
    EXPECT_FALSE(std::filesystem::exists(SelectionPath()));
}

TEST_F(CategoryManagerTest, ImportTakesTextFilesOnly) {
    Start("Calm;1\r\n");
    TempDir src;
    WriteBytes(src / "Health.txt", "calm\r\n\r\nstrong\r\n");
    WriteBytes(src / "HEALTH.TXT", "x\r\n");
    WriteBytes(src / "notes.md", "x\r\n");
    WriteBytes(src / "plain", "x\r\n");
    WriteBytes(src / "a.txt.old", "one\ntwo");

    ChooseFile(dialogs, src / "Health.txt");
    Click(page->PbImport);
    EXPECT_EQ(Data("Health"), "calm;1\r\nstrong;1\r\n");
    ExpectLists({{"Calm", true}, {"Health", false}});
    EXPECT_EQ(Selection(), "Calm;1\r\nHealth;0\r\n");
    EXPECT_TRUE(dialogs.shown.empty());

    for (const char* refused : {"HEALTH.TXT", "notes.md", "plain"}) {
        dialogs.shown.clear();
        ChooseFile(dialogs, src / refused);
        Click(page->PbImport);
        EXPECT_EQ(dialogs.prompts(), QStringList{CategoryManager::kSelectTextFile}) << refused;
    }
    EXPECT_EQ(Data("Health"), "calm;1\r\nstrong;1\r\n");

    dialogs.shown.clear();
    ChooseFile(dialogs, src / "a.txt.old");
    Click(page->PbImport);
    EXPECT_EQ(Data("a"), "one;1\r\ntwo;1\r\n");
    ExpectLists({{"Calm", true}, {"Health", false}, {"a", false}});
    EXPECT_EQ(Selection(), "Calm;1\r\nHealth;0\r\na;0\r\n");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(CategoryManagerTest, ImportConvertsUtf16AndRefusesAFileThatIsNoText) {
    Start("Calm;1\r\n");
    TempDir src;
    WriteBytes(src / "Notes.txt", std::string("\xFF\xFE"
                                              "a\0\xE9\0\r\0\n\0",
                                              8));
    WriteBytes(src / "Photo.txt", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));

    ChooseFile(dialogs, src / "Notes.txt");
    Click(page->PbImport);
    EXPECT_EQ(Data("Notes"), "a\xC3\xA9;1\r\n");
    EXPECT_TRUE(dialogs.shown.empty());

    ChooseFile(dialogs, src / "Photo.txt");
    Click(page->PbImport);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].style, platform::MsgBoxStyle::OkOnly);
    EXPECT_TRUE(dialogs.shown[0].prompt.contains("is not a text file"))
        << dialogs.shown[0].prompt.toStdString();
    EXPECT_FALSE(std::filesystem::exists(DataPath("Photo")));
    ExpectLists({{"Calm", true}, {"Notes", false}});
    EXPECT_EQ(Selection(), "Calm;1\r\nNotes;0\r\n");
}

TEST_F(CategoryManagerTest, ImportNeverReplacesACategoryNorReusesACancelledChoice) {
    Start("Calm;1\r\n");
    WriteBytes(DataPath("Calm"), "keep;0\r\n");
    TempDir src;
    WriteBytes(src / "calm.txt", "other\r\n");
    WriteBytes(src / "Fresh.txt", "new\r\n");

    ChooseFile(dialogs, src / "calm.txt");
    Click(page->PbImport);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(dialogs.shown[0].prompt.contains("already exists"));
    EXPECT_EQ(Data("Calm"), "keep;0\r\n");

    // A chosen file that is gone by now is ignored without a message.
    dialogs.shown.clear();
    ChooseFile(dialogs, src / "Missing.txt");
    Click(page->PbImport);
    EXPECT_TRUE(dialogs.shown.empty());

    // Fresh is chosen, then a dialog is cancelled on a platform that keeps the old choice.
    ChooseFile(dialogs, src / "Fresh.txt");
    Click(page->PbImport);
    std::filesystem::remove(DataPath("Fresh"));
    dialogs.openChoices.push_back([](platform::CommonDialogState&) {});
    Click(page->PbImport);
    EXPECT_FALSE(std::filesystem::exists(DataPath("Fresh")));
    EXPECT_EQ(dialogs.openCalls, 4);
    ExpectLists({{"Calm", true}, {"Fresh", false}});
    EXPECT_EQ(Selection(), "Calm;1\r\nFresh;0\r\n");
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
}  // namespace kestrane::testing_programs
