// Message boxes and the common dialog object (colour, font and open-file dialogs), behind one
// small interface so that the program shows real dialogs and tests answer them without a
// screen.
#pragma once

#include <QString>

#include <cstdint>

namespace platform {

enum class MsgBoxStyle { OkOnly, OkCancel };
enum class MsgBoxResult { Ok, Cancel };

// Flags of the common dialog object that the program uses.
inline constexpr int CC_RGBINIT = 0x1;       // colour dialog: preselect `color`
inline constexpr int CC_FULLOPEN = 0x2;      // colour dialog: custom-colour part shown
inline constexpr int CF_SCREENFONTS = 0x1;   // font dialog
inline constexpr int CF_PRINTERFONTS = 0x2;  // font dialog

// What the one common dialog object holds between uses within a run of the program. The
// initial values are the ones the object has on first use.
struct CommonDialogState {
    std::uint32_t color = 0;  // 0x00BBGGRR, red in the low byte
    int flags = 0;
    QString fontName;
    double fontSize = 8.0;
    bool fontBold = false;
    bool fontItalic = false;
    QString fileName;   // full path chosen in the open-file dialog
    QString fileTitle;  // the chosen file's name without its folder
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // A modal message box with the given caption; OkOnly always answers Ok.
    virtual MsgBoxResult MsgBox(const QString& prompt, MsgBoxStyle style, const QString& title) = 0;

    // The colour dialog. On confirmation the chosen colour is stored in state.color; on
    // cancel the state keeps the colour it held. With CC_RGBINIT in flags the held colour is
    // preselected.
    virtual void ShowColor(CommonDialogState& state) = 0;

    // The font dialog. On confirmation face, size, bold and italic are stored in the state;
    // on cancel the state keeps its previous values.
    virtual void ShowFont(CommonDialogState& state) = 0;

    // The open-file dialog, offering every file. On confirmation fileName and fileTitle are
    // set; a cancelled dialog leaves both empty (nothing chosen).
    virtual void ShowOpen(CommonDialogState& state) = 0;
};

}  // namespace platform
