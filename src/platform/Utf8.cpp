#include "Utf8.h"

namespace ombrix::platform {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

struct Scan {
    std::size_t length; // bytes consumed
    bool valid;
};

// Follows the table of well-formed byte sequences of the Unicode standard: the
// allowed range of the second byte is what rules out overlongs, surrogates
// and code points above U+10FFFF. An invalid sequence consumes its maximal
// well-formed prefix (at least one byte), so each U+FFFD stands for one
// broken character, as browsers do.
Scan scan(std::string_view s) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80) {
        return {1, true};
    }
    std::size_t length = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        lo = b0 == 0xE0 ? 0xA0 : 0x80;
        hi = b0 == 0xED ? 0x9F : 0xBF;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        lo = b0 == 0xF0 ? 0x90 : 0x80;
        hi = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        return {1, false}; // stray continuation byte, C0, C1 or F5..FF
    }
    std::size_t i = 1;
    while (i < length && i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < lo || b > hi) {
            break;
        }
        lo = 0x80;
        hi = 0xBF;
        ++i;
    }
    return {i, i == length};
}

} // namespace

std::string toValidUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const Scan s = scan(bytes);
        out.append(s.valid ? bytes.substr(0, s.length) : kReplacement);
        bytes.remove_prefix(s.length);
    }
    return out;
}

} // namespace ombrix::platform
