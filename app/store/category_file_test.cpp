#include "app/store/category_file.h"

#include "app/store/category_name.h"
#include "app/store/import_text.h"
#include "app/store/store_error.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace kestrane {
namespace {

class CategoryFileTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(app.path() / "Data"); }
    fs::path Data(const std::string& file) const { return app.path() / "Data" / file; }
    std::vector<std::string> DataFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(app.path() / "Data")) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    TempDir app;
};

TEST_F(CategoryFileTest, LoadMessagesFollowsTheReadingRule) {
    EXPECT_TRUE(LoadMessages(app.path(), "Missing").empty());
    WriteBytes(Data("Empty.txt"), "");
    EXPECT_TRUE(LoadMessages(app.path(), "Empty").empty());

    WriteBytes(Data("Health.txt"), "a;1\r\n\r\nb;0\r\n");
    EXPECT_EQ(LoadMessages(app.path(), "Health"), (MessageList{{"a", true}, {"b", false}}));
    // The name is matched without regard to case.
    EXPECT_EQ(LoadMessages(app.path(), "health").size(), 2u);

    // A line without ";" or with a flag that is not a number loads as an included message,
    // and the messages after it load too. Other numbers exclude; spaces are part of texts.
    WriteBytes(Data("Odd.txt"), " ;1\nplain\rx;abc\r\n y ;01\r\nz;2\r\nw;1;more\r\n;0\r\nlast;-1");
    EXPECT_EQ(LoadMessages(app.path(), "Odd"), (MessageList{{" ", true},
                                                            {"plain", true},
                                                            {"x", true},
                                                            {" y ", true},
                                                            {"z", false},
                                                            {"w", true},
                                                            {"", false},
                                                            {"last", false}}));
    // A line that holds only spaces is a message.
    WriteBytes(Data("Spaces.txt"), "   \r\n");
    EXPECT_EQ(LoadMessages(app.path(), "Spaces"), (MessageList{{"   ", true}}));

    // A megabyte line with every byte value but the line ends survives unchanged.
    std::string big;
    for (int i = 0; i < (1 << 20); ++i) {
        const char c = static_cast<char>(i % 256);
        if (c != '\r' && c != '\n' && c != ';') {
            big += c;
        }
    }
    WriteBytes(Data("Big.txt"), big + ";0\r\n");
    EXPECT_EQ(LoadMessages(app.path(), "Big"), (MessageList{{big, false}}));

    fs::create_directory(Data("Folder.txt"));
    EXPECT_TRUE(LoadMessages(app.path(), "Folder").empty());
    EXPECT_THROW(LoadMessages(app.path(), "../Images/x"), StoreError);
}

TEST_F(CategoryFileTest, CountIncludedMessagesCountsTickedExistingFilesOnly) {
    WriteBytes(Data("A.txt"), "a;1\r\nb;0\r\nc\r\nd;x\r\n\r\n");
    WriteBytes(Data("B.txt"), "e;1\r\n");
    WriteBytes(Data("C.txt"), "f;1\r\n");
    fs::create_directory(Data("D.txt"));
    const CategoryList selection{{"A", true}, {"B", false}, {"Gone", true},
                                 {"c", true}, {"D", true},  {"../x", true}};
    EXPECT_EQ(CountIncludedMessages(app.path(), selection), 3 + 1);
    EXPECT_EQ(CountIncludedMessages(app.path(), {}), 0);
    WriteBytes(Data("Empty.txt"), "");
    EXPECT_EQ(CountIncludedMessages(app.path(), {{"Empty", true}}), 0);
}

TEST_F(CategoryFileTest, CountStopsAt32767) {
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text += "m;1\r\n";
    }
    WriteBytes(Data("A.txt"), text);
    WriteBytes(Data("B.txt"), text);
    EXPECT_EQ(CountIncludedMessages(app.path(), {{"A", true}}), 20000);
    EXPECT_EQ(CountIncludedMessages(app.path(), {{"A", true}, {"B", true}}), 32767);
}

