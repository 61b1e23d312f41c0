#include "ByteCount.h"

#include <array>

namespace ombrix::platform {

namespace {

// Exact arithmetic: a byte count times 100 does not fit in 64 bits.
__extension__ typedef unsigned __int128 Wide;

struct Unit {
    const char* name;
    int fractionDigits;
};

constexpr std::array<Unit, 6> kUnits{{
    {"KB", 0},
    {"MB", 1},
    {"GB", 2},
    {"TB", 2},
    {"PB", 2},
    {"EB", 2},
}};

std::string grouped(std::uint64_t n) {
    std::string digits = std::to_string(n);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out.push_back(',');
        }
        out.push_back(digits[i]);
    }
    return out;
}

std::string formatMagnitude(std::uint64_t bytes) {
    if (bytes == 0) {
        return "Zero KB";
    }
    if (bytes == 1) {
        return "1 byte";
    }
    if (bytes < 1024) {
        return grouped(bytes) + " bytes";
    }
    // The unit is picked from the exact value, before rounding: 1,048,575
    // bytes stay "1,024 KB" rather than becoming "1 MB".
    std::size_t unit = 0;
    Wide divisor = 1024;
    while (unit + 1 < kUnits.size() && bytes / divisor >= 1024) {
        divisor *= 1024;
        ++unit;
    }
    const int digits = kUnits[unit].fractionDigits;
    Wide scale = 1;
    for (int i = 0; i < digits; ++i) {
        scale *= 10;
    }
    const Wide scaled = static_cast<Wide>(bytes) * scale;
    Wide rounded = scaled / divisor;
    const Wide remainder = scaled % divisor;
    const Wide half = divisor / 2;
    if (remainder > half || (remainder == half && rounded % 2 == 1)) {
        ++rounded; // half to even
    }
    std::string text = grouped(static_cast<std::uint64_t>(rounded / scale));
    auto fraction = static_cast<std::uint64_t>(rounded % scale);
    int kept = digits;
    while (kept > 0 && fraction % 10 == 0) {
        fraction /= 10;
        --kept;
    }
    if (kept > 0) {
        std::string f = std::to_string(fraction);
        text += '.' + std::string(static_cast<std::size_t>(kept) - f.size(), '0') + f;
    }
    return text + ' ' + kUnits[unit].name;
}

} // namespace

std::string formatByteCount(std::int64_t bytes) {
    if (bytes < 0) {
        // Negate in unsigned arithmetic so that INT64_MIN does not overflow.
        return '-' + formatMagnitude(0 - static_cast<std::uint64_t>(bytes));
    }
    return formatMagnitude(static_cast<std::uint64_t>(bytes));
}

} // namespace ombrix::platform
