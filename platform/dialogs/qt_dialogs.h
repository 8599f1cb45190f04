// The real dialogs, drawn by Qt Widgets.
#pragma once

#include "platform/dialogs/dialogs.h"

class QWidget;

namespace platform {

class QtDialogs : public Dialogs {
  public:
    // Dialogs are centred over parent when one is given.
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    MsgBoxResult MsgBox(const QString& prompt, MsgBoxStyle style, const QString& title) override;
    void ShowColor(CommonDialogState& state) override;
    void ShowFont(CommonDialogState& state) override;
    void ShowOpen(CommonDialogState& state) override;

  private:
    QWidget* parent_;
};

}  // namespace platform