TEST_F(CategoryFileTest, CreateAppendAndRewriteFromList) {
    CreateCategoryFile(app.path(), "Health", {});
    EXPECT_EQ(ReadBytes(Data("Health.txt")), "");
    AppendMessage(app.path(), "Health", "Breathe");
    AppendMessage(app.path(), "health", " spaced ");
    EXPECT_EQ(ReadBytes(Data("Health.txt")), "Breathe;1\r\n spaced ;1\r\n");

    // A hand-edited file whose last line lacks its line end keeps both lines apart.
    WriteBytes(Data("Hand.txt"), "x;0");
    AppendMessage(app.path(), "Hand", "y");
    EXPECT_EQ(ReadBytes(Data("Hand.txt")), "x;0\r\ny;1\r\n");
    EXPECT_THROW(AppendMessage(app.path(), "Nope", "y"), StoreError);
    EXPECT_FALSE(fs::exists(Data("Nope.txt")));

    WriteBytes(Data("Health.txt"), "old;1\r\n\r\nhidden;0\r\n");
    RewriteFromList(app.path(), "Health", {{"one", true}, {"two", false}, {"", true}});
    EXPECT_EQ(ReadBytes(Data("Health.txt")), "one;1\r\ntwo;0\r\n;1\r\n");
    RewriteFromList(app.path(), "Health", {});
    EXPECT_EQ(ReadBytes(Data("Health.txt")), "");

    fs::remove(Data("Health.txt"));
    RewriteFromList(app.path(), "Health", {{"one", true}});
    EXPECT_FALSE(fs::exists(Data("Health.txt")));
}

TEST_F(CategoryFileTest, CreateRefusesBadNamesAndExistingCategories) {
    WriteBytes(Data("Health.txt"), "keep;1\r\n");
    const CategoryList catalogue{{"Health", true}};
    for (const char* bad : {"", "   ", "a/b", "a\\b", "a;b", "a.b", "..", "tab\there"}) {
        EXPECT_THROW(CreateCategoryFile(app.path(), bad, catalogue), StoreError) << bad;
    }
    EXPECT_THROW(CreateCategoryFile(app.path(), std::string(300, 'x'), catalogue), StoreError);
    try {
        CreateCategoryFile(app.path(), "HEALTH", catalogue);
        FAIL() << "a second Health was created";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.description(), "A program named \"Health\" already exists.");
    }
    // A file that no catalogue entry names is not replaced either.
    WriteBytes(Data("Stray.txt"), "s;1\r\n");
    EXPECT_THROW(CreateCategoryFile(app.path(), "stray", catalogue), StoreError);
    // A name that would share the temporary file of Health.
    EXPECT_THROW(CreateCategoryFile(app.path(), "Healthtemp", catalogue), StoreError);
    EXPECT_EQ(ReadBytes(Data("Health.txt")), "keep;1\r\n");
    EXPECT_EQ(ReadBytes(Data("Stray.txt")), "s;1\r\n");
    EXPECT_EQ(DataFiles(), (std::vector<std::string>{"Health.txt", "Stray.txt"}));
}

TEST_F(CategoryFileTest, UpdateMessageTextRewritesThroughTheTemporaryFile) {
    WriteBytes(Data("Calm.txt"), "old;1\r\n\r\nold;0\r\nold text;1\r\n old;1\r\nold\r\nx;1;y\r\n");
    UpdateMessageText(app.path(), "Calm", "old", "new", {{"Calm", true}});
    EXPECT_EQ(ReadBytes(Data("Calm.txt")),
              "new;1\r\nnew;0\r\nold text;1\r\n old;1\r\nnew\r\nx;1;y\r\n");
    EXPECT_EQ(DataFiles(), std::vector<std::string>{"Calm.txt"});

    // No match: only the empty lines go (and LF-only line ends become CR LF).
    WriteBytes(Data("Calm.txt"), "a;1\n\nb;0\n");
    UpdateMessageText(app.path(), "Calm", "zzz", "new", {{"Calm", true}});
    EXPECT_EQ(ReadBytes(Data("Calm.txt")), "a;1\r\nb;0\r\n");

    // Empty lines never become messages, even for an empty old text.
    WriteBytes(Data("Calm.txt"), "\r\n;1\r\n");
    UpdateMessageText(app.path(), "Calm", "", "filled", {{"Calm", true}});
    EXPECT_EQ(ReadBytes(Data("Calm.txt")), "filled;1\r\n");

    WriteBytes(Data("Empty.txt"), "");
    UpdateMessageText(app.path(), "Empty", "a", "b", {{"Empty", true}});
    EXPECT_EQ(ReadBytes(Data("Empty.txt")), "");

    EXPECT_THROW(UpdateMessageText(app.path(), "Gone", "a", "b", {}), StoreError);
}

