#include "app/panel/timing_box.h"

#include "app/flash/run_control.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>

namespace kestrane {

TimingBox::TimingBox(const QString& objectName, int limit, QWidget* parent)
    : QLineEdit(parent), limit_(limit) {
    setObjectName(objectName);
    setAlignment(Qt::AlignRight);
    // Text arrives by typing or pasting only, both filtered here.
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
}

bool TimingBox::IsTypedCharacter(const QKeyEvent& event) {
    const QString text = event.text();
    if (text.isEmpty()) {
        return false;  // arrows, Home, End, function keys
    }
    const char16_t c = text.at(0).unicode();
    if (c < 0x20 || c == 0x7f) {
        return false;  // Tab, Backspace, Delete, Enter, Escape and other control characters
    }
    return !(event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

int TimingBox::Room() const {
    return limit_ - static_cast<int>(text().size() - selectedText().size());
}

void TimingBox::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        InsertTyped(QApplication::clipboard()->text(QClipboard::Clipboard));
        event->accept();
        return;
    }
    if (IsTypedCharacter(*event)) {
        const QString text = event->text();
        if (DigitsOnly(text.at(0).unicode()) == 0 || Room() < 1) {
            event->accept();  // the character is discarded
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TimingBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton && QApplication::clipboard()->supportsSelection()) {
        // The selection is pasted where the pointer is, filtered like typing.
        setCursorPosition(cursorPositionAt(event->position().toPoint()));
        deselect();
        InsertTyped(QApplication::clipboard()->text(QClipboard::Selection));
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TimingBox::InsertTyped(const QString& text) {
    QString digits;
    const int room = Room();
    for (const QChar c : text) {
        if (digits.size() >= room) {
            break;
        }
        if (DigitsOnly(c.unicode()) != 0 && c != QChar(8)) {
            digits += c;
        }
    }
    if (!digits.isEmpty()) {
        insert(digits);
    }
}

}  // namespace kestrane
