// The ANSI code page of the state files. The files hold bytes and the store never re-encodes a
// line it does not change; text is decoded only for display. Bytes that are valid UTF-8 are
// shown as UTF-8, anything else as Windows-1252, so files written on Windows read right. Text
// that the user types is written as UTF-8.
#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace platform::codepage {

// Whether bytes are well-formed UTF-8: no overlong forms, no surrogates, nothing beyond
// U+10FFFF, no truncated sequence.
bool IsValidUtf8(std::string_view bytes);

// Every byte as its Windows-1252 character. The five bytes that code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same number, as the
// system's own conversion does, so no byte is lost.
QString DecodeWindows1252(std::string_view bytes);

// The text to show for bytes from a state file or a file name: UTF-8 when the bytes are valid
// UTF-8, Windows-1252 otherwise. Every character is kept, so EncodeTyped gives valid UTF-8 back
// byte for byte. The store's readers leave out a byte-order mark at the start of a file (it
// says how the file is encoded); one inside a text is a character, U+FEFF, which shows as
// nothing and is written back unchanged.
QString DecodeForDisplay(std::string_view bytes);

// The Windows-1252 bytes that DecodeWindows1252 turns into text, or nothing when the text has a
// character that code page lacks.
std::optional<std::string> EncodeWindows1252(const QString& text);

// The bytes to store for text the user typed: UTF-8.
std::string EncodeTyped(const QString& text);

}  // namespace platform::codepage