TEST_F(CategoryFileTest, DeleteMessageTextLeavesTheTemporaryFile) {
    WriteBytes(Data("Calm.txt"), " first;1\r\nbye;1\r\n\r\nbye;0\r\nbye now;1\r\nlast;1\r\n");
    DeleteMessageText(app.path(), "Calm", "bye", {{"Calm", true}});
    // Leading spaces of the first message are part of its text and stay.
    EXPECT_EQ(ReadBytes(Data("Calm.txt")), " first;1\r\nbye now;1\r\nlast;1\r\n");
    EXPECT_EQ(ReadBytes(Data("Calmtemp.txt")), " first;1\r\n\r\nbye now;1\r\nlast;1\r\n\r\n");

    // The first message can itself be deleted by its exact text.
    DeleteMessageText(app.path(), "Calm", " first", {{"Calm", true}});
    EXPECT_EQ(ReadBytes(Data("Calm.txt")), "bye now;1\r\nlast;1\r\n");
    // The next rewrite replaces the temporary file.
    EXPECT_EQ(ReadBytes(Data("Calmtemp.txt")), "bye now;1\r\nlast;1\r\n\r\n");
}

TEST_F(CategoryFileTest, RewriteNeverTouchesACategoryNamedLikeTheTemporaryFile) {
    WriteBytes(Data("Health.txt"), "a;1\r\n");
    WriteBytes(Data("Healthtemp.txt"), "precious;1\r\n");
    const CategoryList catalogue{{"Health", true}, {"Healthtemp", false}};
    EXPECT_THROW(DeleteMessageText(app.path(), "Health", "a", catalogue), StoreError);
    EXPECT_THROW(UpdateMessageText(app.path(), "Health", "a", "b", catalogue), StoreError);
    EXPECT_EQ(ReadBytes(Data("Health.txt")), "a;1\r\n");
    EXPECT_EQ(ReadBytes(Data("Healthtemp.txt")), "precious;1\r\n");
}

TEST_F(CategoryFileTest, ARewriteOfAReadOnlyCategoryChangesNothing) {
    WriteBytes(Data("Locked.txt"), "a;1\r\n\r\nb;1\r\n");
    fs::permissions(Data("Locked.txt"), fs::perms::owner_read);
    EXPECT_THROW(DeleteMessageText(app.path(), "Locked", "a", {{"Locked", true}}), StoreError);
    EXPECT_THROW(UpdateMessageText(app.path(), "Locked", "a", "c", {{"Locked", true}}), StoreError);
    EXPECT_EQ(ReadBytes(Data("Locked.txt")), "a;1\r\n\r\nb;1\r\n");
    EXPECT_EQ(DataFiles(), std::vector<std::string>{"Locked.txt"});
}

TEST_F(CategoryFileTest, DeleteCategoryFile) {
    DeleteCategoryFile(app.path(), "Missing");  // nothing to do, no error
    WriteBytes(Data("Health.txt"), "a;1\r\n");
    DeleteCategoryFile(app.path(), "HEALTH");
    EXPECT_FALSE(fs::exists(Data("Health.txt")));

    WriteBytes(Data("Locked.txt"), "a;1\r\n");
    fs::permissions(Data("Locked.txt"), fs::perms::owner_read);
    EXPECT_THROW(DeleteCategoryFile(app.path(), "Locked"), StoreError);
    EXPECT_TRUE(fs::exists(Data("Locked.txt")));
}

