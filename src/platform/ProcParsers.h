#pragma once

// Pure parsers for the text files of Linux's /proc and /sys. They take the
// file's contents and never touch the file system, so every edge case can be
// tested on strings. Garbage and truncated text never crash: they give an
// absent result or count as missing lines.

#include "Kernel.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace ombrix::platform::proc {

// The fields of /proc/PID/stat the monitor needs.
struct Stat {
    Pid parent = 0;
    std::uint64_t userTicks = 0;   // clock ticks, whole thread group
    std::uint64_t systemTicks = 0; // clock ticks, whole thread group
    std::uint64_t startTicks = 0;  // clock ticks after boot; 0 when the text stops short of it
    std::optional<Pid> session;    // absent when that field is not a number
    char state = '\0';             // R, S, D, Z (ended, not yet reaped), ...
};

// Absent when the text is cut before the system-time field or a needed field
// is not a number. The command name may hold any bytes, including ") (".
std::optional<Stat> parseStat(std::string_view text);

// Memory lines of /proc/PID/status, in KiB; a missing line reads 0 (kernel
// threads and zombies have none). With them the real user id of the Uid
// line, absent when there is none.
struct StatusMemory {
    std::uint64_t rssAnonKiB = 0;
    std::uint64_t vmSwapKiB = 0;
    std::uint64_t vmPteKiB = 0;
    std::optional<std::uint32_t> realUid;
};
StatusMemory parseStatus(std::string_view text);

// Whether /proc/PID/cgroup puts the process in a ".service" unit, on the
// unified hierarchy ("0::") or systemd's own ("name=systemd"). Scopes
// (app-….scope, session-….scope) are not services.
bool inServiceUnit(std::string_view cgroupText);

// The /proc/meminfo lines the memory snapshot is built from, in KiB.
struct MemInfo {
    std::uint64_t memTotal = 0;
    std::uint64_t memFree = 0;
    std::uint64_t anonPages = 0;
    std::uint64_t shmem = 0;
    std::uint64_t activeFile = 0;
    std::uint64_t inactiveFile = 0;
    std::uint64_t zswap = 0;
    std::uint64_t kReclaimable = 0;
};
// Absent when there is no MemTotal line: the text is not a meminfo. Other
// missing lines (older kernels have no Zswap or KReclaimable) read 0.
std::optional<MemInfo> parseMeminfo(std::string_view text);

// The counters in KiB units (counterUnitBytes() is 1024). `zramUsedBytes` is the memory
// that all zram devices take, which the kernel counts nowhere in meminfo.
// Wired is what remains of the used memory once everything attributable is
// taken away; it never wraps below zero.
VmCounters vmCountersFrom(const MemInfo& info, std::uint64_t zramUsedBytes);

// Bytes of swap in use: the Used column (KiB) of /proc/swaps summed over the
// rows whose device is not a zram device, which is compressed RAM, already
// counted as compressor memory. Absent when the text has no header line.
std::optional<std::uint64_t> parseSwaps(std::string_view text);

// The pressure level of /proc/pressure/memory: 4 when the `full` avg10 is at
// least 10 (%), 2 when the `some` avg10 is, else 1. Absent when neither line
// carries an avg10.
std::optional<std::int32_t> parsePressure(std::string_view text);

// mem_used_total, the third field of /sys/block/zramN/mm_stat, in bytes.
std::optional<std::uint64_t> parseZramMmStat(std::string_view text);

} // namespace ombrix::platform::proc
