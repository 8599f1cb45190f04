#include "app/store/category_text.h"

#include "app/store/store_error.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace kestrane {
namespace {

MessageList Held(const CategoryText& held) {
    MessageList out;
    for (size_t i = 0; i < held.Count(); ++i) {
        out.push_back({std::string(held.Text(i)), held.Included(i)});
    }
    return out;
}

class CategoryTextTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(app.path() / "Data"); }
    fs::path Data(const std::string& file) const { return app.path() / "Data" / file; }
    void Load(const std::string& bytes) {
        WriteBytes(Data("Calm.txt"), bytes);
        held.Load(bytes);
    }
    // What is held is what the file holds: the same messages as a fresh read, and in the
    // written form the same bytes.
    void ExpectHeldIsFile(const std::string& bytes) {
        EXPECT_EQ(ReadBytes(Data("Calm.txt")), bytes);
        EXPECT_EQ(Held(held), ParseMessages(bytes));
        ASSERT_TRUE(held.AsWritten());
        EXPECT_EQ(*held.AsWritten(), bytes);
    }
    TempDir app;
    CategoryText held;
    const CategoryList catalogue{{"Calm", true}};
};

TEST_F(CategoryTextTest, RewritesOfTheWrittenFormChangeTheHeldBytesInPlace) {
    Load(
        "\xEF\xBB\xBF"
        "a;1\r\nbb;0\r\nc;1\r\nbb;1\r\nlast;1\r\n");
    EXPECT_TRUE(held.InWrittenForm());  // the mark is no text and is never written

    held.SetIncluded(1, true);
    RewriteFromList(app.path(), "Calm", held);
    ExpectHeldIsFile("a;1\r\nbb;1\r\nc;1\r\nbb;1\r\nlast;1\r\n");

    // Longer, shorter and equally long texts, each on every line that has the old one.
    int changes = 0;
    bool rowsKept = false;
    const auto changing = [&](bool kept) {
        ++changes;
        rowsKept = kept;
    };
    UpdateMessageText(app.path(), "Calm", held, "bb", "longer text", catalogue, changing);
    ExpectHeldIsFile("a;1\r\nlonger text;1\r\nc;1\r\nlonger text;1\r\nlast;1\r\n");
    EXPECT_TRUE(rowsKept);
    UpdateMessageText(app.path(), "Calm", held, "longer text", "x", catalogue, changing);
    ExpectHeldIsFile("a;1\r\nx;1\r\nc;1\r\nx;1\r\nlast;1\r\n");
    UpdateMessageText(app.path(), "Calm", held, "last", "tail", catalogue, changing);
    ExpectHeldIsFile("a;1\r\nx;1\r\nc;1\r\nx;1\r\ntail;1\r\n");
    held.SetIncluded(4, false);  // the flag after a shifted text
    RewriteFromList(app.path(), "Calm", held);
    ExpectHeldIsFile("a;1\r\nx;1\r\nc;1\r\nx;1\r\ntail;0\r\n");

    // Delete drops every line of the text and leaves the temporary file; Update removes it.
    DeleteMessageText(app.path(), "Calm", held, "x", catalogue, changing);
    ExpectHeldIsFile("a;1\r\nc;1\r\ntail;0\r\n");
    EXPECT_FALSE(rowsKept);
    EXPECT_EQ(ReadBytes(Data("Calmtemp.txt")), "a;1\r\nc;1\r\ntail;0\r\n\r\n");
    AppendMessage(app.path(), "Calm", held, "new");
    held.Append("new", true);
    ExpectHeldIsFile("a;1\r\nc;1\r\ntail;0\r\nnew;1\r\n");
    DeleteMessageText(app.path(), "Calm", held, "a", catalogue, changing);
    EXPECT_EQ(Held(held), (MessageList{{"c", true}, {"tail", false}, {"new", true}}));
    UpdateMessageText(app.path(), "Calm", held, "c", "c2", catalogue, changing);
    EXPECT_FALSE(fs::exists(Data("Calmtemp.txt")));
    EXPECT_EQ(changes, 6);

    // Nothing changes, held or on disk, when the file cannot be written.
    fs::permissions(Data("Calm.txt"), fs::perms::owner_read);
    EXPECT_THROW(UpdateMessageText(app.path(), "Calm", held, "c2", "d", catalogue, changing),
                 StoreError);
    EXPECT_THROW(DeleteMessageText(app.path(), "Calm", held, "c2", catalogue, changing),
                 StoreError);
    EXPECT_EQ(changes, 6);
    EXPECT_EQ(Held(held), (MessageList{{"c2", true}, {"tail", false}, {"new", true}}));
    fs::remove(Data("Calm.txt"));
    EXPECT_THROW(UpdateMessageText(app.path(), "Calm", held, "c2", "d", catalogue), StoreError);
    EXPECT_FALSE(fs::exists(Data("Calm.txt")));
}

