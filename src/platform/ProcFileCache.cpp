#include "ProcFileCache.h"

#include "Posix.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace ombrix::platform {

namespace {

constexpr std::size_t sizeLimit = 1 << 20; // larger is not a file we understand

std::int64_t monotonicNow() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::optional<std::string> readAll(int fd) {
    return posix::readToEnd(fd, sizeLimit, posix::ReadEnd::ShortRead);
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace

ProcFileCache::ProcFileCache(std::string procRoot, std::size_t capacity,
                             std::chrono::nanoseconds idle, Clock clock)
    : m_proc(std::move(procRoot))
    , m_capacity(capacity)
    , m_idle(idle.count())
    , m_clock(clock ? std::move(clock) : Clock(monotonicNow)) {}

ProcFileCache::~ProcFileCache() {
    for (auto& [pid, entry] : m_entries) {
        closeFd(entry.fds[0]);
        closeFd(entry.fds[1]);
    }
}

std::size_t ProcFileCache::defaultCapacity() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 512;
    }
    constexpr rlim_t reserve = 256; // sockets, pipes, fonts, the ps run
    return limit.rlim_cur > reserve ? std::min<std::size_t>((limit.rlim_cur - reserve) / 2, 4096)
                                    : 0;
}

std::string ProcFileCache::path(Pid pid, File file) const {
    return m_proc + '/' + std::to_string(pid) + (file == File::Stat ? "/stat" : "/status");
}

void ProcFileCache::sweep(std::int64_t now) {
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (now - it->second.lastRead > m_idle) {
            closeFd(it->second.fds[0]);
            closeFd(it->second.fds[1]);
            it = m_entries.erase(it);
        } else {
            ++it;
        }
    }
    m_lastSweep = now;
}

void ProcFileCache::sweepIdle() {
    const std::int64_t now = m_clock();
    std::lock_guard lock(m_mutex);
    if (now - m_lastSweep > m_idle) {
        sweep(now);
    }
}

std::optional<std::string> ProcFileCache::read(Pid pid, File file) {
    if (pid <= 0) {
        return std::nullopt; // "/proc/0" and "/proc/-1" are no processes
    }
    const std::int64_t now = m_clock();
    std::lock_guard lock(m_mutex);
    if (now - m_lastSweep > m_idle) {
        sweep(now);
    }
    auto it = m_entries.find(pid);
    if (it == m_entries.end() && m_entries.size() < m_capacity) {
        it = m_entries.emplace(pid, Entry{}).first;
    }
    if (it == m_entries.end()) {
        // Full: read through.
        const int fd = ::open(path(pid, file).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return std::nullopt;
        }
        auto text = readAll(fd);
        ::close(fd);
        return text;
    }

    Entry& entry = it->second;
    entry.lastRead = now;
    int& fd = entry.fds[file == File::Stat ? 0 : 1];
    if (fd >= 0) {
        if (auto text = readAll(fd)) {
            return text;
        }
        closeFd(fd); // its process is gone; the pid may belong to another now
    }
    fd = ::open(path(pid, file).c_str(), O_RDONLY | O_CLOEXEC);
    std::optional<std::string> text = fd >= 0 ? readAll(fd) : std::nullopt;
    if (!text) {
        closeFd(fd);
        if (entry.fds[0] < 0 && entry.fds[1] < 0) {
            m_entries.erase(it);
        }
    }
    return text;
}

std::size_t ProcFileCache::openDescriptors() const {
    std::lock_guard lock(m_mutex);
    std::size_t count = 0;
    for (const auto& [pid, entry] : m_entries) {
        count += (entry.fds[0] >= 0 ? 1 : 0) + (entry.fds[1] >= 0 ? 1 : 0);
    }
    return count;
}

} // namespace ombrix::platform
