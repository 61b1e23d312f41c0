// Where each kernel service comes from on Linux (macOS source -> Linux source):
//
//   proc_pid_rusage user+system time  /proc/PID/stat utime+stime (clock ticks,
//                                     whole thread group, children excluded)
//   mach_timebase_info                1e9 / sysconf(_SC_CLK_TCK) ns per tick
//   ri_phys_footprint                 /proc/PID/status RssAnon + VmSwap + VmPTE:
//                                     private anonymous memory, its swapped-out
//                                     part and page tables (smaps would be
//                                     exact but costs ~1000x more per read)
//   sysctl KERN_PROC_PID e_ppid       /proc/PID/stat ppid (also with each usage reading)
//   (none: launchd jobs are not told)  startedAsService: /proc/PID/cgroup unit
//                                     ends in ".service"
//   proc_pidpath                      readlink /proc/PID/exe, " (deleted)" cut
//   PROC_PIDVNODEPATHINFO cdir        readlink /proc/PID/cwd as it stands; a
//                                     " (deleted)" end is told from a real
//                                     name by the link count of the directory,
//                                     read by the path prober (deletedCheck)
//   ri_proc_start_abstime             /proc/PID/stat starttime (clock ticks)
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
//   (details: start as a date, user)  starttime against CLOCK_BOOTTIME and
//                                     CLOCK_REALTIME; owner of /proc/PID

#include "DaemonDirectory.h"
#include "LinuxKernel.h"
#include "Posix.h"
#include "ProcParsers.h"
#include "PsRun.h"
#include "Utf8.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <numeric>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace ombrix::platform {

namespace {

// /proc files report size 0: read until end of file.
std::optional<std::string> readFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    auto text = posix::readToEnd(fd, 1 << 20);
    ::close(fd);
    return text;
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
constexpr std::string_view deletedMark = " (deleted)";

bool endsDeleted(const std::string& text) {
    return text.size() > deletedMark.size() && text.ends_with(deletedMark);
}

// An executable replaced by an update is still the IDE it was: the mark is cut.
std::optional<std::string> executableLink(const std::string& link) {
    auto target = readLink(link);
    if (!target) {
        return std::nullopt;
    }
    if (endsDeleted(*target)) {
        target->resize(target->size() - deletedMark.size());
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
    if (!makeCloseOnExecPipe(raw)) {
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
    // Once per sample: descriptors of processes that stopped being read are closed
    // even when nothing else is read any more.
    m_files->sweepIdle();
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
    usage.startTime = stat->startTicks;
    usage.parent = stat->parent;
    usage.session = stat->session;
    usage.owner = memory.realUid;
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
    return executableLink(pidPath(pid, "exe"));
}

std::optional<bool> LinuxKernel::startedAsService(Pid pid) const {
    const auto text = readFile(pidPath(pid, "cgroup"));
    return text ? std::optional(proc::inServiceUnit(*text)) : std::nullopt;
}

std::optional<Pid> LinuxKernel::session(Pid pid) const {
    const auto text = m_files->read(pid, ProcFileCache::File::Stat);
    const auto stat = text ? proc::parseStat(*text) : std::nullopt;
    return stat ? stat->session : std::nullopt;
}

std::optional<std::uint32_t> LinuxKernel::owner(Pid pid) const {
    const auto text = m_files->read(pid, ProcFileCache::File::Status);
    return text ? proc::parseStatus(*text).realUid : std::nullopt;
}

std::optional<std::uint32_t> LinuxKernel::ownUser() const {
    // Root's signals reach everyone's processes.
    return ::geteuid() == 0 ? std::nullopt : std::optional<std::uint32_t>(::getuid());
}

std::optional<std::int64_t> LinuxKernel::startedAtUnixMs(Pid pid) const {
    const auto stat = freshStat(pid);
    const std::optional<std::uint64_t> ticks =
        stat ? std::optional(stat->startTicks) : std::nullopt;
    const long hz = ::sysconf(_SC_CLK_TCK);
    timespec boot{};
    timespec wall{};
    if (!ticks || hz <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &boot) != 0 ||
        ::clock_gettime(CLOCK_REALTIME, &wall) != 0) {
        return std::nullopt;
    }
    const auto ms = [](const timespec& t) {
        return std::int64_t(t.tv_sec) * 1000 + t.tv_nsec / 1'000'000;
    };
    const std::int64_t sinceBoot = std::int64_t(*ticks / std::uint64_t(hz)) * 1000 +
                                   std::int64_t(*ticks % std::uint64_t(hz)) * 1000 / hz;
    return ms(wall) - (ms(boot) - sinceBoot);
}

std::optional<std::string> LinuxKernel::userName(Pid pid) const {
    // The real uid, as owner() reads it: /proc/<pid> itself belongs to root
    // once a process is no longer dumpable.
    const auto text = readFile(pidPath(pid, "status"));
    const auto uid = text ? proc::parseStatus(*text).realUid : std::nullopt;
    if (!uid) {
        return std::nullopt;
    }
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(*uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return std::to_string(*uid);
    }
    return toValidUtf8(found->pw_name);
}

std::optional<std::string> LinuxKernel::workingDirectory(Pid pid) const {
    const auto target = readLink(pidPath(pid, "cwd"));
    return target ? std::optional(toValidUtf8(*target)) : std::nullopt;
}

std::string LinuxKernel::deletedCheck(Pid pid, const std::string& cwd) const {
    // The text cannot tell a deleted directory from one really named "x (deleted)".
    return endsDeleted(cwd) ? pidPath(pid, "cwd") : std::string();
}

std::optional<proc::Stat> LinuxKernel::freshStat(Pid pid) const {
    const auto text = readFile(pidPath(pid, "stat"));
    return text ? proc::parseStat(*text) : std::nullopt;
}

LinuxKernel::StatRead LinuxKernel::readStat(Pid pid, int pidfd, proc::Stat& stat) const {
    const int fd = ::open(pidPath(pid, "stat").c_str(), O_RDONLY | O_CLOEXEC);
    int error = errno;
    std::optional<std::string> text;
    if (fd >= 0) {
        text = posix::readToEnd(fd, 1 << 20);
        error = errno;
        ::close(fd);
    }
    if (const auto parsed = text ? proc::parseStat(*text) : std::nullopt) {
        stat = *parsed;
        return StatRead::Read;
    }
    if (text || (error != ENOENT && error != ESRCH)) {
        return StatRead::Unreadable;
    }
    // hidepid hides a living process as if it had none: ask the kernel
    // (through the pidfd, about the very process it pins).
    const long rc =
        pidfd >= 0 ? ::syscall(SYS_pidfd_send_signal, pidfd, 0, nullptr, 0) : ::kill(pid, 0);
    return rc == 0 || errno == EPERM ? StatRead::Unreadable : StatRead::NoProcess;
}

Liveness LinuxKernel::liveness(Pid pid, std::uint64_t startTime) const {
    proc::Stat stat;
    switch (pid > 0 ? readStat(pid, -1, stat) : StatRead::NoProcess) {
    case StatRead::Read:
        return stat.startTicks == startTime && stat.state != 'Z' && stat.state != 'X'
                   ? Liveness::Running
                   : Liveness::Ended;
    case StatRead::NoProcess:
        return Liveness::Ended;
    case StatRead::Unreadable:
        break;
    }
    return Liveness::Unknown;
}

Signalled LinuxKernel::terminate(Pid pid, std::uint64_t startTime) const {
    return signalIfSame(pid, startTime, SIGTERM);
}

Signalled LinuxKernel::forceQuit(Pid pid, std::uint64_t startTime) const {
    return signalIfSame(pid, startTime, SIGKILL);
}

Signalled LinuxKernel::signalIfSame(Pid pid, std::uint64_t startTime, int signal) const {
    if (pid <= 0) {
        return Signalled::Gone;
    }
    // The pidfd holds on to whichever process has the pid now; if that one's
    // start time is the row's, the signal can only reach the row's process.
    const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0 && errno == ESRCH) {
        return Signalled::Gone;
    }
    if (pidfd < 0 && errno != ENOSYS && errno != EPERM) {
        // Out of descriptors, say: a plain kill() after the check could reach
        // a newcomer that took the pid in between.
        return Signalled::Unknown;
    }
    // No pidfds at all (before Linux 5.3, or a seccomp filter refuses them,
    // which is the only source of EPERM): the check right before the signal
    // is all there is, as on macOS.
    proc::Stat stat;
    Signalled outcome = Signalled::Gone;
    switch (readStat(pid, pidfd, stat)) {
    case StatRead::Read:
        if (stat.startTicks == startTime) {
            const long rc = pidfd >= 0 ? ::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0)
                                       : ::kill(pid, signal);
            outcome = rc == 0          ? Signalled::Sent
                      : errno == EPERM ? Signalled::NotPermitted
                                       : Signalled::Gone;
        }
        break;
    case StatRead::NoProcess:
        break;
    case StatRead::Unreadable:
        outcome = Signalled::Unknown;
        break;
    }
    if (pidfd >= 0) {
        ::close(pidfd);
    }
    return outcome;
}