TEST_F(CategoryFileTest, CopyCategoryFileWritesTheNewFileBeforeRemovingTheOld) {
    WriteBytes(Data("Old.txt"), "a;1\r\nb;0\r\n");
    CopyCategoryFile(app.path(), "Old", "New", {{"Old", true}});
    EXPECT_EQ(ReadBytes(Data("New.txt")), "a;1\r\nb;0\r\n\r\n");
    EXPECT_FALSE(fs::exists(Data("Old.txt")));
    EXPECT_EQ(LoadMessages(app.path(), "New"), (MessageList{{"a", true}, {"b", false}}));

    // The same name keeps the messages; another letter case takes the new spelling.
    CopyCategoryFile(app.path(), "New", "New", {{"New", true}});
    EXPECT_EQ(ReadBytes(Data("New.txt")), "a;1\r\nb;0\r\n\r\n\r\n");
    CopyCategoryFile(app.path(), "New", "NEW", {{"New", true}});
    EXPECT_EQ(DataFiles(), std::vector<std::string>{"NEW.txt"});
    EXPECT_EQ(LoadMessages(app.path(), "NEW").size(), 2u);

    // An empty category becomes a single CR LF.
    WriteBytes(Data("Empty.txt"), "");
    CopyCategoryFile(app.path(), "Empty", "Still", {{"Empty", false}});
    EXPECT_EQ(ReadBytes(Data("Still.txt")), "\r\n");
}

TEST_F(CategoryFileTest, CopyCategoryFileRefusesWithoutLosingAnything) {
    WriteBytes(Data("Old.txt"), "a;1\r\n");
    WriteBytes(Data("Other.txt"), "o;1\r\n");
    const CategoryList catalogue{{"Old", true}, {"Other", true}};
    for (const char* bad : {"", "x/y", "x.y", "x;y", "other", "Othertemp", "../../evil"}) {
        EXPECT_THROW(CopyCategoryFile(app.path(), "Old", bad, catalogue), StoreError) << bad;
    }
    EXPECT_THROW(CopyCategoryFile(app.path(), "Old", std::string(400, 'n'), catalogue), StoreError);
    EXPECT_EQ(ReadBytes(Data("Old.txt")), "a;1\r\n");
    EXPECT_EQ(ReadBytes(Data("Other.txt")), "o;1\r\n");
    EXPECT_EQ(DataFiles(), (std::vector<std::string>{"Old.txt", "Other.txt"}));
    // A missing old file stops before anything is written.
    EXPECT_THROW(CopyCategoryFile(app.path(), "Gone", "Fresh", {{"Gone", true}}), StoreError);
    EXPECT_FALSE(fs::exists(Data("Fresh.txt")));
}

TEST_F(CategoryFileTest, ImportPlainTextMakesIncludedMessages) {
    WriteBytes(app / "src/Health.txt", "one\n\ntwo;0\r\n three \rlast");
    EXPECT_EQ(ImportPlainText(app.path(), app / "src/Health.txt", "Health.txt", {}), "Health");
    EXPECT_EQ(ReadBytes(Data("Health.txt")), "one;1\r\ntwo;0;1\r\n three ;1\r\nlast;1\r\n");

    // The category's file is always name + ".txt", whatever the source's extension.
    WriteBytes(app / "src/notes.tar.gz", "n\r\n");
    EXPECT_EQ(ImportPlainText(app.path(), app / "src/notes.tar.gz", "notes.tar.gz", {}), "notes");
    EXPECT_EQ(ReadBytes(Data("notes.txt")), "n;1\r\n");

    // An existing category (any case) is never replaced; bad names are refused.
    EXPECT_THROW(
        ImportPlainText(app.path(), app / "src/Health.txt", "HEALTH.TXT", {{"Health", false}}),
        StoreError);
    EXPECT_THROW(ImportPlainText(app.path(), app / "src/Health.txt", ".hidden", {}), StoreError);
    EXPECT_THROW(ImportPlainText(app.path(), app / "src/none.txt", "none.txt", {}), StoreError);
    EXPECT_EQ(ReadBytes(Data("Health.txt")), "one;1\r\ntwo;0;1\r\n three ;1\r\nlast;1\r\n");
    EXPECT_EQ(DataFiles(), (std::vector<std::string>{"Health.txt", "notes.txt"}));
}

