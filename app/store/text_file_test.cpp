#include "app/store/text_file.h"

#include "app/store/number.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace kestrane {
namespace {

TEST(ReadAsNumber, AcceptsBlanksSignAndDigitsOnly) {
    EXPECT_EQ(ReadAsNumber("1"), 1);
    EXPECT_EQ(ReadAsNumber("01"), 1);
    EXPECT_EQ(ReadAsNumber(" 1"), 1);
    EXPECT_EQ(ReadAsNumber("\t+1 "), 1);
    EXPECT_EQ(ReadAsNumber("-12"), -12);
    EXPECT_EQ(ReadAsNumber("99999999999999999999999"), INT64_MAX);
    EXPECT_EQ(ReadAsNumber("-99999999999999999999999"), INT64_MIN);
    EXPECT_EQ(ReadAsNumber("-9223372036854775808"), INT64_MIN);
    for (const char* bad : {"", " ", "-", "+", "x", "1x", "1 2", "1.0", "0x1", "--1"}) {
        EXPECT_FALSE(ReadAsNumber(bad).has_value()) << bad;
    }
    EXPECT_TRUE(ReadsAsOne("1"));
    EXPECT_FALSE(ReadsAsOne("0"));
    EXPECT_FALSE(ReadsAsOne("11"));
}

TEST(SplitLines, AcceptsEveryLineEnd) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitLines(""), V{});
    EXPECT_EQ(SplitLines("a"), V{"a"});
    EXPECT_EQ(SplitLines("a\r\nb\r\n"), (V{"a", "b"}));
    EXPECT_EQ(SplitLines("a\nb\rc\r\n\r\nd"), (V{"a", "b", "c", "", "d"}));
    // CR CR LF is a line end followed by an empty line; LF CR is two line ends.
    EXPECT_EQ(SplitLines("a\r\r\nb\n\rc"), (V{"a", "", "b", "", "c"}));
    EXPECT_EQ(SplitLines(std::string("x\0y\n", 4)), V{std::string("x\0y", 3)});
    EXPECT_EQ(JoinLinesCrLf({"a", "", "b"}), "a\r\n\r\nb\r\n");
}

TEST(ResolvePath, MatchesExistingComponentsWithoutRegardToCase) {
    TempDir app;
    WriteBytes(app / "Images/startbut.jpg", "x");
    WriteBytes(app / "Data/Health.txt", "h");
    fs::create_directory(app / "data2");

    EXPECT_EQ(ResolvePath(app.path(), "\\images\\STARTBUT.JPG"), app / "Images/startbut.jpg");
    EXPECT_EQ(ResolvePath(app.path(), "\\Data\\health.txt"), app / "Data/Health.txt");
    EXPECT_EQ(ResolvePath(app.path(), "\\data"), app / "Data");
    // Missing components keep the spelling given, also below a matched folder.
    EXPECT_EQ(ResolvePath(app.path(), "\\data\\New\\x.txt"), app / "Data/New/x.txt");
    EXPECT_EQ(ResolvePath(app.path(), "/Data//Health.txt"), app / "Data/Health.txt");

    // An exact match wins over another spelling; among other spellings the smallest name.
    WriteBytes(app / "Data/health.txt", "l");
    WriteBytes(app / "Data/HEALTH.TXT", "u");
    EXPECT_EQ(ResolvePath(app.path(), "\\Data\\health.txt"), app / "Data/health.txt");
    EXPECT_EQ(ResolvePath(app.path(), "\\Data\\Health.Txt"), app / "Data/HEALTH.TXT");

    EXPECT_THROW(ResolvePath(app.path(), "\\Data\\..\\..\\etc"), StoreError);
    EXPECT_THROW(ResolvePath(app.path(), "\\."), StoreError);
}

TEST(TextReader, ReadsLinesAndTextLikeTheScriptingStream) {
    TempDir dir;
    WriteBytes(dir / "t.txt", "one\r\ntwo\nthree");
    TextReader r(dir / "t.txt");
    EXPECT_FALSE(r.AtEndOfStream());
    EXPECT_EQ(r.ReadLine(), "one");
    EXPECT_EQ(r.ReadAll(), "two\nthree");
    EXPECT_TRUE(r.AtEndOfStream());
    EXPECT_THROW(r.ReadLine(), StoreError);
    EXPECT_THROW(r.ReadAll(), StoreError);

    WriteBytes(dir / "empty.txt", "");
    TextReader e(dir / "empty.txt");
    EXPECT_TRUE(e.AtEndOfStream());

    try {
        TextReader missing(dir / "missing.txt");
        FAIL() << "a missing file opened";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.description(), "Cannot open for reading " + (dir / "missing.txt").string() +
                                       ": No such file or directory");
    }
    fs::create_directory(dir / "folder.txt");
    EXPECT_THROW(TextReader(dir / "folder.txt"), StoreError);
}

