// The position options and the autostart box are narrower (11 and 12 pixels) than the
// indicator the style draws (14 pixels in Qt's Fusion style, at every scale), which a plain
// option button or check box draws from its left edge and its own box then cuts off on the
// right. These two draw the style's indicator fitted into their box instead, whole at every
// scale.
#pragma once

#include <QCheckBox>
#include <QRadioButton>
#include <QStyle>

namespace kestrane {

// Paints the button's indicator (the style's option circle or tick box) as large as fits into
// its box and centred there, with its state (ticked, pressed, under the pointer, disabled)
// and a focus frame while it has the focus.
void PaintFittedIndicator(QAbstractButton& button, QStyle::PrimitiveElement indicator);

class FittedRadioButton : public QRadioButton {
  public:
    using QRadioButton::QRadioButton;

  protected:
    void paintEvent(QPaintEvent*) override {
        PaintFittedIndicator(*this, QStyle::PE_IndicatorRadioButton);
    }
};

class FittedCheckBox : public QCheckBox {
  public:
    using QCheckBox::QCheckBox;

  protected:
    void paintEvent(QPaintEvent*) override {
        PaintFittedIndicator(*this, QStyle::PE_IndicatorCheckBox);
    }
};

}  // namespace kestrane