TEST_F(CategoryFileTest, AByteOrderMarkIsNeitherReadNorWritten) {
    const std::string bom = "\xEF\xBB\xBF";
    const CategoryList cat{{"Bom", true}};
    // Read as the encoding: no text starts with it, the count and the rewrites see the same
    // messages as without it, and a file of ours never carries one.
    WriteBytes(Data("Bom.txt"), bom + "Breathe;1\r\nSkip;0\r\n");
    EXPECT_EQ(LoadMessages(app.path(), "Bom"), (MessageList{{"Breathe", true}, {"Skip", false}}));
    EXPECT_EQ(CountIncludedMessages(app.path(), cat), 1);
    DeleteMessageText(app.path(), "Bom", "Breathe", cat);
    EXPECT_EQ(ReadBytes(Data("Bom.txt")), "Skip;0\r\n");

    WriteBytes(Data("Bom.txt"), bom + "Breathe;0\r\nSkip;0\r\n");
    UpdateMessageText(app.path(), "Bom", "Breathe", "Calm", cat);
    EXPECT_EQ(ReadBytes(Data("Bom.txt")), "Calm;0\r\nSkip;0\r\n");

    // Every other byte stays: an appended line goes behind the old bytes, the mark alone goes.
    WriteBytes(Data("Bom.txt"), bom + "caf\xE9;1\r\n\r\nx;0");
    AppendMessage(app.path(), "Bom", "y");
    EXPECT_EQ(ReadBytes(Data("Bom.txt")), "caf\xE9;1\r\n\r\nx;0\r\ny;1\r\n");
    WriteBytes(Data("Bom.txt"), bom);
    EXPECT_TRUE(LoadMessages(app.path(), "Bom").empty());
    AppendMessage(app.path(), "Bom", "y");
    EXPECT_EQ(ReadBytes(Data("Bom.txt")), "y;1\r\n");

    WriteBytes(Data("Bom.txt"), bom + "a;1\r\n");
    CopyCategoryFile(app.path(), "Bom", "Renamed", cat);
    EXPECT_EQ(ReadBytes(Data("Renamed.txt")), "a;1\r\n\r\n");

    // A mark that is not at the start is a character of its message.
    WriteBytes(Data("Mid.txt"), "a;1\r\n" + bom + "b;1\r\n");
    EXPECT_EQ(LoadMessages(app.path(), "Mid"), (MessageList{{"a", true}, {bom + "b", true}}));
}

