#pragma once

// The Linux kernel behind `Kernel`: /proc and /sys for the process and memory
// queries, /bin/ps for the listing. The roots are parameters so the parsing
// paths run in tests on fixture trees. Every answer is read afresh; only the
// descriptors of stat and status are kept between calls (ProcFileCache), so
// one instance is safe to share between threads.

#include "Kernel.h"
#include "ProcFileCache.h"
#include "ProcParsers.h"

#include <memory>
#include <string>

namespace ombrix::platform {

class LinuxKernel : public Kernel {
public:
    // `procRoot` stands for /proc and `sysRoot` for /sys, without a trailing "/".
    explicit LinuxKernel(std::string procRoot = "/proc", std::string sysRoot = "/sys");

    std::string listProcesses() const override;
    Pid ownPid() const override;
    Timebase timebase() const override;
    std::optional<ProcessUsage> usage(Pid pid) const override;
    std::optional<Pid> parent(Pid pid) const override;
    std::optional<std::string> executablePath(Pid pid) const override;
    std::optional<bool> startedAsService(Pid pid) const override;
    std::optional<Pid> session(Pid pid) const override;
    std::optional<std::uint32_t> owner(Pid pid) const override;
    std::optional<std::int64_t> startedAtUnixMs(Pid pid) const override;
    std::optional<std::string> userName(Pid pid) const override;
    std::optional<std::string> workingDirectory(Pid pid) const override;
    std::string deletedCheck(Pid pid, const std::string& cwd) const override;
    // Pids of 0 or below are ignored: kill() would read them as process
    // groups or "every process we may signal".
    Signalled terminate(Pid pid, std::uint64_t startTime) const override;
    Signalled forceQuit(Pid pid, std::uint64_t startTime) const override;
    // Read afresh, never through the cache: the answer decides a SIGKILL.
    Liveness liveness(Pid pid, std::uint64_t startTime) const override;
    std::optional<std::uint32_t> ownUser() const override;

    bool fileExists(const std::string& path) const override;
    std::string homeDirectory() const override;
    // In a child process (childProbe).
    std::unique_ptr<PathProbe> probePaths(std::vector<PathSearch> searches) const override;

    // Counters in KiB: counterUnitBytes() is 1024, not the MMU page size.
    std::optional<VmCounters> vmStatistics() const override;
    std::uint64_t counterUnitBytes() const override;
    // 0 when /proc/meminfo cannot be read.
    std::uint64_t physicalMemory() const override;
    std::optional<std::uint64_t> swapUsed() const override;
    std::optional<std::int32_t> pressureLevel() const override;

    std::int64_t monotonicNanos() const override;
    void sleepMicroseconds(std::int64_t micros) const override;

private:
    std::string pidPath(Pid pid, const char* entry) const;
    std::optional<proc::Stat> freshStat(Pid pid) const;
    // The stat read afresh. NoProcess only when the kernel confirms that no
    // process holds the pid (or that the one `pidfd` pins has ended), since
    // hidepid hides a living process's entry; Unreadable otherwise.
    enum class StatRead { Read, NoProcess, Unreadable };
    StatRead readStat(Pid pid, int pidfd, proc::Stat& stat) const;
    Signalled signalIfSame(Pid pid, std::uint64_t startTime, int signal) const;

    std::string m_proc;
    std::string m_sys;
    Timebase m_timebase;
    std::unique_ptr<ProcFileCache> m_files;
};

} // namespace ombrix::platform