std::unique_ptr<PathProbe> LinuxKernel::probePaths(std::vector<PathSearch> searches) const {
    return childProbe(std::move(searches));
}

bool LinuxKernel::fileExists(const std::string& path) const {
    return posix::fileExists(path);
}

std::string LinuxKernel::homeDirectory() const {
    return posix::homeDirectory();
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

std::uint64_t LinuxKernel::counterUnitBytes() const {
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
    posix::sleepMicroseconds(micros);
}

bool makeCloseOnExecPipe(int fds[2]) noexcept {
    return ::pipe2(fds, O_CLOEXEC) == 0;
}

void closeDescriptorsFrom(int first) noexcept {
    if (::syscall(SYS_close_range, unsigned(first), ~0u, 0u) == 0) {
        return;
    }
    // Kernels before 5.9: the descriptor table's own bound.
    const long last = ::sysconf(_SC_OPEN_MAX);
    for (long fd = first; fd < std::min(last, 65536L); ++fd) {
        ::close(int(fd));
    }
}

std::string stateHome(const std::function<const char*(const char*)>& env, const std::string& home) {
    const char* state = env("XDG_STATE_HOME");
    if (state != nullptr && *state != '\0') {
        return state;
    }
    return home.empty() ? std::string() : home + "/.local/state";
}

bool forEachEntry(int fd, char* buffer, std::size_t size,
                  void (*each)(const char* name, void* context), void* context) noexcept {
    // getdents64 rather than readdir: opendir allocates, and this runs after fork.
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, buffer, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0;
        }
        for (long at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            each(entry->d_name, context);
            at += entry->d_reclen;
        }
    }
}

bool makeCloseOnExecSocketPair(int fds[2]) noexcept {
    return ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0;
}

const Kernel& systemKernel() {
    static const LinuxKernel kernel;
    return kernel;
}

} // namespace ombrix::platform
