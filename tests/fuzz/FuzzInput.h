#pragma once

// Splits a fuzzer's bytes into the pieces a harness needs, the same way for
// every harness and every seed file.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ombrix::fuzz {

inline std::string_view bytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Lines of the input as text (invalid UTF-8 becomes U+FFFD, as the listing never gives).
inline QStringList lines(std::string_view input) {
    return QString::fromUtf8(input.data(), qsizetype(input.size())).split(u'\n');
}

} // namespace ombrix::fuzz
