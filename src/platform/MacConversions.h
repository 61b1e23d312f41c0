#pragma once

// What the macOS backend makes of the kernel's answers, kept apart from the
// calls themselves: plain fields and byte buffers in, `Kernel` values out. No
// macOS header is needed, so every rule here is compiled and tested on any OS;
// Kernel_mac.cpp only makes the calls and copies the records' fields in.
//
// The result codes are passed as the calls return them. A failed call always
// gives an absent value (or the documented fallback), never a half-read one.

#include "Kernel.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ombrix::platform::mac {

// Sizes of the records in the macOS 13 SDK; Kernel_mac.cpp asserts them.
inline constexpr std::size_t kRusageInfoV6Size = 464;   // struct rusage_info_v6
inline constexpr std::size_t kKinfoProcSize = 648;      // struct kinfo_proc
inline constexpr std::size_t kVnodePathSize = 1024;     // vnode_info_path.vip_path (MAXPATHLEN)
inline constexpr std::size_t kPidPathBufferSize = 4096; // PROC_PIDPATHINFO_MAXSIZE

// The rusage_info_v6 fields the monitor reads.
struct RusageFields {
    std::uint64_t userTime = 0;   // ri_user_time, timebase units
    std::uint64_t systemTime = 0; // ri_system_time, timebase units
    std::uint64_t physFootprint = 0;
    std::uint64_t startAbstime = 0; // ri_proc_start_abstime
};

// `rc` is proc_pid_rusage's result: anything but 0 means the process is gone
// or may not be inspected. CPU time is user + system, wrapping modulo 2^64
// like the rest of the CPU arithmetic.
std::optional<ProcessUsage> usageFrom(int rc, const RusageFields& fields);

// The vm_statistics64 page counts the snapshot is built from.
struct VmStatisticsFields {
    std::uint32_t wire = 0;       // wire_count
    std::uint32_t purgeable = 0;  // purgeable_count
    std::uint32_t compressor = 0; // compressor_page_count
    std::uint32_t external = 0;   // external_page_count
    std::uint32_t internal = 0;   // internal_page_count
};

// `kr` is host_statistics64's kern_return_t; only KERN_SUCCESS (0) counts.
std::optional<VmCounters> vmCountersFrom(int kr, const VmStatisticsFields& fields);

// A path the kernel wrote into a fixed-size buffer (proc_pidpath, vip_path).
// `rc` of 0 or less means no path. The text ends at the first NUL; a buffer
// without one is taken whole and never read past. Invalid UTF-8 is replaced.
std::optional<std::string> pathFrom(int rc, std::span<const char> buffer);

// sysctl KERN_PROC_PID: a non-zero result or a returned length of 0 (what a
// process that no longer exists gives) is a failure; else kp_eproc.e_ppid.
std::optional<Pid> parentFrom(int rc, std::size_t length, std::int32_t ppid);

// The same record's real user id (kp_eproc.e_pcred.p_ruid), under the same failure rule.
std::optional<std::uint32_t> ownerFrom(int rc, std::size_t length, std::uint32_t realUid);

// Whether the same record (kp_proc.p_stat) shows a process that has not ended:
// a zombie (SZOMB, 5) has, and so has one the record could not be read for.
bool aliveFrom(int rc, std::size_t length, char stat);

// getsid(): the kernel's record keeps only a pointer to the session, so the
// id is asked for alongside it; -1 (no such process) is unreadable.
std::optional<Pid> sessionFrom(int sid);

// What kill() returning `rc` with `error` set means for the signal.
Signalled signalledFrom(int rc, int error);

// mach_timebase_info. A failed call or a zero denominator gives 1/1 (plain
// nanoseconds) so that no later conversion divides by zero.
Timebase timebaseFrom(int kr, std::uint32_t numer, std::uint32_t denom);

// sysctlbyname("hw.memsize"): 0 when the query fails.
std::uint64_t physicalMemoryFrom(int rc, std::uint64_t bytes);

// sysctlbyname("vm.swapusage"): xsu_used when the query succeeds.
std::optional<std::uint64_t> swapUsedFrom(int rc, std::uint64_t used);

// sysctlbyname("kern.memorystatus_vm_pressure_level"): the level as read,
// including values other than 1, 2 and 4, when the query succeeds.
std::optional<std::int32_t> pressureLevelFrom(int rc, std::int32_t level);

// Whether `pid` names one process to send a signal to. kill() reads 0 as the
// caller's process group and negative values as groups or "every process
// we may signal", none of which a row of the process table stands for.
bool isSingleProcess(Pid pid);

} // namespace ombrix::platform::mac
