#include "platform/dialogs/qt_dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QMessageBox>

#include <cmath>

namespace platform {

MsgBoxResult QtDialogs::MsgBox(const QString& prompt, MsgBoxStyle style, const QString& title) {
    QMessageBox box(parent_);
    box.setWindowTitle(title);
    box.setText(prompt);
    // The text can be selected and copied (an error description is worth passing on); Return
    // and Escape still answer the box.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (style == MsgBoxStyle::OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    return box.exec() == QMessageBox::Ok ? MsgBoxResult::Ok : MsgBoxResult::Cancel;
}

void QtDialogs::ShowColor(CommonDialogState& state) {
    const QColor initial =
        (state.flags & CC_RGBINIT)
            ? QColor(state.color & 0xff, (state.color >> 8) & 0xff, (state.color >> 16) & 0xff)
            : QColor(Qt::black);
    const QColor chosen = QColorDialog::getColor(initial, parent_);
    if (chosen.isValid()) {
        state.color = static_cast<std::uint32_t>(chosen.red()) |
                      (static_cast<std::uint32_t>(chosen.green()) << 8) |
                      (static_cast<std::uint32_t>(chosen.blue()) << 16);
    }
}

void QtDialogs::ShowFont(CommonDialogState& state) {
    bool ok = false;
    QFont initial;
    if (!state.fontName.isEmpty()) {
        initial.setFamily(state.fontName);
    }
    if (state.fontSize > 0) {
        initial.setPointSizeF(state.fontSize);
    }
    initial.setBold(state.fontBold);
    initial.setItalic(state.fontItalic);
    const QFont chosen = QFontDialog::getFont(&ok, initial, parent_);
    if (ok) {
        state.fontName = chosen.family();
        state.fontSize = chosen.pointSizeF();
        state.fontBold = chosen.bold();
        state.fontItalic = chosen.italic();
    }
}

void QtDialogs::ShowOpen(CommonDialogState& state) {
    const QString path = QFileDialog::getOpenFileName(parent_);
    state.fileName = path;
    state.fileTitle = path.isEmpty() ? QString() : QFileInfo(path).fileName();
}

}  // namespace platform
