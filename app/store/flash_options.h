// The one options record that shapes the flash: colour, display time, pause, position and
// font. The control panel, the preview and the flash window read it; the Setup tab and the
// commit of the timing boxes change it; the options file keeps it.
#pragma once

#include <cstdint>
#include <string>

namespace kestrane {

struct FlashOptions {
    // Text values are kept as the bytes the options file holds.
    std::string Color;             // decimal digits of a 0x00BBGGRR colour value
    std::int16_t Msgduration = 0;  // milliseconds a message stays on the screen
    std::int32_t TimeBtnMsgs = 0;  // whole seconds between two messages
    std::string MsgOption;         // "Center", "Top Left", "Top Right" or "Random"
    std::string SelFont;           // font face of the flashed text
    bool SelFontBold = false;
    bool SelFontItalic = false;
    std::int16_t SelFontSize = 0;  // whole points

    // A default-constructed record is what the program holds before the options file has
    // been read (empty texts, zeros, false); these are the values a new options file gets.
    static FlashOptions Defaults() {
        FlashOptions o;
        o.Color = "16711680";
        o.Msgduration = 100;
        o.TimeBtnMsgs = 1;
        o.MsgOption = "Center";
        o.SelFont = "Arial";
        o.SelFontBold = true;
        o.SelFontItalic = false;
        o.SelFontSize = 16;
        return o;
    }

    bool operator==(const FlashOptions&) const = default;
};

}  // namespace kestrane
