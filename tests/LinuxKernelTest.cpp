#include "LinuxKernel.h"

#include "ChildProcess.h"
#include "NamedRow.h"
#include "Utf8.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

using namespace ombrix::platform;
using ombrix::testing::Child;

const std::string kFixtures = std::string(OMBRIX_FIXTURES) + "/platform";

LinuxKernel fixtureKernel(const char* proc = "proc") {
    return LinuxKernel(kFixtures + '/' + proc, kFixtures + "/sys");
}

// --- the fixture tree ------------------------------------------------------------

struct ProcessRow {
    const char* name;
    Pid pid;
    std::optional<ProcessUsage> usage;
    std::optional<Pid> parent;
    std::optional<std::string> exe;
    std::optional<std::string> cwd;
    std::optional<bool> service = std::nullopt; // from its cgroup file
    OMBRIX_NAMED_ROW(ProcessRow)
};
ProcessUsage use(std::uint64_t cpu, std::uint64_t footprint) {
    ProcessUsage usage;
    usage.cpuTime = cpu;
    usage.physFootprint = footprint;
    return usage;
}

const ProcessRow kProcessRows[] = {
    {"Normal", 100, use(300, (20480 + 1024 + 256) * 1024), 42, "/usr/lib/dart/bin/dart",
     "/home/me/app", false},
    {"NameWithParentheses", 200, use(3000, 12 * 1024), 100,
     "/opt/flutter/bin/cache/dart-sdk/bin/dart", std::nullopt, true},
    {"TruncatedStat", 300, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    {"MissingStatus", 400, std::nullopt, 100, std::nullopt, std::nullopt},
    {"ZombieHasNoMemory", 500, use(130, 0), 100, std::nullopt, std::nullopt},
    {"KernelThread", 2, use(9, 0), 0, std::nullopt, std::nullopt},
    {"Vanished", 999, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
};

class FixtureProcessTest : public ::testing::TestWithParam<ProcessRow> {};

TEST_P(FixtureProcessTest, Reads) {
    const auto& row = GetParam();
    const LinuxKernel kernel = fixtureKernel();
    const auto usage = kernel.usage(row.pid);
    ASSERT_EQ(usage.has_value(), row.usage.has_value());
    if (usage) {
        EXPECT_EQ(usage->cpuTime, row.usage->cpuTime);
        EXPECT_EQ(usage->physFootprint, row.usage->physFootprint);
        EXPECT_EQ(usage->parent, row.parent) << "the same reading gives the parent";
    }
    EXPECT_EQ(kernel.startedAsService(row.pid), row.service);
    EXPECT_EQ(kernel.parent(row.pid), row.parent);
    EXPECT_EQ(kernel.executablePath(row.pid), row.exe);
    EXPECT_EQ(kernel.workingDirectory(row.pid), row.cwd);
}

INSTANTIATE_TEST_SUITE_P(Rows, FixtureProcessTest, ::testing::ValuesIn(kProcessRows),
                         ombrix::testing::RowName());

TEST(FixtureMemoryTest, CountersFromMeminfoAndZram) {
    const LinuxKernel kernel = fixtureKernel();
    const auto vm = kernel.vmStatistics();
    ASSERT_TRUE(vm);
    EXPECT_EQ(kernel.counterUnitBytes(), 1024u);
    EXPECT_EQ(vm->internal, 5'000'000u + 500'000);
    EXPECT_EQ(vm->external, 3'000'000u + 2'000'000);
    EXPECT_EQ(vm->compressor, 100'000u + 102'400 + 1'024); // zswap, zram0, zram1
    EXPECT_EQ(vm->purgeable, 0u);
    EXPECT_EQ(vm->wire, 16'000'000u - 2'000'000 - 5'500'000 - 5'000'000 - 203'424 - 400'000);
    EXPECT_EQ(kernel.physicalMemory(), 16'000'000ull * 1024);
    EXPECT_EQ(kernel.swapUsed(), 4096u * 1024); // the zram row is not swap
    EXPECT_EQ(kernel.pressureLevel(), 2);
    EXPECT_EQ(fixtureKernel("proc-critical").pressureLevel(), 4);
}

TEST(FixtureMemoryTest, MissingFilesAreFailures) {
    const LinuxKernel kernel(kFixtures + "/no-such-proc", kFixtures + "/no-such-sys");
    EXPECT_FALSE(kernel.vmStatistics());
    EXPECT_EQ(kernel.physicalMemory(), 0u);
    EXPECT_FALSE(kernel.swapUsed());
    EXPECT_FALSE(kernel.pressureLevel());
    // Without /sys there is no zram to add, but meminfo still counts.
    const LinuxKernel noSys(kFixtures + "/proc", kFixtures + "/no-such-sys");
    ASSERT_TRUE(noSys.vmStatistics());
    EXPECT_EQ(noSys.vmStatistics()->compressor, 100'000u);
}

TEST(FixtureFilesTest, ExistsFollowsTheFileSystem) {
    const LinuxKernel kernel = fixtureKernel();
    EXPECT_TRUE(kernel.fileExists(kFixtures + "/proc/meminfo"));
    EXPECT_TRUE(kernel.fileExists(kFixtures + "/proc/100")); // directories count
    EXPECT_FALSE(kernel.fileExists(kFixtures + "/proc/missing"));
    EXPECT_FALSE(kernel.fileExists(kFixtures + "/proc/100/exe")); // dangling link
    EXPECT_FALSE(kernel.fileExists(""));
}

// --- a /proc tree written per case (the macOS backend folds the same cases) ------

constexpr char replacement[] = "\xEF\xBF\xBD"; // U+FFFD
constexpr Pid kPid = 42;

// A /proc tree holding at most one process, kPid, built file by file.
class ProcTree {
public:
    ProcTree() {
        static int serial = 0;
        m_root = std::filesystem::temp_directory_path() /
                 ("ombrix-proc-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
        std::filesystem::remove_all(m_root);
        std::filesystem::create_directories(m_root);
    }
    ~ProcTree() { std::filesystem::remove_all(m_root); }
    ProcTree(const ProcTree&) = delete;
    ProcTree& operator=(const ProcTree&) = delete;

    void link(const char* entry, const std::string& target) {
        std::filesystem::create_directories(dir());
        std::filesystem::create_symlink(target, dir() / entry);
    }
    void file(const char* entry, const std::string& text) {
        std::filesystem::create_directories(dir());
        std::ofstream(dir() / entry) << text;
    }
    // stat and status of a live process with these counters.
    void process(std::uint64_t utime, std::uint64_t stime, std::uint64_t anonKiB) {
        file("stat", std::to_string(kPid) + " (dart) S 1 42 42 0 -1 4194304 0 0 0 0 " +
                         std::to_string(utime) + " " + std::to_string(stime) +
                         " 0 0 20 0 1 0 1000 1000 10 0\n");
        file("status", "Name:\tdart\nRssAnon:\t" + std::to_string(anonKiB) +
                           " kB\nVmPTE:\t0 kB\nVmSwap:\t0 kB\n");
    }
    LinuxKernel kernel() const { return LinuxKernel(m_root.string(), m_root.string()); }

private:
    std::filesystem::path dir() const { return m_root / std::to_string(kPid); }
    std::filesystem::path m_root;
};

TEST(WrittenTreeTest, LinksAreValidUtf8OrAbsent) {
    struct Row {
        const char* name;
        bool process;
        std::optional<std::string> target; // absent: no link
        std::optional<std::string> expected;
    };
    const Row rows[] = {
        {"plain", true, "/usr/bin/dart", "/usr/bin/dart"},
        {"unreadable", true, std::nullopt, std::nullopt},
        {"vanished", false, std::nullopt, std::nullopt},
        {"invalid UTF-8 replaced", true,
         "/tmp/a\xFF"
         "b",
         std::string("/tmp/a") + replacement + "b"},
        {"cut inside a character", true, "/tmp/\xC3", std::string("/tmp/") + replacement},
    };
    for (const Row& row : rows) {
        ProcTree tree;
        if (row.target) {
            tree.link("exe", *row.target);
            tree.link("cwd", *row.target);
        } else if (row.process) {
            tree.process(0, 0, 0);
        }
        const LinuxKernel kernel = tree.kernel();
        EXPECT_EQ(kernel.executablePath(kPid), row.expected) << "exe: " << row.name;
        EXPECT_EQ(kernel.workingDirectory(kPid), row.expected) << "cwd: " << row.name;
    }
}

TEST(WrittenTreeTest, UsageAndParent) {
    struct UsageRow {
        const char* name;
        bool process;
        std::uint64_t user, system, anonKiB;
        std::optional<std::uint64_t> cpu; // absent: no reading at all
    };
    const UsageRow usageRows[] = {
        {"read", true, 5, 6, 7, 11},
        {"vanished", false, 5, 6, 7, std::nullopt},
        {"CPU sum wraps modulo 2^64", true, UINT64_MAX, 2, 1, 1},
        {"no memory charged", true, 1, 0, 0, 1},
    };
    for (const UsageRow& row : usageRows) {
        ProcTree tree;
        if (row.process) {
            tree.process(row.user, row.system, row.anonKiB);
        }
        const auto usage = tree.kernel().usage(kPid);
        ASSERT_EQ(usage.has_value(), row.cpu.has_value()) << row.name;
        if (usage) {
            EXPECT_EQ(usage->cpuTime, *row.cpu) << row.name;
            EXPECT_EQ(usage->physFootprint, row.anonKiB * 1024) << row.name;
        }
    }

    const std::tuple<const char*, const char*, std::optional<Pid>> parentRows[] = {
        {"found", "42 (dart) S 7 42 42 0 -1 0 0 0 0 0 1 2 0 0\n", 7},
        {"parent is the kernel", "42 (init) S 0 42 42 0 -1 0 0 0 0 0 1 2 0 0\n", 0},
        {"vanished", nullptr, std::nullopt},
        {"cut short", "42 (dart) S 7", std::nullopt},
    };
    for (const auto& [name, stat, expected] : parentRows) {
        ProcTree tree;
        if (stat != nullptr) {
            tree.file("stat", stat);
        }
        EXPECT_EQ(tree.kernel().parent(kPid), expected) << name;
    }
}

// The real uid names the user, not the owner of /proc/<pid> (root once not dumpable).
TEST(WrittenTreeTest, UserIsTheRealUid) {
    const std::pair<const char*, std::optional<std::string>> rows[] = {
        {"Uid:\t4000000\t0\t0\t0\n", "4000000"}, // no such user: the number
        {"Name:\tdart\n", std::nullopt},
    };
    for (const auto& [status, expected] : rows) {
        ProcTree tree;
        tree.file("status", status);
        EXPECT_EQ(tree.kernel().userName(kPid), expected) << status;
    }
}

// --- the running kernel --------------------------------------------------------------

std::string realPath(const char* path) {
    char resolved[PATH_MAX];
    return ::realpath(path, resolved) ? resolved : path;
}

TEST(LiveKernelTest, ReadsAChildAndLosesItOnceReaped) {
    // A working directory whose name is not UTF-8, as a user's folder may be.
    char pattern[] = "/tmp/ombrix-platform-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = std::string(pattern) + "/caf\xE9";
    ASSERT_TRUE(std::filesystem::create_directory(dir));

    const LinuxKernel& kernel = static_cast<const LinuxKernel&>(systemKernel());
    Child child("/bin/sleep", {"sleep", "30"}, dir);
    ASSERT_GT(child.pid(), 0);
    const Pid pid = child.pid();

    const auto usage = kernel.usage(pid);
    ASSERT_TRUE(usage);
    EXPECT_GT(usage->physFootprint, 0u);
    EXPECT_LT(usage->physFootprint, 64u << 20);
    EXPECT_EQ(kernel.parent(pid), ::getpid());
    EXPECT_EQ(kernel.executablePath(pid), realPath("/bin/sleep"));
    EXPECT_EQ(kernel.workingDirectory(pid), toValidUtf8(dir));
    EXPECT_EQ(kernel.workingDirectory(pid), std::string(pattern) + "/caf\xEF\xBF\xBD");

    child.stop();
    EXPECT_FALSE(kernel.usage(pid));
    EXPECT_FALSE(kernel.parent(pid));
    EXPECT_FALSE(kernel.executablePath(pid));
    EXPECT_FALSE(kernel.workingDirectory(pid));
    std::filesystem::remove_all(pattern);
}

TEST(LiveKernelTest, CpuTimeConvertsToNanosecondsOfWork) {
    const Kernel& kernel = systemKernel();
    const Timebase base = kernel.timebase();
    ASSERT_NE(base.denom, 0u);
    EXPECT_NE(base.numer, 0u);
    Child burner("/bin/sh", {"sh", "-c", "while :; do :; done"});
    ASSERT_GT(burner.pid(), 0);
    const auto before = kernel.usage(burner.pid());
    const std::int64_t start = kernel.monotonicNanos();
    kernel.sleepMicroseconds(400'000);
    const auto after = kernel.usage(burner.pid());
    const std::int64_t wall = kernel.monotonicNanos() - start;
    ASSERT_TRUE(before && after);
    EXPECT_GE(wall, 400'000'000);
    const std::uint64_t cpu = (after->cpuTime - before->cpuTime) * base.numer / base.denom;
    // One core at most, plus a tick of accounting slack each side; the lower
    // bound is loose because the machine is shared.
    EXPECT_LE(cpu, static_cast<std::uint64_t>(wall) + 20'000'000);
    EXPECT_GE(cpu, 20'000'000u);
}

TEST(LiveKernelTest, ListingIgnoresColumnsAndLocale) {
    ::setenv("COLUMNS", "80", 1);
    ::setenv("LC_ALL", "C", 1);
    // argv[0] is free text: make it long and non-ASCII.
    std::string name = "/opt/d\xC3\xA4rt-\xE2\x82\xAC/";
    name += std::string(320, 'x');
    name += "/analysis_server.dart.snapshot";
    Child child("/bin/sleep", {name, "30"});
    ASSERT_GT(child.pid(), 0);

    const std::string listing = systemKernel().listProcesses();
    EXPECT_STREQ(std::getenv("COLUMNS"), "80"); // our own environment is untouched
    EXPECT_STREQ(std::getenv("LC_ALL"), "C");
    ::unsetenv("COLUMNS");
    ::unsetenv("LC_ALL");

    EXPECT_EQ(listing.find('\n') == std::string::npos, false);
    EXPECT_EQ(toValidUtf8(listing), listing);
    const std::string line = std::to_string(child.pid()) + ' ' + name + " 30\n";
    EXPECT_NE(listing.find(line), std::string::npos) << "no line for pid " << child.pid();
}

TEST(LiveKernelTest, TerminateLeavesProcessGroupsAlone) {
    // Run in a child with a group of its own, so a fault signals nobody else.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setpgid(0, 0);
        static volatile std::sig_atomic_t hit = 0;
        std::signal(SIGTERM, [](int) { hit = 1; });
        systemKernel().terminate(0, 0);
        ::_exit(hit ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

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

// The real kill(), where a fault can hit nothing outside the sandbox.
TEST(LiveKernelTest, OnlySingleProcessesAreSignalled) {
    const int wrong = inSandbox(signalRowsInSandbox);
    if (wrong < 0) {
        GTEST_SKIP() << "no user namespaces here";
    }
    for (std::size_t i = 0; i < std::size(kSignalRows); ++i) {
        EXPECT_FALSE(wrong & (1 << i)) << kSignalRows[i].name;
    }
}

TEST(LiveKernelTest, TerminateReachesOnlyTheProcessThatStartedThen) {
    struct Row {
        const char* name;
        std::uint64_t startOffset; // added to the child's real start time
        bool signalled;
    };
    for (const Row& row :
         {Row{"its own start time", 0, true}, Row{"another start time", 1, false}}) {
        Child child("/bin/sleep", {"sleep", "30"});
        ASSERT_GT(child.pid(), 0);
        const auto usage = systemKernel().usage(child.pid());
        ASSERT_TRUE(usage && usage->startTime > 0) << row.name;
        systemKernel().terminate(child.pid(), usage->startTime + row.startOffset);
        if (!row.signalled) {
            ::kill(child.pid(), SIGKILL); // the signal, had it been sent, is already pending
        }
        const int status = child.wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == (row.signalled ? SIGTERM : SIGKILL))
            << row.name;
    }
}

TEST(LiveKernelTest, HomeIsTheUsersDirectory) {
    const std::string home = systemKernel().homeDirectory();
    ASSERT_FALSE(home.empty());
    EXPECT_EQ(home[0], '/');
    EXPECT_TRUE(systemKernel().fileExists(home));
}

} // namespace