TEST(TextWriter, WritesCrLfAndReplacesOrAppendsWithoutCreating) {
    TempDir dir;
    const fs::path p = dir / "f.txt";
    EXPECT_THROW(TextWriter(p, WriteMode::Write), StoreError);
    EXPECT_THROW(TextWriter(p, WriteMode::Append), StoreError);
    EXPECT_FALSE(fs::exists(p));

    WriteBytes(p, "old content\r\n");
    {
        TextWriter w(p, WriteMode::Write);
        w.WriteLine("a");
        w.WriteLine("b\nc");
        // Nothing reaches the file before Close.
        EXPECT_EQ(ReadBytes(p), "old content\r\n");
        w.Close();
    }
    EXPECT_EQ(ReadBytes(p), "a\r\nb\nc\r\n");
    {
        TextWriter w(p, WriteMode::Append);
        w.WriteLine("d");
        w.Close();
    }
    EXPECT_EQ(ReadBytes(p), "a\r\nb\nc\r\nd\r\n");
    {
        // A writer dropped without Close changes nothing.
        TextWriter w(p, WriteMode::Write);
        w.WriteLine("lost");
    }
    EXPECT_EQ(ReadBytes(p), "a\r\nb\nc\r\nd\r\n");
    // No temporary file is left beside it.
    EXPECT_EQ(ListFiles(dir.path()), std::vector<std::string>{"f.txt"});
}

