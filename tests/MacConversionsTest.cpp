// The macOS backend's reading of kernel answers against the Linux backend's
// reading of the same situations: each table row is run through both, so a
// vanished process, a failed query or a bad path folds the same way on both.

#include "MacConversions.h"

#include "LinuxKernel.h"
#include "PsEnvironment.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sched.h>
#include <span>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace ombrix::platform;
namespace fs = std::filesystem;

namespace {

constexpr char replacement[] = "\xEF\xBF\xBD"; // U+FFFD
constexpr Pid kPid = 42;

// A /proc tree holding at most one process, kPid, built file by file.
class ProcTree {
public:
    ProcTree() {
        static int serial = 0;
        m_root = fs::temp_directory_path() /
                 ("ombrix-mac-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
        fs::remove_all(m_root);
        fs::create_directories(m_root);
    }
    ~ProcTree() { fs::remove_all(m_root); }
    ProcTree(const ProcTree&) = delete;
    ProcTree& operator=(const ProcTree&) = delete;

    void link(const char* entry, const std::string& target) {
        fs::create_directories(dir());
        fs::create_symlink(target, dir() / entry);
    }
    void file(const char* entry, const std::string& text) {
        fs::create_directories(dir());
        std::ofstream(dir() / entry) << text;
    }
    // stat and status of a live process with these counters.
    void process(Pid ppid, std::uint64_t utime, std::uint64_t stime, std::uint64_t anonKiB) {
        file("stat", std::to_string(kPid) + " (dart) S " + std::to_string(ppid) +
                         " 42 42 0 -1 4194304 0 0 0 0 " + std::to_string(utime) + " " +
                         std::to_string(stime) + " 0 0 20 0 1 0 1000 1000 10 0\n");
        file("status", "Name:\tdart\nRssAnon:\t" + std::to_string(anonKiB) +
                           " kB\nVmPTE:\t0 kB\nVmSwap:\t0 kB\n");
    }
    LinuxKernel kernel() const { return LinuxKernel(m_root.string(), m_root.string()); }

private:
    fs::path dir() const { return m_root / std::to_string(kPid); }
    fs::path m_root;
};

std::span<const char> bytes(const std::string& buffer) {
    return {buffer.data(), buffer.size()};
}

} // namespace

// --- paths: proc_pidpath / vip_path against the exe and cwd links -------------

TEST(MacConversions, PathsFoldLikeTheLinuxBackend) {
    // How the Linux side stands for the row: a link with this target, no
    // link, no process at all, or nothing comparable.
    enum class OnLinux { Link, NoLink, NoProcess, None };
    struct Row {
        const char* name;
        int rc;
        std::string buffer; // what the kernel wrote, NULs included
        OnLinux onLinux;
        std::string target;
        std::optional<std::string> expected;
    };
    const std::string full(mac::kPidPathBufferSize, 'a');
    const Row rows[] = {
        {"plain", 14, std::string("/usr/bin/dart\0\0\0", 16), OnLinux::Link, "/usr/bin/dart",
         "/usr/bin/dart"},
        {"unreadable", 0, std::string("/stale\0", 7), OnLinux::NoLink, "", std::nullopt},
        {"vanished", -1, std::string("/stale\0", 7), OnLinux::NoProcess, "", std::nullopt},
        {"no NUL: taken whole, never read past", 4096, full, OnLinux::None, "", full},
        {"invalid UTF-8 replaced", 9,
         std::string("/tmp/a\xFF"
                     "b\0",
                     9),
         OnLinux::Link,
         "/tmp/a\xFF"
         "b",
         std::string("/tmp/a") + replacement + "b"},
        {"cut inside a character", 7, std::string("/tmp/\xC3\0", 7), OnLinux::Link, "/tmp/\xC3",
         std::string("/tmp/") + replacement},
        {"text after the NUL ignored", 5, std::string("/a/b\0/c/d", 9), OnLinux::Link, "/a/b",
         "/a/b"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(mac::pathFrom(row.rc, bytes(row.buffer)), row.expected) << "macOS: " << row.name;
        if (row.onLinux == OnLinux::None) {
            continue;
        }
        ProcTree tree;
        if (row.onLinux == OnLinux::Link) {
            tree.link("exe", row.target);
            tree.link("cwd", row.target);
        } else if (row.onLinux == OnLinux::NoLink) {
            tree.process(1, 0, 0, 0);
        }
        const LinuxKernel onLinux = tree.kernel();
        EXPECT_EQ(onLinux.executablePath(kPid), row.expected) << "Linux exe: " << row.name;
        EXPECT_EQ(onLinux.workingDirectory(kPid), row.expected) << "Linux cwd: " << row.name;
    }
}

// --- per-process counters: proc_pid_rusage and KERN_PROC_PID against stat ---

TEST(MacConversions, UsageFoldsLikeTheLinuxBackend) {
    struct Row {
        const char* name;
        int rc;            // proc_pid_rusage's result
        bool linuxProcess; // whether the Linux tree holds the process
        std::uint64_t user, system, footprintKiB;
        std::optional<std::uint64_t> cpu; // absent: no reading at all
    };
    const Row rows[] = {
        {"read", 0, true, 5, 6, 7, 11},
        {"vanished", -1, false, 5, 6, 7, std::nullopt},
        {"refused (EPERM)", 1, false, 5, 6, 7, std::nullopt},
        {"CPU sum wraps modulo 2^64", 0, true, UINT64_MAX, 2, 1, 1},
        {"no memory charged", 0, true, 1, 0, 0, 1},
    };
    for (const Row& row : rows) {
        const auto onMac = mac::usageFrom(row.rc, {row.user, row.system, row.footprintKiB * 1024});
        ProcTree tree;
        if (row.linuxProcess) {
            tree.process(1, row.user, row.system, row.footprintKiB);
        }
        const auto onLinux = tree.kernel().usage(kPid);
        for (const auto& [side, usage] : {std::pair{"macOS", onMac}, std::pair{"Linux", onLinux}}) {
            ASSERT_EQ(usage.has_value(), row.cpu.has_value()) << side << ": " << row.name;
            if (usage) {
                EXPECT_EQ(usage->cpuTime, *row.cpu) << side << ": " << row.name;
                EXPECT_EQ(usage->physFootprint, row.footprintKiB * 1024)
                    << side << ": " << row.name;
            }
        }
    }
}

TEST(MacConversions, ParentFoldsLikeTheLinuxBackend) {
    struct Row {
        const char* name;
        int rc;
        std::size_t length;    // kinfo_proc length the call hands back
        const char* linuxStat; // nullptr: no process
        std::optional<Pid> expected;
    };
    const Row rows[] = {
        {"found", 0, mac::kKinfoProcSize, "42 (dart) S 7 42 42 0 -1 0 0 0 0 0 1 2 0 0\n", 7},
        {"parent is the kernel", 0, mac::kKinfoProcSize,
         "42 (init) S 0 42 42 0 -1 0 0 0 0 0 1 2 0 0\n", 0},
        {"vanished: zero length", 0, 0, nullptr, std::nullopt},
        {"call failed", -1, mac::kKinfoProcSize, "42 (dart) S 7", std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(mac::parentFrom(row.rc, row.length, row.expected.value_or(7)), row.expected)
            << "macOS: " << row.name;
        ProcTree tree;
        if (row.linuxStat != nullptr) {
            tree.file("stat", row.linuxStat);
        }
        EXPECT_EQ(tree.kernel().parent(kPid), row.expected) << "Linux: " << row.name;
    }
}

// --- machine-wide counters ----------------------------------------------------

TEST(MacConversions, FailedMachineQueriesFoldLikeTheLinuxBackend) {
    // Every machine query fails: the macOS calls by their result code, the
    // Linux ones by a /proc without the files.
    ProcTree empty;
    const LinuxKernel onLinux = empty.kernel();
    EXPECT_EQ(mac::vmCountersFrom(5, {1, 2, 3, 4, 5}), std::nullopt);
    EXPECT_EQ(onLinux.vmStatistics(), std::nullopt);
    EXPECT_EQ(mac::physicalMemoryFrom(-1, 1234), 0u);
    EXPECT_EQ(onLinux.physicalMemory(), 0u);
    EXPECT_EQ(mac::swapUsedFrom(-1, 9), std::nullopt);
    EXPECT_EQ(onLinux.swapUsed(), std::nullopt);
    EXPECT_EQ(mac::pressureLevelFrom(-1, 4), std::nullopt);
    EXPECT_EQ(onLinux.pressureLevel(), std::nullopt);

    // Successful ones pass the fields through unchanged, unknown levels too.
    const auto vm = mac::vmCountersFrom(0, {1, 2, 3, 4, 5});
    ASSERT_TRUE(vm);
    EXPECT_EQ(std::tuple(vm->wire, vm->purgeable, vm->compressor, vm->external, vm->internal),
              std::tuple(1u, 2u, 3u, 4u, 5u));
    EXPECT_EQ(mac::physicalMemoryFrom(0, 1234), 1234u);
    EXPECT_EQ(mac::swapUsedFrom(0, 9), 9u);
    EXPECT_EQ(mac::pressureLevelFrom(0, 3), 3);
    EXPECT_EQ(mac::pressureLevelFrom(0, 0), 0);
}

TEST(MacConversions, TimebaseNeverDividesByZero) {
    struct Row {
        const char* name;
        int kr;
        std::uint32_t numer, denom;
        std::uint32_t expectNumer, expectDenom;
    };
    const Row rows[] = {
        {"Apple silicon", 0, 125, 3, 125, 3},
        {"Intel", 0, 1, 1, 1, 1},
        {"zero denominator", 0, 125, 0, 1, 1},
        {"failed call", 1, 125, 3, 1, 1},
    };
    for (const Row& row : rows) {
        const Timebase t = mac::timebaseFrom(row.kr, row.numer, row.denom);
        EXPECT_EQ(t.numer, row.expectNumer) << row.name;
        EXPECT_EQ(t.denom, row.expectDenom) << row.name;
    }
    const Timebase onLinux = LinuxKernel().timebase();
    EXPECT_GT(onLinux.denom, 0u);
    EXPECT_GT(onLinux.numer, 0u);
}

// --- signals ------------------------------------------------------------------

namespace {

// Runs `body` as the first process of a fresh user and pid namespace with a
// process group of its own, so that a kill() of a group or of "everyone"
// reaches only the sandbox. Returns the body's exit code, or -1 when the
// machine allows no such namespace.
int inSandbox(int (*body)()) {
    const pid_t outer = ::fork();
    if (outer < 0) {
        return -1;
    }
    if (outer == 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWPID) != 0) {
            ::_exit(77);
        }
        const pid_t init = ::fork();
        if (init < 0) {
            ::_exit(77);
        }
        if (init == 0) {
            if (::getpid() != 1) {
                ::_exit(77);
            }
            ::setpgid(0, 0);
            ::_exit(body());
        }
        int status = 0;
        ::waitpid(init, &status, 0);
        ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 99);
    }
    int status = 0;
    ::waitpid(outer, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 99;
    return code == 77 ? -1 : code;
}

struct SignalRow {
    const char* name;
    Pid pid;        // ignored when `bystander` is set
    bool bystander; // signal the bystander's own pid
    bool signalled;
};
const SignalRow kSignalRows[] = {
    {"own process group", 0, false, false}, {"every process", -1, false, false},
    {"a process group", -42, false, false}, {"most negative", INT32_MIN, false, false},
    {"one process", 0, true, true},
};

// Exit code: bit i set when row i's outcome differs from the row.
int signalRowsInSandbox() {
    int wrong = 0;
    for (std::size_t i = 0; i < std::size(kSignalRows); ++i) {
        const SignalRow& row = kSignalRows[i];
        const pid_t bystander = ::fork(); // same process group as the caller
        if (bystander == 0) {
            ::pause();
            ::_exit(0);
        }
        const LinuxKernel kernel;
        const pid_t target = row.bystander ? bystander : row.pid;
        kernel.terminate(target, kernel.usage(target).value_or(ProcessUsage{}).startTime);
        // No waiting to see: a SIGTERM already sent has fixed the exit status
        // by the time kill() returns, so the SIGKILL only ends a child it missed.
        ::kill(bystander, SIGKILL);
        int status = 0;
        while (::waitpid(bystander, &status, 0) < 0 && errno == EINTR) {
        }
        const bool signalled = WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
        if (signalled != row.signalled) {
            wrong |= 1 << i;
        }
    }
    return wrong;
}

} // namespace

TEST(MacConversions, OnlySingleProcessesAreSignalled) {
    for (const SignalRow& row : kSignalRows) {
        EXPECT_EQ(mac::isSingleProcess(row.bystander ? 4242 : row.pid), row.signalled)
            << "macOS: " << row.name;
    }
    // The Linux backend's real kill(), where a fault can hit nothing outside.
    const int wrong = inSandbox(signalRowsInSandbox);
    if (wrong < 0) {
        GTEST_SKIP() << "no user namespaces here: the Linux side is not run";
    }
    for (std::size_t i = 0; i < std::size(kSignalRows); ++i) {
        EXPECT_FALSE(wrong & (1 << i)) << "Linux: " << kSignalRows[i].name;
    }
}

// --- the ps child's environment (one function serves both backends) --------

TEST(PsEnvironment, DropsColumnsAndForcesUtf8) {
    struct Row {
        const char* name;
        std::vector<const char*> env;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"empty", {nullptr}, {"LC_ALL=C.UTF-8"}},
        {"columns dropped, order kept",
         {"A=1", "COLUMNS=80", "B=2", nullptr},
         {"A=1", "B=2", "LC_ALL=C.UTF-8"}},
        {"empty columns dropped", {"COLUMNS=", nullptr}, {"LC_ALL=C.UTF-8"}},
        {"locale replaced", {"LC_ALL=POSIX", "LANG=C", nullptr}, {"LANG=C", "LC_ALL=C.UTF-8"}},
        {"look-alikes kept",
         {"COLUMNSX=1", "MY_COLUMNS=2", "LC_ALLX=3", nullptr},
         {"COLUMNSX=1", "MY_COLUMNS=2", "LC_ALLX=3", "LC_ALL=C.UTF-8"}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(psEnvironment(row.env.data()), row.expected) << row.name;
    }
    EXPECT_EQ(psEnvironment(nullptr), std::vector<std::string>{"LC_ALL=C.UTF-8"});
}
