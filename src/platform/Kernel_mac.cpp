// The macOS kernel behind `Kernel`: libproc, sysctl and the Mach host and
// timebase services, plus /bin/ps for the listing. This file only makes the
// calls into zero-filled records and copies their fields out; what a result
// means (failure rules, NUL handling, UTF-8 repair) is in MacConversions, so
// that it is tested on every OS. Nothing is cached except the timebase, so
// one instance is safe to share between threads.

#include "DaemonDirectory.h"
#include "MacConversions.h"
#include "Posix.h"
#include "PsRun.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <libproc.h>
#include <mach/mach.h>
#include <mach/mach_time.h>
#include <mach/vm_page_size.h>
#include <spawn.h>
#include <sys/proc_info.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace ombrix::platform {

namespace {

// The conversions and the callers above assume these layouts; a different SDK
// must fail here rather than read the wrong bytes.
static_assert(sizeof(rusage_info_v6) == mac::kRusageInfoV6Size);
static_assert(sizeof(kinfo_proc) == mac::kKinfoProcSize);
static_assert(sizeof(vnode_info_path::vip_path) == mac::kVnodePathSize);
static_assert(PROC_PIDPATHINFO_MAXSIZE == mac::kPidPathBufferSize);
static_assert(sizeof(proc_vnodepathinfo) == 2352);
static_assert(sizeof(xsw_usage) == 32);

class MacKernel final : public Kernel {
public:
    std::string listProcesses() const override;
    Pid ownPid() const override { return ::getpid(); }
    Timebase timebase() const override;
    std::optional<ProcessUsage> usage(Pid pid) const override;
    std::optional<Pid> parent(Pid pid) const override;
    std::optional<std::string> executablePath(Pid pid) const override;
    std::optional<std::string> workingDirectory(Pid pid) const override;
    // launchd's jobs are not told apart from its adoptees here: none is a service.
    std::optional<bool> startedAsService(Pid) const override { return false; }
    std::optional<Pid> session(Pid pid) const override {
        return mac::sessionFrom(mac::isSingleProcess(pid) ? ::getsid(pid) : -1);
    }
    std::optional<std::uint32_t> owner(Pid pid) const override;
    Signalled terminate(Pid pid, std::uint64_t startTime) const override {
        return signalIfSame(pid, startTime, SIGTERM);
    }
    Signalled forceQuit(Pid pid, std::uint64_t startTime) const override {
        return signalIfSame(pid, startTime, SIGKILL);
    }
    Liveness liveness(Pid pid, std::uint64_t startTime) const override;
    std::optional<std::uint32_t> ownUser() const override {
        return ::geteuid() == 0 ? std::nullopt : std::optional<std::uint32_t>(::getuid());
    }

    bool fileExists(const std::string& path) const override;
    std::string homeDirectory() const override;
    std::unique_ptr<PathProbe> probePaths(std::vector<PathSearch> searches) const override {
        return childProbe(std::move(searches));
    }

    std::optional<VmCounters> vmStatistics() const override;
    std::uint64_t counterUnitBytes() const override;
    std::uint64_t physicalMemory() const override;
    std::optional<std::uint64_t> swapUsed() const override;
    std::optional<std::int32_t> pressureLevel() const override;

    std::int64_t monotonicNanos() const override;
    void sleepMicroseconds(std::int64_t micros) const override;

private:
    Signalled signalIfSame(Pid pid, std::uint64_t startTime, int signal) const;
    // sysctl KERN_PROC_PID into `info`; the call's result, `length` what it filled.
    static int record(Pid pid, kinfo_proc& info, std::size_t& length);
};

// Both ends close-on-exec: a ps started at the same moment on another thread
// must not inherit the write end, or our read would never see end of file.
// macOS has no pipe2, so a fork elsewhere in the program between the two
// calls could still inherit it; our own spawns use CLOEXEC_DEFAULT besides.
bool makePipe(int fds[2]) {
    if (::pipe(fds) != 0) {
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        if (::fcntl(fds[i], F_SETFD, FD_CLOEXEC) != 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            return false;
        }
    }
    return true;
}

Timebase readTimebase() {
    mach_timebase_info_data_t info{};
    const kern_return_t kr = ::mach_timebase_info(&info);
    return mac::timebaseFrom(kr, info.numer, info.denom);
}

} // namespace

