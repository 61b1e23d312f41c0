// The macOS backend's reading of kernel answers. The rows mirror the Linux
// backend's cases in LinuxKernelTest, so a vanished process, a failed query or
// a bad path folds the same way on both.

#include "MacConversions.h"

#include <climits>
#include <gtest/gtest.h>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <utility>

using namespace ombrix::platform;

namespace {

constexpr char replacement[] = "\xEF\xBF\xBD"; // U+FFFD

std::span<const char> bytes(const std::string& buffer) {
    return {buffer.data(), buffer.size()};
}

} // namespace

// --- paths: proc_pidpath / vip_path -------------------------------------------

TEST(MacConversions, PathsFoldLikeTheLinuxBackend) {
    struct Row {
        const char* name;
        int rc;
        std::string buffer; // what the kernel wrote, NULs included
        std::optional<std::string> expected;
    };
    const std::string full(mac::kPidPathBufferSize, 'a');
    const Row rows[] = {
        {"plain", 14, std::string("/usr/bin/dart\0\0\0", 16), "/usr/bin/dart"},
        {"unreadable", 0, std::string("/stale\0", 7), std::nullopt},
        {"vanished", -1, std::string("/stale\0", 7), std::nullopt},
        {"no NUL: taken whole, never read past", 4096, full, full},
        {"invalid UTF-8 replaced", 9,
         std::string("/tmp/a\xFF"
                     "b\0",
                     9),
         std::string("/tmp/a") + replacement + "b"},
        {"cut inside a character", 7, std::string("/tmp/\xC3\0", 7),
         std::string("/tmp/") + replacement},
        {"text after the NUL ignored", 5, std::string("/a/b\0/c/d", 9), "/a/b"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(mac::pathFrom(row.rc, bytes(row.buffer)), row.expected) << row.name;
    }
}

// --- per-process counters: proc_pid_rusage and KERN_PROC_PID -----------------

TEST(MacConversions, UsageFoldsLikeTheLinuxBackend) {
    struct Row {
        const char* name;
        int rc; // proc_pid_rusage's result
        std::uint64_t user, system, footprintKiB;
        std::optional<std::uint64_t> cpu; // absent: no reading at all
    };
    const Row rows[] = {
        {"read", 0, 5, 6, 7, 11},
        {"vanished", -1, 5, 6, 7, std::nullopt},
        {"refused (EPERM)", 1, 5, 6, 7, std::nullopt},
        {"CPU sum wraps modulo 2^64", 0, UINT64_MAX, 2, 1, 1},
        {"no memory charged", 0, 1, 0, 0, 1},
    };
    for (const Row& row : rows) {
        const auto usage = mac::usageFrom(row.rc, {row.user, row.system, row.footprintKiB * 1024});
        ASSERT_EQ(usage.has_value(), row.cpu.has_value()) << row.name;
        if (usage) {
            EXPECT_EQ(usage->cpuTime, *row.cpu) << row.name;
            EXPECT_EQ(usage->physFootprint, row.footprintKiB * 1024) << row.name;
        }
    }
}

TEST(MacConversions, ParentFoldsLikeTheLinuxBackend) {
    struct Row {
        const char* name;
        int rc;
        std::size_t length; // kinfo_proc length the call hands back
        std::optional<Pid> expected;
    };
    const Row rows[] = {
        {"found", 0, mac::kKinfoProcSize, 7},
        {"parent is the kernel", 0, mac::kKinfoProcSize, 0},
        {"vanished: zero length", 0, 0, std::nullopt},
        {"call failed", -1, mac::kKinfoProcSize, std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(mac::parentFrom(row.rc, row.length, row.expected.value_or(7)), row.expected)
            << row.name;
    }
}

// --- machine-wide counters ----------------------------------------------------

TEST(MacConversions, FailedMachineQueriesFoldLikeTheLinuxBackend) {
    EXPECT_EQ(mac::vmCountersFrom(5, {1, 2, 3, 4, 5}), std::nullopt);
    EXPECT_EQ(mac::physicalMemoryFrom(-1, 1234), 0u);
    EXPECT_EQ(mac::swapUsedFrom(-1, 9), std::nullopt);
    EXPECT_EQ(mac::pressureLevelFrom(-1, 4), std::nullopt);

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
}

// --- signals ------------------------------------------------------------------

TEST(MacConversions, OnlySingleProcessesAreSignalled) {
    const std::pair<Pid, bool> rows[] = {
        {0, false},         // own process group
        {-1, false},        // every process
        {-42, false},       // a process group
        {INT32_MIN, false}, // most negative
        {4242, true},       // one process
    };
    for (const auto& [pid, signalled] : rows) {
        EXPECT_EQ(mac::isSingleProcess(pid), signalled) << pid;
    }
}
