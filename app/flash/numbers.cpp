#include "app/flash/numbers.h"

#include "platform/codepage/codepage.h"

#include <cmath>

namespace kestrane {

std::optional<double> NumericValue(const QString& text) {
    const QString t = text.trimmed();
    int i = 0;
    const int n = static_cast<int>(t.size());
    if (i < n && (t[i] == u'+' || t[i] == u'-')) {
        ++i;
    }
    int digits = 0;
    while (i < n && t[i].isDigit() && t[i].unicode() < 128) {
        ++i;
        ++digits;
    }
    if (i < n && t[i] == u'.') {
        ++i;
        while (i < n && t[i].isDigit() && t[i].unicode() < 128) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0 || i != n) {
        return std::nullopt;
    }
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok) {
        return std::nullopt;
    }
    return v;
}

std::optional<double> NumericValue(const std::string& text) {
    return NumericValue(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

namespace {
std::optional<long long> RoundEven(double value, long long lo, long long hi) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    const double r = std::nearbyint(value);  // the default rounding mode: half to even
    if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) {
        return std::nullopt;
    }
    return static_cast<long long>(r);
}
}  // namespace

std::optional<std::int16_t> ToInt16(double value) {
    auto r = RoundEven(value, INT16_MIN, INT16_MAX);
    if (!r) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(*r);
}

std::optional<std::int32_t> ToInt32(double value) {
    auto r = RoundEven(value, INT32_MIN, INT32_MAX);
    if (!r) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*r);
}

std::optional<std::uint32_t> ColorValue(const std::string& text) {
    const auto v = NumericValue(text);
    if (!v) {
        return std::nullopt;
    }
    const auto whole = ToInt32(*v);
    if (!whole) {
        return std::nullopt;
    }
    const auto bits = static_cast<std::uint32_t>(*whole);
    if (bits <= 0xFFFFFFu) {
        return bits;
    }
    if ((bits & 0xFFFFFF00u) == 0x80000000u) {
        return bits;  // a system-colour reference
    }
    return std::nullopt;
}

QString DisplayText(const std::string& bytes) {
    return platform::codepage::DecodeForDisplay(bytes);
}

}  // namespace kestrane
