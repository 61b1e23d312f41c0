#include "MacConversions.h"

#include "Utf8.h"

#include <cstring>
#include <string_view>

namespace ombrix::platform::mac {

std::optional<ProcessUsage> usageFrom(int rc, const RusageFields& fields) {
    if (rc != 0) {
        return std::nullopt;
    }
    ProcessUsage usage;
    usage.cpuTime = fields.userTime + fields.systemTime; // unsigned: wraps, never UB
    usage.physFootprint = fields.physFootprint;
    usage.startTime = fields.startAbstime;
    return usage;
}

std::optional<VmCounters> vmCountersFrom(int kr, const VmStatisticsFields& fields) {
    if (kr != 0) {
        return std::nullopt;
    }
    VmCounters counters;
    counters.wire = fields.wire;
    counters.purgeable = fields.purgeable;
    counters.compressor = fields.compressor;
    counters.external = fields.external;
    counters.internal = fields.internal;
    return counters;
}

std::optional<std::string> pathFrom(int rc, std::span<const char> buffer) {
    if (rc <= 0) {
        return std::nullopt;
    }
    // memchr stays inside the buffer, where strlen would run on past a
    // buffer the kernel filled to the last byte.
    const void* nul = std::memchr(buffer.data(), '\0', buffer.size());
    const std::size_t length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer.data())
                       : buffer.size();
    return toValidUtf8(std::string_view(buffer.data(), length));
}

std::optional<Pid> parentFrom(int rc, std::size_t length, std::int32_t ppid) {
    if (rc != 0 || length == 0) {
        return std::nullopt;
    }
    return ppid;
}

std::optional<std::uint32_t> ownerFrom(int rc, std::size_t length, std::uint32_t realUid) {
    if (rc != 0 || length == 0) {
        return std::nullopt;
    }
    return realUid;
}

bool aliveFrom(int rc, std::size_t length, char stat) {
    constexpr char zombie = 5; // SZOMB
    return rc == 0 && length != 0 && stat != zombie;
}

std::optional<Pid> sessionFrom(int sid) {
    return sid >= 0 ? std::optional<Pid>(sid) : std::nullopt;
}

Signalled signalledFrom(int rc, int error) {
    constexpr int notPermitted = 1; // EPERM, the same number on every Unix
    if (rc == 0) {
        return Signalled::Sent;
    }
    return error == notPermitted ? Signalled::NotPermitted : Signalled::Gone;
}

Timebase timebaseFrom(int kr, std::uint32_t numer, std::uint32_t denom) {
    if (kr != 0 || denom == 0) {
        return {};
    }
    return {numer, denom};
}

std::uint64_t physicalMemoryFrom(int rc, std::uint64_t bytes) {
    return rc == 0 ? bytes : 0;
}

std::optional<std::uint64_t> swapUsedFrom(int rc, std::uint64_t used) {
    if (rc != 0) {
        return std::nullopt;
    }
    return used;
}

std::optional<std::int32_t> pressureLevelFrom(int rc, std::int32_t level) {
    if (rc != 0) {
        return std::nullopt;
    }
    return level;
}

bool isSingleProcess(Pid pid) {
    return pid > 0;
}

} // namespace ombrix::platform::mac
