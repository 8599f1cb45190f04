// The system colours of the layered-window calls, taken from the application palette where one
// matches, else from the classic system scheme.
#include "platform/layered/layered_window.h"

#include <QApplication>
#include <QPalette>

namespace platform::layered {
namespace {

std::uint32_t ToColorRef(const QColor& c) {
    return static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
           (static_cast<std::uint32_t>(c.blue()) << 16);
}

}  // namespace

std::uint32_t GetSysColor(int index) {
    const QPalette pal = QApplication::palette();
    switch (index) {
        case COLOR_WINDOW:
            return ToColorRef(pal.color(QPalette::Base));
        case COLOR_WINDOWTEXT:
            return ToColorRef(pal.color(QPalette::Text));
        case COLOR_CAPTIONTEXT:
        case 14:  // COLOR_HIGHLIGHTTEXT
            return ToColorRef(pal.color(QPalette::HighlightedText));
        case 13:  // COLOR_HIGHLIGHT
            return ToColorRef(pal.color(QPalette::Highlight));
        case COLOR_BTNFACE:
            return ToColorRef(pal.color(QPalette::Button));
        case 18:  // COLOR_BTNTEXT
            return ToColorRef(pal.color(QPalette::ButtonText));
        case 23:  // COLOR_INFOTEXT
            return ToColorRef(pal.color(QPalette::ToolTipText));
        case 24:  // COLOR_INFOBK
            return ToColorRef(pal.color(QPalette::ToolTipBase));
        default:
            break;
    }
    // The remaining indexes answer the classic system scheme.
    static const std::uint32_t classic[31] = {
        0xC8D0D4, 0x6A240A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
        0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
        0x808080, 0x808080, 0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
        0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0x6A240A, 0xC8D0D4};
    return (index >= 0 && index < 31) ? classic[index] : 0;
}

}  // namespace platform::layered
