// A timing box of the Setup tab (TxtMessageDuration, txtTimeBetweenMessages): what the user
// types passes the key filter DigitsOnly, and typing stops at the box's length limit. Both
// rules are about typing only: text the program sets (the options read at start-up, the spin
// pictures, the "60" correction) is shown whole, however long.
//
// Only typed characters go through the filter, as a key-press handler of typed characters sees
// them. Tab and Shift+Tab move the focus (and so commit the box), and Delete, Backspace, the
// arrows, Home, End and the editing shortcuts reach the box untouched. Pasted text (Ctrl+V,
// Shift+Insert, the middle button) goes in as if typed: its digits, up to the limit.
#pragma once

#include <QLineEdit>

namespace kestrane {

class TimingBox : public QLineEdit {
    Q_OBJECT
  public:
    TimingBox(const QString& objectName, int limit, QWidget* parent);

    // How many characters the user can type into the box.
    int Limit() const { return limit_; }

    // Whether a key press is a typed character (a printable character without Ctrl, Alt or
    // Meta), the only kind of key the digit filter sees.
    static bool IsTypedCharacter(const QKeyEvent& event);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    // Inserts text over the selection as if typed: its digits, while there is room.
    void InsertTyped(const QString& text);
    // Room left for typed characters: the limit less the text that stays after typing over the
    // selection.
    int Room() const;

    int limit_;
};

}  // namespace kestrane
