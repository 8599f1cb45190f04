// The X keysym of a key of Qt's (Qt::Key), shared by the X grab and the portal's trigger text.
#pragma once

#include <QtCore/qnamespace.h>

#include <cstdint>

namespace platform::session {

// The X keysym of a Qt key: Latin-1 keys are their own code (letters in lower case, as the
// unshifted level of the keyboard map holds them); the others from the table.
inline uint32_t KeySymOf(int key) {
    if (key >= 0x20 && key <= 0xff) {
        return (key >= 'A' && key <= 'Z') ? uint32_t(key - 'A' + 'a') : uint32_t(key);
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) {
        return 0xffbe + uint32_t(key - Qt::Key_F1);
    }
    static const struct {
        int key;
        uint32_t sym;
    } kTable[] = {
        {Qt::Key_Escape, 0xff1b}, {Qt::Key_Tab, 0xff09},      {Qt::Key_Backspace, 0xff08},
        {Qt::Key_Return, 0xff0d}, {Qt::Key_Enter, 0xff8d},    {Qt::Key_Insert, 0xff63},
        {Qt::Key_Delete, 0xffff}, {Qt::Key_Pause, 0xff13},    {Qt::Key_Print, 0xff61},
        {Qt::Key_Home, 0xff50},   {Qt::Key_End, 0xff57},      {Qt::Key_Left, 0xff51},
        {Qt::Key_Up, 0xff52},     {Qt::Key_Right, 0xff53},    {Qt::Key_Down, 0xff54},
        {Qt::Key_PageUp, 0xff55}, {Qt::Key_PageDown, 0xff56}, {Qt::Key_ScrollLock, 0xff14},
        {Qt::Key_Menu, 0xff67}};
    for (const auto& e : kTable) {
        if (e.key == key) {
            return e.sym;
        }
    }
    return 0;
}

}  // namespace platform::session
