#include "app/panel/screen_choice_box.h"

#include "app/flash/run_control.h"
#include "app/store/store_error.h"

#include <QSignalBlocker>

namespace kestrane {

ScreenChoiceBox::ScreenChoiceBox(PanelContext& context, QWidget* parent)
    : QComboBox(parent), ctx_(context) {
    setObjectName(QStringLiteral("CboScreen"));
    const struct {
        ScreenChoice choice;
        QString text;
        QString tip;
    } items[] = {
        {ScreenChoice::Primary, tr("Primary screen"), tr("The main screen of the desktop")},
        {ScreenChoice::Pointer, tr("Pointer's screen"),
         tr("The screen the mouse pointer is on when the message shows")},
        {ScreenChoice::Every, tr("Every screen"), tr("The same message on every screen at once")},
    };
    for (const auto& item : items) {
        addItem(item.text, static_cast<int>(item.choice));
        setItemData(count() - 1, item.tip, Qt::ToolTipRole);
    }
    setToolTip(tr("The screen the messages appear on"));
    connect(this, &QComboBox::currentIndexChanged, this, [this] { CboScreen_Click(); });
}

ScreenChoice ScreenChoiceBox::Choice() const {
    return static_cast<ScreenChoice>(currentData().toInt());
}

void ScreenChoiceBox::ShowChoice(ScreenChoice choice) {
    const QSignalBlocker block(this);
    setCurrentIndex(findData(static_cast<int>(choice)));
}

void ScreenChoiceBox::CboScreen_Click() {
    ctx_.State().screenChoice = Choice();
    try {
        SaveScreenChoice(ctx_.AppFolder(), Choice());
    } catch (const StoreError& e) {
        ctx_.Dialogs().MsgBox(QString::fromLocal8Bit(e.what()), platform::MsgBoxStyle::OkOnly,
                              RunControl::Title());
    }
}

}  // namespace kestrane
