// The Setup tab's choice of screen (CboScreen): the messages go to the primary screen, to the
// screen with the pointer, or to every screen at once. A change, by the user or from code, is
// taken at once by the flash window (from its next message) and written to the screen choice
// file; a file that cannot be written is said in a message box, and the choice stays in use.
#pragma once

#include "app/panel/panel_context.h"
#include "app/store/screen_choice.h"

#include <QComboBox>

namespace kestrane {

class ScreenChoiceBox : public QComboBox {
    Q_OBJECT
  public:
    ScreenChoiceBox(PanelContext& context, QWidget* parent);

    ScreenChoice Choice() const;
    // Shows a choice read from the file, without running the change behaviour.
    void ShowChoice(ScreenChoice choice);

    // The change behaviour: the shared state takes the choice and the file is written.
    void CboScreen_Click();

  private:
    PanelContext& ctx_;
};

}  // namespace kestrane
