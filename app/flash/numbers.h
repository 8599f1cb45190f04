// Reading numbers the way the program's text boxes and options are read: a text holds a number
// when it is an optional sign, digits and an optional fraction, with spaces around; whole
// numbers are rounded half to the even neighbour and must fit their width.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace kestrane {

std::optional<double> NumericValue(const QString& text);
std::optional<double> NumericValue(const std::string& text);

// Round half to even into a 16-bit or 32-bit signed number; nothing when it does not fit.
std::optional<std::int16_t> ToInt16(double value);
std::optional<std::int32_t> ToInt32(double value);

// A colour value 0x00BBGGRR (or a system-colour reference, top bit set) as a QColor; nothing
// when the text is not a whole number or not a colour.
std::optional<std::uint32_t> ColorValue(const std::string& text);

// The text of a message for display (the code page's one decoder): valid UTF-8 as UTF-8,
// anything else as Windows-1252.
QString DisplayText(const std::string& bytes);

}  // namespace kestrane
