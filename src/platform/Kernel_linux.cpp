// Where each kernel service comes from on Linux (macOS source -> Linux source):
//
//   proc_pid_rusage user+system time  /proc/PID/stat utime+stime (clock ticks,
//                                     whole thread group, children excluded)
//   mach_timebase_info                1e9 / sysconf(_SC_CLK_TCK) ns per tick
//   ri_phys_footprint                 /proc/PID/status RssAnon + VmSwap + VmPTE:
//                                     private anonymous memory, its swapped-out
//                                     part and page tables (smaps would be
//                                     exact but costs ~1000x more per read)
//   sysctl KERN_PROC_PID e_ppid       /proc/PID/stat ppid
//   proc_pidpath                      readlink /proc/PID/exe, " (deleted)" cut
//   PROC_PIDVNODEPATHINFO cdir        readlink /proc/PID/cwd, " (deleted)" cut
//   NSHomeDirectory                   passwd entry of the real uid, then $HOME
//   host_statistics64 (KiB "pages")   /proc/meminfo:
//     internal                          AnonPages + Shmem
//     external                          Active(file) + Inactive(file)
//     compressor                        Zswap + zram mm_stat mem_used_total
//     purgeable                         0
//     wire                              the rest of MemTotal - MemFree, less
//                                       KReclaimable (reclaimable slab)
//   physicalMemory                    MemTotal
//   vm.swapusage xsu_used             /proc/swaps Used, zram devices excluded
//   memorystatus_vm_pressure_level    /proc/pressure/memory avg10 (PSI)
//   ContinuousClock                   CLOCK_BOOTTIME

#include "LinuxKernel.h"
#include "ProcParsers.h"
#include "PsRun.h"
#include "Utf8.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <numeric>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace ombrix::platform {

namespace {

// Reads a whole file; /proc files report size 0, so read until end of file.
// Anything larger than `limit` is not a file we understand.
std::optional<std::string> readFile(const std::string& path, std::size_t limit = 1 << 20) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
            if (text.size() > limit) {
                ok = false;
                break;
            }
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            ok = false; // ESRCH: the process went away while we read
            break;
        }
    }
    ::close(fd);
    return ok ? std::optional(std::move(text)) : std::nullopt;
}

std::optional<std::string> readLink(const std::string& path) {
    // readlink truncates silently: grow until the answer fits.
    for (std::size_t size = 1024; size <= (1u << 16); size *= 4) {
        std::string target(size, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), size);
        if (n < 0) {
            return std::nullopt;
        }
        if (static_cast<std::size_t>(n) < size) {
            target.resize(static_cast<std::size_t>(n));
            return target;
        }
    }
    return std::nullopt;
}

// The kernel marks a link to an unlinked file or directory with this suffix.
std::optional<std::string> linkedPath(const std::string& link) {
    auto target = readLink(link);
    if (!target) {
        return std::nullopt;
    }
    constexpr std::string_view deleted = " (deleted)";
    if (target->size() > deleted.size() && target->ends_with(deleted)) {
        target->resize(target->size() - deleted.size());
    }
    return toValidUtf8(*target);
}

Timebase readTimebase() {
    const long ticks = ::sysconf(_SC_CLK_TCK);
    const std::uint32_t hz = ticks > 0 ? static_cast<std::uint32_t>(ticks) : 100;
    const std::uint32_t perSecond = 1'000'000'000;
    const std::uint32_t common = std::gcd(perSecond, hz);
    return {perSecond / common, hz / common};
}

// A pipe whose ends are close-on-exec, so a ps started at the same moment on
// another thread cannot inherit them (its parent would then never see end of
// file), and above 0..2, so dup2 onto stdout always clears close-on-exec.
bool makePipe(int fds[2]) {
    int raw[2];
    if (::pipe2(raw, O_CLOEXEC) != 0) {
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        fds[i] = raw[i];
        if (raw[i] <= STDERR_FILENO) {
            fds[i] = ::fcntl(raw[i], F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
            ::close(raw[i]);
        }
    }
    if (fds[0] < 0 || fds[1] < 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i] >= 0) {
                ::close(fds[i]);
            }
        }
        return false;
    }
    return true;
}

} // namespace

LinuxKernel::LinuxKernel(std::string procRoot, std::string sysRoot)
    : m_proc(std::move(procRoot))
    , m_sys(std::move(sysRoot))
    , m_timebase(readTimebase())
    // Watched processes are read every two seconds; ten idle seconds mean gone or unwatched.
    , m_files(std::make_unique<ProcFileCache>(m_proc, ProcFileCache::defaultCapacity(),
                                              std::chrono::seconds(10))) {}

