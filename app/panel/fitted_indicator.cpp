#include "app/panel/fitted_indicator.h"

#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

#include <algorithm>

namespace kestrane {

void PaintFittedIndicator(QAbstractButton& button, QStyle::PrimitiveElement indicator) {
    QStylePainter p(&button);
    QStyleOptionButton opt;
    opt.initFrom(&button);
    opt.state |= button.isChecked() ? QStyle::State_On : QStyle::State_Off;
    if (button.isDown()) {
        opt.state |= QStyle::State_Sunken;
    }
    const int side = std::min(button.width(), button.height());
    opt.rect = QRect((button.width() - side) / 2, (button.height() - side) / 2, side, side);
    p.drawPrimitive(indicator, opt);
    if (button.hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(&button);
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

}  // namespace kestrane
