// Identifiers: creation and the braced text form.
#include <cstdio>
#include <random>

#include "platform/com/com_api.h"

namespace platform::com {

namespace {

int HexValue(char32_t c) {
    if (c >= '0' && c <= '9') {
        return static_cast<int>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<int>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<int>(c - 'A' + 10);
    }
    return -1;
}

// Reads "{8-4-4-4-12}" from any sequence of characters.
template <typename Text>
bool Parse(const Text& text, GUID* out) {
    if (text.size() != 38 || text[0] != '{' || text[37] != '}') {
        return false;
    }
    unsigned char bytes[16];
    std::size_t pos = 1;
    int byteIndex = 0;
    static constexpr int kGroups[] = {4, 2, 2, 2, 6};
    for (int g = 0; g < 5; ++g) {
        if (g > 0) {
            if (text[pos] != '-') {
                return false;
            }
            ++pos;
        }
        for (int b = 0; b < kGroups[g]; ++b) {
            const int hi = HexValue(static_cast<char32_t>(text[pos]));
            const int lo = HexValue(static_cast<char32_t>(text[pos + 1]));
            if (hi < 0 || lo < 0) {
                return false;
            }
            bytes[byteIndex++] = static_cast<unsigned char>(hi * 16 + lo);
            pos += 2;
        }
    }
    out->Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                 (std::uint32_t{bytes[2]} << 8) | bytes[3];
    out->Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    out->Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i) {
        out->Data4[i] = bytes[8 + i];
    }
    return true;
}

}  // namespace

HRESULT CoCreateGuid(GUID* pguid) {
    if (!pguid) {
        return E_INVALIDARG;
    }
    try {
        std::random_device device;
        std::uint32_t words[4];
        for (auto& w : words) {
            w = device();
        }
        pguid->Data1 = words[0];
        pguid->Data2 = static_cast<std::uint16_t>(words[1] >> 16);
        pguid->Data3 = static_cast<std::uint16_t>((words[1] & 0x0FFF) | 0x4000);
        for (int i = 0; i < 4; ++i) {
            pguid->Data4[i] = static_cast<std::uint8_t>(words[2] >> (8 * i));
            pguid->Data4[4 + i] = static_cast<std::uint8_t>(words[3] >> (8 * i));
        }
        pguid->Data4[0] = static_cast<std::uint8_t>((pguid->Data4[0] & 0x3F) | 0x80);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

std::string GuidToString(REFGUID g) {
    char buffer[39];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                  g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return std::string(buffer, 38);
}

bool GuidFromString(std::string_view text, GUID* guid) {
    return guid && Parse(text, guid);
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < 39) {
        return 0;
    }
    const std::string text = GuidToString(rguid);
    for (std::size_t i = 0; i < text.size(); ++i) {
        lpsz[i] = static_cast<OLECHAR>(text[i]);
    }
    lpsz[38] = u'\0';
    return 39;
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
    if (!lpsz || !pclsid) {
        return E_INVALIDARG;
    }
    if (!Parse(std::u16string_view(lpsz), pclsid)) {
        *pclsid = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    return S_OK;
}

}  // namespace platform::com