TEST_F(CategoryTextTest, AFileInAnotherFormIsRewrittenByTheLineRules) {
    // LF and CR line ends, an empty line, more fields, a flag that is no number.
    Load("old;1\n\nold;0\rx;1;y\r\nold\r\nw;abc\r\n");
    EXPECT_FALSE(held.InWrittenForm());
    EXPECT_FALSE(held.AsWritten());
    // Update keeps what follows a text; the held bytes are then the file's.
    UpdateMessageText(app.path(), "Calm", held, "old", "new", catalogue);
    EXPECT_EQ(ReadBytes(Data("Calm.txt")), "new;1\r\nnew;0\r\nx;1;y\r\nnew\r\nw;abc\r\n");
    EXPECT_EQ(Held(held), ParseMessages(ReadBytes(Data("Calm.txt"))));
    // A new text with ";" or a line end reads back as what its bytes say.
    UpdateMessageText(app.path(), "Calm", held, "w", "p;q\r\nr", catalogue);
    EXPECT_EQ(ReadBytes(Data("Calm.txt")), "new;1\r\nnew;0\r\nx;1;y\r\nnew\r\np;q\r\nr;abc\r\n");
    EXPECT_EQ(Held(held), ParseMessages(ReadBytes(Data("Calm.txt"))));

    Load("a;1\n\nb;0\n");
    DeleteMessageText(app.path(), "Calm", held, "a", catalogue);
    EXPECT_EQ(ReadBytes(Data("Calm.txt")), "b;0\r\n");
    EXPECT_EQ(ReadBytes(Data("Calmtemp.txt")), "\r\nb;0\r\n\r\n");

    // The list's rewrite brings the held bytes into the written form; appends after a last
    // line without its end stay lines of their own.
    Load("x;1;y\r\nz;2\r\nend;0");
    AppendMessage(app.path(), "Calm", held, "new");  // from the file, which keeps its bytes
    EXPECT_EQ(ReadBytes(Data("Calm.txt")), "x;1;y\r\nz;2\r\nend;0\r\nnew;1\r\n");
    held.Append("new", true);
    RewriteFromList(app.path(), "Calm", held);
    ExpectHeldIsFile("x;1\r\nz;0\r\nend;0\r\nnew;1\r\n");
}

TEST_F(CategoryTextTest, AFileChangedBehindTheHeldBytesIsReadAgainNotOverwritten) {
    Load("a;1\r\n");
    WriteBytes(Data("Calm.txt"), "a;1\r\nb;1\r\nzz;0\r\n");
    DeleteMessageText(app.path(), "Calm", held, "a", catalogue);
    ExpectHeldIsFile("b;1\r\nzz;0\r\n");
    WriteBytes(Data("Calm.txt"), "b;1\r\nzz;0\r\nmore;1\r\n");
    UpdateMessageText(app.path(), "Calm", held, "zz", "z", catalogue);
    ExpectHeldIsFile("b;1\r\nz;0\r\nmore;1\r\n");

    // Held while the file was missing: an append keeps what the file holds now.
    held.Clear();
    AppendMessage(app.path(), "Calm", held, "new");
    EXPECT_EQ(ReadBytes(Data("Calm.txt")), "b;1\r\nz;0\r\nmore;1\r\nnew;1\r\n");
}

}  // namespace
}  // namespace kestrane
