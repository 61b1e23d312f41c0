#pragma once

// The one seam between Ombrix and the operating system's process and memory
// services, split by concern (process table, process tree, files, memory
// counters, clock); `Kernel` is all of them. Everything above this layer asks
// through these interfaces, so tests can hand the monitor a fake process table
// and a fake clock.
//
// Standard C++ and the OS only: this layer is also compiled for macOS, where
// no Qt is at hand. One implementation file per OS is chosen by CMake.
//
// Failures are values: an absent optional means "could not be read" (the
// process is gone, belongs to another user, or the counter is unavailable).
// Nothing here throws.

#include "PathProbe.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::platform {

using Pid = std::int32_t;

// Converts the kernel's CPU-time units to nanoseconds: ns = units * numer / denom.
struct Timebase {
    std::uint32_t numer = 1;
    std::uint32_t denom = 1;
};

// One resource-usage reading of a process.
struct ProcessUsage {
    std::uint64_t cpuTime = 0;       // user + system time of the whole process, in timebase units
    std::uint64_t physFootprint = 0; // bytes of memory the process itself is charged for
    // When the process started, in the kernel's own units. With the pid it names
    // one process: a reused pid has another start time.
    std::uint64_t startTime = 0;
    // The parent pid where the same reading gives it (Linux's stat does);
    // otherwise absent, and ProcessTree::parent() asks.
    std::optional<Pid> parent;
    // Likewise the session and the owner (ProcessTree::session(), owner()).
    std::optional<Pid> session;
    std::optional<std::uint32_t> owner;
};

// What became of one signal sent under the identity check.
enum class Signalled {
    Sent,
    Gone,         // ended, or its pid is another process's now: nothing was sent
    NotPermitted, // the kernel refused
    // Some process holds the pid but it could not be told whether it is the
    // one named (its stat unreadable, nothing to pin it with): nothing was sent.
    Unknown,
};

// Whether a process named by pid and start time still runs.
enum class Liveness {
    Running,
    Ended,   // it has ended (a zombie has), or its pid is another's
    Unknown, // some process holds the pid, but whose it is cannot be read now
};

// The VM counters the memory snapshot is computed from (units of counterUnitBytes()).
struct VmCounters {
    std::uint64_t wire = 0;
    std::uint64_t purgeable = 0;
    std::uint64_t compressor = 0;
    std::uint64_t external = 0;
    std::uint64_t internal = 0;
};

// --- the seam, by concern: each caller takes the part it uses ------------------

// The process table: who runs, what each costs, and the one signal we send.
class ProcessTable {
public:
    virtual ~ProcessTable() = default;

    // Output of `/bin/ps -axo pid=,args=` read to end of file, or "" when the
    // child could not be run. Blocks until ps has exited: never call it on a
    // UI thread. Must be safe to call from any thread.
    virtual std::string listProcesses() const = 0;
    virtual Pid ownPid() const = 0;
    // Read once at first use and constant afterwards.
    virtual Timebase timebase() const = 0;
    virtual std::optional<ProcessUsage> usage(Pid pid) const = 0;
    // Current working directory, invalid UTF-8 replaced; absent when unreadable.
    // Never touches the directory itself, so a hung file system cannot hold it.
    virtual std::optional<std::string> workingDirectory(Pid pid) const = 0;
    // SIGTERM to `pid` while it is still the process that started at
    // `startTime` (ProcessUsage::startTime); a reused or vanished pid gets
    // nothing (Gone), nor does one whose identity cannot be checked
    // (Unknown). Pids of 0 or below are ignored (Gone).
    virtual Signalled terminate(Pid pid, std::uint64_t startTime) const = 0;
    // SIGKILL under the same identity check as terminate().
    virtual Signalled forceQuit(Pid pid, std::uint64_t startTime) const = 0;
    // Whether the process that started at `startTime` still runs under `pid`.
    // Unknown is never Ended: a stat that cannot be read (no descriptor
    // left, /proc mounted with hidepid) says nothing about the process.
    virtual Liveness liveness(Pid pid, std::uint64_t startTime) const = 0;
    // The user whose processes we may signal; absent when we run as root and may signal anyone's.
    virtual std::optional<std::uint32_t> ownUser() const = 0;
};

// Who started whom, and from which executable.
class ProcessTree {
public:
    virtual ~ProcessTree() = default;

    // Parent pid; absent when the process no longer exists.
    virtual std::optional<Pid> parent(Pid pid) const = 0;
    // Absolute path of the executable, invalid UTF-8 replaced; absent when unreadable.
    virtual std::optional<std::string> executablePath(Pid pid) const = 0;
    // Whether a service manager started the process on purpose as part of a
    // service (Linux: its control group is a ".service" unit); absent when
    // that cannot be read.
    virtual std::optional<bool> startedAsService(Pid pid) const = 0;
    // The session id; absent when it cannot be read.
    virtual std::optional<Pid> session(Pid pid) const = 0;
    // The real user id the process runs as; absent when it cannot be read.
    virtual std::optional<std::uint32_t> owner(Pid pid) const = 0;
    // When the process started, in milliseconds since the Unix epoch, and the
    // name of the user it runs as; absent when unreadable (or, by default,
    // where the backend does not tell).
    virtual std::optional<std::int64_t> startedAtUnixMs(Pid pid) const {
        (void)pid;
        return std::nullopt;
    }
    virtual std::optional<std::string> userName(Pid pid) const {
        (void)pid;
        return std::nullopt;
    }
};

class Files {
public:
    virtual ~Files() = default;

    // May block for as long as the file system holding `path` does.
    virtual bool fileExists(const std::string& path) const = 0;
    virtual std::string homeDirectory() const = 0;
    // A directory whose link count tells whether `cwd`, as workingDirectory()
    // gave it for `pid`, has been deleted; "" when the text alone is certain.
    virtual std::string deletedCheck(Pid pid, const std::string& cwd) const {
        (void)pid;
        (void)cwd;
        return {};
    }
    // Runs the searches where a file system that stops answering holds only
    // the prober, never the caller. By default they are answered at once with
    // fileExists(), for kernels whose files cannot hang.
    virtual std::unique_ptr<PathProbe> probePaths(std::vector<PathSearch> searches) const {
        return answeredProbe(searches,
                             [this](const std::string& path) { return fileExists(path); });
    }
};

class MemoryCounters {
public:
    virtual ~MemoryCounters() = default;

    virtual std::optional<VmCounters> vmStatistics() const = 0;
    // Bytes per unit of VmCounters: the VM page size on macOS, 1024 where the
    // kernel counts in KiB (Linux).
    virtual std::uint64_t counterUnitBytes() const = 0;
    virtual std::uint64_t physicalMemory() const = 0;          // bytes
    virtual std::optional<std::uint64_t> swapUsed() const = 0; // bytes
    // 1 normal, 2 warning, 4 critical; other values are passed through.
    virtual std::optional<std::int32_t> pressureLevel() const = 0;
};

class Clock {
public:
    virtual ~Clock() = default;

    // Monotonic nanoseconds that keep counting while the machine sleeps.
    virtual std::int64_t monotonicNanos() const = 0;
    // Blocks the calling thread.
    virtual void sleepMicroseconds(std::int64_t micros) const = 0;
};

// The whole machine, for the few callers that compose the parts (the sampler,
// the dump) and for the backends and fakes that implement them all.
class Kernel : public ProcessTable,
               public ProcessTree,
               public Files,
               public MemoryCounters,
               public Clock {};

// The running machine's kernel. Lives for the whole program; thread-safe.
const Kernel& systemKernel();

} // namespace ombrix::platform