std::string MacKernel::listProcesses() const {
    int fds[2];
    if (!makePipe(fds)) {
        return "";
    }
    // CLOEXEC_DEFAULT: ps gets exactly the descriptors named here, whatever
    // else the program has open. Standard input stays inherited.
    posix::SpawnExtras extras;
    extras.flags = POSIX_SPAWN_CLOEXEC_DEFAULT;
    extras.actions = [](posix_spawn_file_actions_t& actions) {
        posix_spawn_file_actions_addinherit_np(&actions, STDIN_FILENO);
    };
    return posix::runPs(fds[0], fds[1], extras);
}

Timebase MacKernel::timebase() const {
    static const Timebase value = readTimebase();
    return value;
}

std::optional<ProcessUsage> MacKernel::usage(Pid pid) const {
    rusage_info_v6 info{};
    const int rc = ::proc_pid_rusage(pid, RUSAGE_INFO_V6, reinterpret_cast<rusage_info_t*>(&info));
    return mac::usageFrom(rc, {info.ri_user_time, info.ri_system_time, info.ri_phys_footprint,
                               info.ri_proc_start_abstime});
}

int MacKernel::record(Pid pid, kinfo_proc& info, std::size_t& length) {
    int name[] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, pid};
    length = sizeof info;
    return ::sysctl(name, 4, &info, &length, nullptr, 0);
}

std::optional<Pid> MacKernel::parent(Pid pid) const {
    kinfo_proc info{};
    std::size_t length = 0;
    const int rc = record(pid, info, length);
    return mac::parentFrom(rc, length, info.kp_eproc.e_ppid);
}

std::optional<std::uint32_t> MacKernel::owner(Pid pid) const {
    kinfo_proc info{};
    std::size_t length = 0;
    const int rc = record(pid, info, length);
    return mac::ownerFrom(rc, length, info.kp_eproc.e_pcred.p_ruid);
}

Liveness MacKernel::liveness(Pid pid, std::uint64_t startTime) const {
    if (!mac::isSingleProcess(pid)) {
        return Liveness::Ended;
    }
    kinfo_proc info{};
    std::size_t length = 0;
    const int rc = record(pid, info, length);
    const auto now = usage(pid);
    // sysctl needs no descriptor, and our own processes are always ours to read.
    return mac::aliveFrom(rc, length, info.kp_proc.p_stat) && now && now->startTime == startTime
               ? Liveness::Running
               : Liveness::Ended;
}

