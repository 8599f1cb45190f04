// Text in the ANSI code page, as the "A" calls of the window manager and the shell take it:
// bytes, decoded only for display. Valid UTF-8 is read as UTF-8, anything else as
// Windows-1252, so text written on Windows shows right. Text going the other way is UTF-8.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace platform::win {

QString DecodeAnsi(std::string_view bytes);

// The bytes of a C string of at most maxBytes bytes: up to the first NUL, or all maxBytes
// when there is none (a full fixed-size field). A null pointer gives an empty text.
std::string_view AnsiField(const char* text, std::size_t maxBytes);

std::string EncodeAnsi(const QString& text);

// One byte per character in Windows-1252, "?" for a character that it lacks: for fixed-size
// fields counted in characters, where UTF-8 would not keep the count.
std::string EncodeWindows1252(const QString& text);

}  // namespace platform::win
