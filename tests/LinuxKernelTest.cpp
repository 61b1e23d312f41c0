#include "LinuxKernel.h"

#include "ChildProcess.h"
#include "Utf8.h"

#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
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
};
void PrintTo(const ProcessRow& row, std::ostream* os) {
    *os << row.name;
}

const ProcessRow kProcessRows[] = {
    {"Normal", 100, ProcessUsage{300, (20480 + 1024 + 256) * 1024}, 42, "/usr/lib/dart/bin/dart",
     "/home/me/app"},
    {"NameWithParentheses", 200, ProcessUsage{3000, 12 * 1024}, 100,
     "/opt/flutter/bin/cache/dart-sdk/bin/dart", std::nullopt},
    {"TruncatedStat", 300, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    {"MissingStatus", 400, std::nullopt, 100, std::nullopt, std::nullopt},
    {"ZombieHasNoMemory", 500, ProcessUsage{130, 0}, 100, std::nullopt, std::nullopt},
    {"KernelThread", 2, ProcessUsage{9, 0}, 0, std::nullopt, std::nullopt},
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
    }
    EXPECT_EQ(kernel.parent(row.pid), row.parent);
    EXPECT_EQ(kernel.executablePath(row.pid), row.exe);
    EXPECT_EQ(kernel.workingDirectory(row.pid), row.cwd);
}

INSTANTIATE_TEST_SUITE_P(Rows, FixtureProcessTest, ::testing::ValuesIn(kProcessRows),
                         [](const auto& info) { return std::string(info.param.name); });

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
