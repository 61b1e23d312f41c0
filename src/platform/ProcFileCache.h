#pragma once

// Keeps each process's /proc/PID/stat and /proc/PID/status open between reads.
// The sampling cycle reads both for every watched process every two seconds,
// and re-reading an open /proc file costs about a third of opening it anew
// (path walk, permission check, seq_file set-up). An open descriptor stays
// bound to the process it was opened for: once that process is reaped it
// reads ESRCH, so a reused pid is reopened, never read as its predecessor.
//
// Descriptors not read for `idle` are closed by a later read; at most
// `capacity` processes are held open and the rest are read through without
// caching. Descriptors are close-on-exec. Thread-safe.
//
// The files are read as /proc serves them: content regenerated on every read
// from offset 0. A fixture tree must rewrite a file in place to change it.

#include "Kernel.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace ombrix::platform {

class ProcFileCache {
public:
    enum class File { Stat, Status };

    // Monotonic nanoseconds; CLOCK_MONOTONIC when empty.
    using Clock = std::function<std::int64_t()>;

    ProcFileCache(std::string procRoot, std::size_t capacity, std::chrono::nanoseconds idle,
                  Clock clock = {});
    ~ProcFileCache();
    ProcFileCache(const ProcFileCache&) = delete;
    ProcFileCache& operator=(const ProcFileCache&) = delete;

    // The whole file, or nothing when the process is gone or unreadable.
    std::optional<std::string> read(Pid pid, File file);

    // Closes what has not been read for `idle`; cheap when nothing is due.
    void sweepIdle();

    // Descriptors held open right now (for tests).
    std::size_t openDescriptors() const;

    // Processes the cache may hold open given this process's descriptor limit,
    // leaving room for everything else the program opens.
    static std::size_t defaultCapacity();

private:
    struct Entry {
        int fds[2] = {-1, -1}; // by File
        std::int64_t lastRead = 0;
    };

    std::string path(Pid pid, File file) const;
    void sweep(std::int64_t now);

    const std::string m_proc;
    const std::size_t m_capacity;
    const std::int64_t m_idle; // ns
    const Clock m_clock;
    mutable std::mutex m_mutex;
    std::unordered_map<Pid, Entry> m_entries;
    std::int64_t m_lastSweep = 0;
};

} // namespace ombrix::platform