TEST(TextWriter, RefusesReadOnlyFilesAndFoldersAndKeepsTheirContent) {
    TempDir dir;
    const fs::path p = dir / "ro.txt";
    WriteBytes(p, "keep\r\n");
    fs::permissions(p, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_THROW(TextWriter(p, WriteMode::Write), StoreError);
    EXPECT_THROW(ReplaceFile(p, "x"), StoreError);
    EXPECT_THROW(DeleteFile(p), StoreError);
    EXPECT_EQ(ReadBytes(p), "keep\r\n");

    fs::create_directory(dir / "sub.txt");
    EXPECT_THROW(ReplaceFile(dir / "sub.txt", "x"), StoreError);
    EXPECT_THROW(TextWriter(dir / "sub.txt", WriteMode::Append), StoreError);
    EXPECT_TRUE(fs::is_directory(dir / "sub.txt"));
    // A missing folder.
    EXPECT_THROW(ReplaceFile(dir / "nofolder/x.txt", "x"), StoreError);
}

TEST(ReplaceFile, KeepsPermissionsAndCreatesOrEmpties) {
    TempDir dir;
    const fs::path p = dir / "f.txt";
    CreateTextFile(p);
    EXPECT_EQ(ReadBytes(p), "");
    ReplaceFile(p, "abc");
    fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    ReplaceFile(p, "def");
    EXPECT_EQ(ReadBytes(p), "def");
    EXPECT_EQ(fs::status(p).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    CreateTextFile(p);
    EXPECT_EQ(ReadBytes(p), "");
}

TEST(ReplaceFile, NeverWritesThroughALink) {
    TempDir app;
    TempDir elsewhere;
    WriteBytes(app / "Data/Shared.txt", "a;1\r\n");
    fs::create_symlink(app / "Data/Shared.txt", app / "Data/Link.txt");
    CheckNoLinkOutside(app.path(), app / "Data/Link.txt");
    ReplaceFile(app / "Data/Link.txt", "b;1\r\n");  // the link is replaced, its file stays
    EXPECT_FALSE(fs::is_symlink(app / "Data/Link.txt"));
    EXPECT_EQ(ReadBytes(app / "Data/Link.txt"), "b;1\r\n");
    EXPECT_EQ(ReadBytes(app / "Data/Shared.txt"), "a;1\r\n");

    // A link that leads nowhere is refused, and stays.
    fs::create_symlink(app / "Data/Gone.txt", app / "Data/Dangling.txt");
    EXPECT_THROW(ReplaceFile(app / "Data/Dangling.txt", "c;1\r\n"), StoreError);
    EXPECT_THROW(CheckNoLinkOutside(app.path(), app / "Data/Dangling.txt"), StoreError);
    EXPECT_TRUE(fs::is_symlink(app / "Data/Dangling.txt"));
    EXPECT_FALSE(fs::exists(app / "Data/Gone.txt"));

    WriteBytes(elsewhere / "Out.txt", "x;1\r\n");
    fs::create_symlink(elsewhere / "Out.txt", app / "Data/Out.txt");
    EXPECT_THROW(CheckNoLinkOutside(app.path(), app / "Data/Out.txt"), StoreError);
    CheckNoLinkOutside(app.path(), app / "Data/Shared.txt");  // no link: nothing to refuse
}

TEST(DeleteAndList, DeleteFailsOnMissingAndListSortsRegularFiles) {
    TempDir dir;
    WriteBytes(dir / "b.txt", "");
    WriteBytes(dir / "B.txt", "");
    WriteBytes(dir / "a.bak", "");
    fs::create_directory(dir / "c.txt");
    EXPECT_EQ(ListFiles(dir.path()), (std::vector<std::string>{"B.txt", "a.bak", "b.txt"}));
    DeleteFile(dir / "b.txt");
    EXPECT_FALSE(fs::exists(dir / "b.txt"));
    EXPECT_THROW(DeleteFile(dir / "b.txt"), StoreError);
    EXPECT_THROW(DeleteFile(dir / "c.txt"), StoreError);
    EXPECT_THROW(ListFiles(dir / "none"), StoreError);
    EXPECT_TRUE(FileExists(dir / "a.bak"));
    EXPECT_FALSE(FileExists(dir / "c.txt"));
}

TEST(LastLineUnended, SeesAMissingFinalLineEnd) {
    TempDir dir;
    WriteBytes(dir / "a", "x;1");
    WriteBytes(dir / "b", "x;1\r\n");
    WriteBytes(dir / "c", "x\r");
    WriteBytes(dir / "d", "");
    EXPECT_TRUE(LastLineUnended(dir / "a"));
    EXPECT_FALSE(LastLineUnended(dir / "b"));
    EXPECT_FALSE(LastLineUnended(dir / "c"));
    EXPECT_FALSE(LastLineUnended(dir / "d"));
    EXPECT_FALSE(LastLineUnended(dir / "none"));
}

TEST(ForEachFileLine, ReadsInPiecesAsForEachLineReadsTheWhole) {
    TempDir dir;
    // Lines across the first piece's end (a mebibyte): a CR LF cut between the two pieces, a
    // line running on into the second piece, a leading byte-order mark, a last line unended.
    const size_t piece = size_t{1} << 20;
    std::string text =
        "\xEF\xBB\xBF"
        "first\r\n";
    text += std::string(piece - 1 - text.size(), 'a') + "\r\nsecond" + std::string(piece, 'b') +
            "\n\nlast";
    WriteBytes(dir / "f", text);
    std::vector<std::string> seen;
    ForEachFileLine(dir / "f", [&](std::string_view line) {
        seen.emplace_back(line);
        return true;
    });
    EXPECT_EQ(seen, SplitLines(WithoutBom(text)));

    // It stops when told to.
    int calls = 0;
    ForEachFileLine(dir / "f", [&](std::string_view) { return ++calls < 2; });
    EXPECT_EQ(calls, 2);
    EXPECT_THROW(ForEachFileLine(dir / "none", [](std::string_view) { return true; }), StoreError);
}

TEST(ReplaceFileWith, WritesWhatIsProducedOrLeavesTheFileAsItWas) {
    TempDir dir;
    WriteBytes(dir / "f", "old");
    std::string expected;
    ReplaceFileWith(dir / "f", [&](ByteSink& sink) {
        for (int i = 0; i < 150000; ++i) {  // more than a piece, in small and large parts
            const std::string part = std::to_string(i) + ";1\r\n";
            sink.Append(part);
            expected += part;
        }
        const std::string large(3 << 20, 'x');
        sink.Append(large);
        expected += large;
    });
    EXPECT_EQ(ReadBytes(dir / "f"), expected);

    WriteBytes(dir / "f", "old");
    EXPECT_THROW(ReplaceFileWith(dir / "f",
                                 [](ByteSink& sink) {
                                     sink.Append(std::string(2 << 20, 'y'));
                                     throw StoreError("no text");
                                 }),
                 StoreError);
    EXPECT_EQ(ReadBytes(dir / "f"), "old");
    EXPECT_EQ(ListFiles(dir.path()), std::vector<std::string>{"f"});  // no temporary file left
}

TEST(TextReader, UnreadableFileReportsTheSystemReason) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads files whatever their permissions";
    }
    TempDir dir;
    WriteBytes(dir / "secret.txt", "x");
    fs::permissions(dir / "secret.txt", fs::perms::none);
    try {
        ReadFileBytes(dir / "secret.txt");
        FAIL() << "an unreadable file was read";
    } catch (const StoreError& e) {
        EXPECT_NE(e.description().find("Permission denied"), std::string::npos);
    }
}

}  // namespace
}  // namespace kestrane
