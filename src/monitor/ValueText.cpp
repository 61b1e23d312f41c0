#include "ValueText.h"

#include "ByteCount.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace ombrix {

QString ValueText::cpu(double percent) {
    return QString::asprintf("%.1f%%", percent);
}

QString ValueText::bytes(quint64 count) {
    constexpr auto largest = static_cast<quint64>(std::numeric_limits<std::int64_t>::max());
    return QString::fromStdString(
        platform::formatByteCount(static_cast<std::int64_t>(std::min(count, largest))));
}

} // namespace ombrix
