// Every /proc and /sys parser over the same text.

#include "ProcParsers.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ombrix::platform::proc;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)parseStat(text);
    (void)parseStatus(text);
    if (const auto info = parseMeminfo(text)) {
        (void)vmCountersFrom(*info, parseZramMmStat(text).value_or(0));
    }
    (void)parseSwaps(text);
    (void)parsePressure(text);
    return 0;
}