std::string LinuxKernel::pidPath(Pid pid, const char* entry) const {
    return m_proc + '/' + std::to_string(pid) + '/' + entry;
}

std::string LinuxKernel::listProcesses() const {
    int fds[2];
    if (!makePipe(fds)) {
        return "";
    }
    return posix::runPs(fds[0], fds[1]);
}

Pid LinuxKernel::ownPid() const {
    return ::getpid();
}

Timebase LinuxKernel::timebase() const {
    return m_timebase;
}

std::optional<ProcessUsage> LinuxKernel::usage(Pid pid) const {
    const auto statText = m_files->read(pid, ProcFileCache::File::Stat);
    if (!statText) {
        return std::nullopt;
    }
    const auto stat = proc::parseStat(*statText);
    const auto statusText = m_files->read(pid, ProcFileCache::File::Status);
    if (!stat || !statusText) {
        return std::nullopt;
    }
    const proc::StatusMemory memory = proc::parseStatus(*statusText);
    ProcessUsage usage;
    usage.cpuTime = stat->userTicks + stat->systemTicks;
    usage.physFootprint = (memory.rssAnonKiB + memory.vmSwapKiB + memory.vmPteKiB) * 1024;
    return usage;
}

std::optional<Pid> LinuxKernel::parent(Pid pid) const {
    const auto text = m_files->read(pid, ProcFileCache::File::Stat);
    if (!text) {
        return std::nullopt;
    }
    const auto stat = proc::parseStat(*text);
    if (!stat) {
        return std::nullopt;
    }
    return stat->parent;
}

std::optional<std::string> LinuxKernel::executablePath(Pid pid) const {
    return linkedPath(pidPath(pid, "exe"));
}

std::optional<std::string> LinuxKernel::workingDirectory(Pid pid) const {
    return linkedPath(pidPath(pid, "cwd"));
}

void LinuxKernel::terminate(Pid pid) const {
    if (pid > 0) {
        ::kill(pid, SIGTERM);
    }
}

bool LinuxKernel::fileExists(const std::string& path) const {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string LinuxKernel::homeDirectory() const {
    long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 4096);
    for (;;) {
        passwd entry{};
        passwd* found = nullptr;
        const int rc = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc == 0 && found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] != '\0') {
            return found->pw_dir;
        }
        break;
    }
    const char* home = std::getenv("HOME");
    return home != nullptr ? home : "";
}

std::optional<VmCounters> LinuxKernel::vmStatistics() const {
    const auto text = readFile(m_proc + "/meminfo");
    if (!text) {
        return std::nullopt;
    }
    const auto info = proc::parseMeminfo(*text);
    if (!info) {
        return std::nullopt;
    }
    std::uint64_t zramBytes = 0;
    const std::string block = m_sys + "/block";
    if (DIR* dir = ::opendir(block.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name(entry->d_name);
            if (!name.starts_with("zram")) {
                continue;
            }
            if (const auto mmStat = readFile(block + '/' + entry->d_name + "/mm_stat")) {
                zramBytes += proc::parseZramMmStat(*mmStat).value_or(0);
            }
        }
        ::closedir(dir);
    }
    return proc::vmCountersFrom(*info, zramBytes);
}

std::uint64_t LinuxKernel::pageSize() const {
    return 1024;
}

std::uint64_t LinuxKernel::physicalMemory() const {
    const auto text = readFile(m_proc + "/meminfo");
    const auto info = text ? proc::parseMeminfo(*text) : std::nullopt;
    return info ? info->memTotal * 1024 : 0;
}

std::optional<std::uint64_t> LinuxKernel::swapUsed() const {
    const auto text = readFile(m_proc + "/swaps");
    return text ? proc::parseSwaps(*text) : std::nullopt;
}

std::optional<std::int32_t> LinuxKernel::pressureLevel() const {
    const auto text = readFile(m_proc + "/pressure/memory");
    return text ? proc::parsePressure(*text) : std::nullopt;
}

std::int64_t LinuxKernel::monotonicNanos() const {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void LinuxKernel::sleepMicroseconds(std::int64_t micros) const {
    if (micros <= 0) {
        return;
    }
    timespec left{static_cast<time_t>(micros / 1'000'000),
                  static_cast<long>(micros % 1'000'000) * 1000};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

const Kernel& systemKernel() {
    static const LinuxKernel kernel;
    return kernel;
}

} // namespace ombrix::platform
