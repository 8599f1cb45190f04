#include "platform/codepage/codepage.h"

#include <QStringDecoder>

namespace platform::codepage {

namespace {

// Windows-1252 characters for the bytes 0x80-0x9F; the rest equal their Latin-1 code points.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) {
                lo = 0xA0;  // no overlong forms
            } else if (c == 0xED) {
                hi = 0x9F;  // no surrogates
            }
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) {
                lo = 0x90;
            } else if (c == 0xF4) {
                hi = 0x8F;  // nothing beyond U+10FFFF
            }
        } else {
            return false;
        }
        if (n - i < length || s[i + 1] < lo || s[i + 1] > hi) {
            return false;
        }
        for (size_t k = 2; k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

QString DecodeWindows1252(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        text.append(QChar((c >= 0x80 && c <= 0x9F) ? kHighControls[c - 0x80] : char16_t(c)));
    }
    return text;
}

QString DecodeForDisplay(std::string_view bytes) {
    if (IsValidUtf8(bytes)) {
        // Every character as it stands, a leading byte-order mark included (QString::fromUtf8
        // drops one), so that the text written back is the same bytes.
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        return utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
    return DecodeWindows1252(bytes);
}

std::optional<std::string> EncodeWindows1252(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<size_t>(text.size()));
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            bytes += static_cast<char>(c);
            continue;
        }
        int found = -1;
        for (int i = 0; i < 32; ++i) {
            if (kHighControls[i] == c) {
                found = i;
                break;
            }
        }
        if (found < 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>(0x80 + found);
    }
    return bytes;
}

std::string EncodeTyped(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace platform::codepage