std::optional<std::string> MacKernel::executablePath(Pid pid) const {
    std::vector<char> buffer(mac::kPidPathBufferSize, '\0');
    const int rc = ::proc_pidpath(pid, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    return mac::pathFrom(rc, buffer);
}

std::optional<std::string> MacKernel::workingDirectory(Pid pid) const {
    proc_vnodepathinfo info{};
    const int rc = ::proc_pidinfo(pid, PROC_PIDVNODEPATHINFO, 0, &info, sizeof info);
    return mac::pathFrom(rc, info.pvi_cdir.vip_path);
}

Signalled MacKernel::signalIfSame(Pid pid, std::uint64_t startTime, int signal) const {
    // No pidfd here: the start time is checked right before the signal, which
    // leaves only the microseconds between the two calls for a pid to be reused.
    const auto now = mac::isSingleProcess(pid) ? usage(pid) : std::nullopt;
    if (!now || now->startTime != startTime) {
        return Signalled::Gone;
    }
    const int rc = ::kill(pid, signal);
    return mac::signalledFrom(rc, errno);
}

bool makeCloseOnExecPipe(int fds[2]) noexcept {
    return makePipe(fds);
}

void closeDescriptorsFrom(int first) noexcept {
    const int last = ::getdtablesize();
    for (int fd = first; fd < last; ++fd) {
        ::close(fd);
    }
}

std::string stateHome(const std::function<const char*(const char*)>&, const std::string& home) {
    return home.empty() ? std::string() : home + "/Library/Application Support";
}

bool forEachEntry(int fd, char*, std::size_t, void (*each)(const char* name, void* context),
                  void* context) noexcept {
    // readdir allocates; macOS's allocator is made whole again in a forked child.
    const int own = ::dup(fd);
    DIR* directory = own >= 0 ? ::fdopendir(own) : nullptr;
    if (directory == nullptr) {
        if (own >= 0) {
            ::close(own);
        }
        return false;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(directory)) {
        each(entry->d_name, context);
    }
    const bool complete = errno == 0;
    ::closedir(directory);
    return complete;
}

bool makeCloseOnExecSocketPair(int fds[2]) noexcept {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) {
        return false;
    }
    const int on = 1;
    for (int i = 0; i < 2; ++i) {
        ::fcntl(fds[i], F_SETFD, FD_CLOEXEC);
        ::setsockopt(fds[i], SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
    }
    return true;
}

bool MacKernel::fileExists(const std::string& path) const {
    return posix::fileExists(path);
}

std::string MacKernel::homeDirectory() const {
    return posix::homeDirectory();
}

std::optional<VmCounters> MacKernel::vmStatistics() const {
    vm_statistics64_data_t stats{};
    mach_msg_type_number_t count = HOST_VM_INFO64_COUNT;
    // Each mach_host_self() adds a reference to the host port right; dropping
    // it keeps a sample every two seconds from piling them up.
    const mach_port_t host = ::mach_host_self();
    const kern_return_t kr =
        ::host_statistics64(host, HOST_VM_INFO64, reinterpret_cast<host_info64_t>(&stats), &count);
    ::mach_port_deallocate(::mach_task_self(), host);
    return mac::vmCountersFrom(kr, {stats.wire_count, stats.purgeable_count,
                                    stats.compressor_page_count, stats.external_page_count,
                                    stats.internal_page_count});
}

std::uint64_t MacKernel::counterUnitBytes() const {
    return static_cast<std::uint64_t>(vm_kernel_page_size);
}

std::uint64_t MacKernel::physicalMemory() const {
    std::uint64_t bytes = 0;
    std::size_t size = sizeof bytes;
    const int rc = ::sysctlbyname("hw.memsize", &bytes, &size, nullptr, 0);
    return mac::physicalMemoryFrom(rc, bytes);
}

std::optional<std::uint64_t> MacKernel::swapUsed() const {
    xsw_usage usage{};
    std::size_t size = sizeof usage;
    const int rc = ::sysctlbyname("vm.swapusage", &usage, &size, nullptr, 0);
    return mac::swapUsedFrom(rc, usage.xsu_used);
}

std::optional<std::int32_t> MacKernel::pressureLevel() const {
    std::int32_t level = 1;
    std::size_t size = sizeof level;
    const int rc = ::sysctlbyname("kern.memorystatus_vm_pressure_level", &level, &size, nullptr, 0);
    return mac::pressureLevelFrom(rc, level);
}

std::int64_t MacKernel::monotonicNanos() const {
    // CLOCK_MONOTONIC_RAW is mach_continuous_time in nanoseconds: unlike
    // CLOCK_UPTIME_RAW it keeps counting while the machine sleeps.
    return static_cast<std::int64_t>(::clock_gettime_nsec_np(CLOCK_MONOTONIC_RAW));
}

void MacKernel::sleepMicroseconds(std::int64_t micros) const {
    posix::sleepMicroseconds(micros);
}

const Kernel& systemKernel() {
    static const MacKernel kernel;
    return kernel;
}

} // namespace ombrix::platform
