#include "platform/codepage/codepage.h"

#include <gtest/gtest.h>

namespace platform::codepage {
namespace {

TEST(Codepage, ValidUtf8IsRecognisedStrictly) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("plain ascii;1"));
    EXPECT_TRUE(IsValidUtf8("\xC3\xA9t\xC3\xA9"));          // été
    EXPECT_TRUE(IsValidUtf8("\xE2\x82\xAC"));               // €
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));           // U+1F600
    EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF"));           // U+10FFFF
    EXPECT_TRUE(IsValidUtf8(std::string_view("a\0b", 3)));  // NUL is a character
    EXPECT_FALSE(IsValidUtf8("\xE9t\xE9"));                 // été in Windows-1252
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));                  // overlong "/"
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));              // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));              // surrogate D800
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));          // beyond U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));                  // truncated
    EXPECT_FALSE(IsValidUtf8("\xE2\x28\xA1"));              // bad continuation
    EXPECT_FALSE(IsValidUtf8("\x80"));
    EXPECT_FALSE(IsValidUtf8("\xFF"));
}

TEST(Codepage, DisplayDecodesUtf8OrWindows1252) {
    EXPECT_EQ(DecodeForDisplay("\xC3\xA9t\xC3\xA9"), QString::fromUtf8("été"));
    EXPECT_EQ(DecodeForDisplay("\xE9t\xE9"), QString::fromUtf8("été"));
    EXPECT_EQ(DecodeForDisplay("\x80 \x93quoted\x94 \x9F"), QString::fromUtf8("€ “quoted” Ÿ"));
    // One invalid byte makes the whole text Windows-1252, valid sequences included.
    EXPECT_EQ(DecodeForDisplay("\xC3\xA9 \xE9"), QString::fromUtf8("Ã© é"));

    // Every byte maps to one character, the undefined ones to their control characters.
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    const QString decoded = DecodeWindows1252(all);
    ASSERT_EQ(decoded.size(), 256);
    EXPECT_EQ(decoded[0x41], QChar(u'A'));
    EXPECT_EQ(decoded[0x81], QChar(char16_t(0x81)));
    EXPECT_EQ(decoded[0x8A], QChar(char16_t(0x160)));
    EXPECT_EQ(decoded[0x9D], QChar(char16_t(0x9D)));
    EXPECT_EQ(decoded[0xA0], QChar(char16_t(0xA0)));
    EXPECT_EQ(decoded[0xFF], QChar(char16_t(0xFF)));
}

TEST(Codepage, TypedTextIsStoredAsUtf8AndReadsBack) {
    const QString typed = QString::fromUtf8("Grüße € 😀");
    const std::string bytes = EncodeTyped(typed);
    EXPECT_EQ(bytes, "Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC \xF0\x9F\x98\x80");
    EXPECT_EQ(DecodeForDisplay(bytes), typed);
    EXPECT_EQ(EncodeTyped(QString()), "");
}

// A line that begins with a byte-order mark (the first line of a file saved by an editor that
// writes one) keeps it: shown as the zero-width U+FEFF and written back as the same bytes, so
// editing such a message never changes bytes the user did not touch.
TEST(Codepage, LeadingByteOrderMarkIsKept) {
    const std::string bytes =
        "\xEF\xBB\xBF"
        "Calm \xEF\xBB\xBF";
    const QString shown = DecodeForDisplay(bytes);
    EXPECT_EQ(shown, QString(QChar(0xFEFF)) + QStringLiteral("Calm ") + QChar(0xFEFF));
    EXPECT_EQ(EncodeTyped(shown), bytes);
    EXPECT_EQ(EncodeTyped(DecodeForDisplay("\xEF\xBB\xBF")), "\xEF\xBB\xBF");
    const std::string_view controls("\xEF\xBB\xBF\x00\x10", 5);
    EXPECT_EQ(DecodeForDisplay(controls), QString(QChar(0xFEFF)) + QChar(0) + QChar(0x10));
    EXPECT_EQ(EncodeTyped(DecodeForDisplay(controls)), controls);
}

TEST(Codepage, Windows1252EncodingUndoesItsDecoding) {
    std::string every;
    for (int c = 1; c < 256; ++c) {
        every += static_cast<char>(c);
    }
    EXPECT_EQ(EncodeWindows1252(DecodeWindows1252(every)), every);
    EXPECT_EQ(EncodeWindows1252(QString::fromUtf8("caf\u00e9 \u20ac")), "caf\xE9 \x80");
    EXPECT_FALSE(EncodeWindows1252(QString::fromUtf8("\u0100")));  // not in the code page
    EXPECT_FALSE(EncodeWindows1252(QString(QChar(0x80))));         // a control it lacks
}

}  // namespace
}  // namespace platform::codepage