TEST_F(CategoryFileTest, ImportConvertsWhatEditorsSaveAndRefusesWhatIsNoText) {
    auto utf16 = [](std::u16string_view text, bool little) {
        std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
        for (const char16_t u : text) {
            const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
            out += little ? std::string{lo, hi} : std::string{hi, lo};
        }
        return out;
    };
    struct Case {
        std::string file, bytes, written;
    };
    const std::u16string text = u"caf\u00e9\r\n\r\n;1\r\nzen \U0001F642\nend";
    const std::string utf8 = "caf\xC3\xA9;1\r\n;1;1\r\nzen \xF0\x9F\x99\x82;1\r\nend;1\r\n";
    for (const Case& c : std::vector<Case>{
             {"Bom8.txt",
              "\xEF\xBB\xBF"
              "caf\xC3\xA9\r\n\r\n;1\r\nzen \xF0\x9F\x99\x82\nend",
              utf8},
             {"Le.txt", utf16(text, true), utf8},
             {"Be.txt", utf16(text, false), utf8},
             // A half of a surrogate pair alone is a character that cannot be read.
             {"Lone.txt", utf16(u"a\xD800\r\n\xDC00", true),
              "a\xEF\xBF\xBD;1\r\n\xEF\xBF\xBD;1\r\n"},
             {"Empty16.txt", "\xFF\xFE", ""},
             {"BomOnly.txt", "\xEF\xBB\xBF", ""},
         }) {
        WriteBytes(app / ("src/" + c.file), c.bytes);
        const std::string name = c.file.substr(0, c.file.find('.'));
        EXPECT_EQ(ImportPlainText(app.path(), app / ("src/" + c.file), c.file, {}), name);
        EXPECT_EQ(ReadBytes(Data(c.file)), c.written) << c.file;
    }

    // Not text: NUL bytes without a UTF-16 mark, a NUL character or a cut last character in a
    // UTF-16 file. Refused with a message that says so; nothing is written.
    const std::vector<std::string> refused{
        std::string("c\0a\0l\0m\0\r\0\n\0", 12), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
        utf16(std::u16string(u"a\0b", 3), true), utf16(u"ab", false) + "c",
        "\xEF\xBB\xBF" + std::string("x\0", 2)};
    for (size_t i = 0; i < refused.size(); ++i) {
        const std::string file = "No" + std::to_string(i) + ".txt";
        WriteBytes(app / ("src/" + file), refused[i]);
        try {
            ImportPlainText(app.path(), app / ("src/" + file), file, {});
            ADD_FAILURE() << file << " was imported";
        } catch (const StoreError& e) {
            EXPECT_NE(e.description().find("is not a text file"), std::string::npos)
                << e.description();
        }
        EXPECT_FALSE(fs::exists(Data(file))) << file;
    }

    // Given in pieces of any size, the conversion is the same.
    const std::string le = utf16(text, true);
    for (size_t piece : {1, 2, 3, 5}) {
        ImportConverter converter("x");
        std::string out;
        for (size_t i = 0; i < le.size(); i += piece) {
            converter.Feed(std::string_view(le).substr(i, piece), out);
        }
        converter.Finish(out);
        EXPECT_EQ(out, utf8) << piece;
    }
}

TEST(CategoryName, ProblemsAreNamedAndTempCollisionsRefused) {
    EXPECT_FALSE(CategoryNameProblem("Health").has_value());
    EXPECT_FALSE(CategoryNameProblem(" spaced name ").has_value());
    EXPECT_FALSE(CategoryNameProblem("\xE9t\xE9").has_value());  // Windows-1252 bytes
    EXPECT_FALSE(CategoryNameProblem(std::string(kMaxCategoryNameBytes, 'a')).has_value());
    EXPECT_EQ(CategoryNameProblem(" "), "A program name cannot be empty or only spaces.");
    EXPECT_EQ(CategoryNameProblem("a.b"),
              "The program name \"a.b\" cannot hold the characters / \\ ; or . (a full stop).");
    EXPECT_EQ(CategoryNameProblem(std::string("a\x7f", 2)),
              "A program name cannot hold control characters.");
    EXPECT_TRUE(CategoryNameProblem(std::string("a\0b", 3)).has_value());
    EXPECT_TRUE(CategoryNameProblem(std::string(kMaxCategoryNameBytes + 1, 'a')).has_value());

    const CategoryList catalogue{{"Health", true}, {"Sleeptemp", false}};
    EXPECT_THROW(CheckNewCategoryName("healthTEMP", catalogue), StoreError);
    EXPECT_THROW(CheckNewCategoryName("sleep", catalogue), StoreError);
    EXPECT_NO_THROW(CheckNewCategoryName("Sleepy", catalogue));
    // Renaming a category to itself in another case is allowed.
    EXPECT_NO_THROW(CheckNewCategoryName("HEALTH", catalogue, "Health"));
}

}  // namespace
}  // namespace kestrane
