// The Setup tab's choices of how a message looks and where it shows: position, colour and
// font, each saved to the options file at once.
#include "app/flash/numbers.h"
#include "app/panel/setup_page.h"
#include "app/store/flash_options.h"

#include <exception>
#include <string>

namespace kestrane {

void SetupPage::SetPosition(const char* word) {
    ctx_.State().flashOptions.MsgOption = word;
    ctx_.SaveOptions();
}

void SetupPage::ChbCenter_Click() {
    SetPosition("Center");
}
void SetupPage::ChbTopLeft_Click() {
    SetPosition("Top Left");
}
void SetupPage::ChbTopRight_Click() {
    SetPosition("Top Right");
}
void SetupPage::ChbRandomize_Click() {
    SetPosition("Random");
}

void SetupPage::PbColor_Click() {
    platform::CommonDialogState& dialog = ctx_.CommonDialog1();
    try {
        ctx_.Dialogs().ShowColor(dialog);
    } catch (const std::exception&) {
        // A dialog that cannot open leaves the colour it held.
    }
    // Confirmed or cancelled, the dialog's colour is taken.
    ctx_.State().flashOptions.Color = std::to_string(static_cast<std::int32_t>(dialog.color));
    ctx_.SaveOptions();
}

void SetupPage::PBFont_Click() {
    platform::CommonDialogState& dialog = ctx_.CommonDialog1();
    dialog.flags = platform::CF_SCREENFONTS | platform::CF_PRINTERFONTS;
    try {
        ctx_.Dialogs().ShowFont(dialog);
    } catch (const std::exception&) {
        // A dialog that cannot open leaves the values it held.
    }
    FlashOptions& o = ctx_.State().flashOptions;
    o.SelFont = dialog.fontName.toStdString();
    if (const auto size = ToInt16(dialog.fontSize)) {
        o.SelFontSize = *size;
    }
    o.SelFontBold = dialog.fontBold;
    o.SelFontItalic = dialog.fontItalic;
    if (o.SelFont.empty()) {
        o.SelFont = "Arial";
    }
    ctx_.SaveOptions();
}

}  // namespace kestrane
