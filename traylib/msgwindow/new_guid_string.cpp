#include <random>

#include "traylib/msgwindow/msg_window.h"

namespace quorvil::modGeneral {

namespace {

// A random (version 4) GUID in memory order.
void CoCreateGuid(unsigned char (&bytes)[16]) {
    std::random_device source;
    for (int i = 0; i < 16; i += 4) {
        const unsigned int word = source();
        for (int j = 0; j < 4; ++j) {
            bytes[i + j] = static_cast<unsigned char>(word >> (8 * j));
        }
    }
    bytes[7] = static_cast<unsigned char>((bytes[7] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
}

}  // namespace

std::string GuidBytesToString(const unsigned char (&bytes)[16]) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < 16; ++i) {
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0F];
        if (i == 3 || i == 5 || i == 7 || i == 9) {
            text += '-';
        }
    }
    return "{" + text + "}";
}

std::string NewGuidString() {
    unsigned char bytes[16] = {};
    CoCreateGuid(bytes);
    return GuidBytesToString(bytes);
}

}  // namespace quorvil::modGeneral
