#include "ProcParsers.h"

#include "NamedRow.h"

#include <gtest/gtest.h>

namespace {

using namespace ombrix::platform;
using namespace ombrix::platform::proc;

// --- /proc/PID/stat ------------------------------------------------------------

struct StatRow {
    const char* name;
    std::string text;
    std::optional<Stat> stat;
    OMBRIX_NAMED_ROW(StatRow)
};

constexpr const char* kTail = " 0 0 20 0 1 0 100 0 0\n";

const StatRow kStatRows[] = {
    {"Plain", std::string("42 (dart) S 7 42 42 0 -1 0 0 0 0 0 250 50") + kTail,
     Stat{7, 250, 50, 0, 42}},
    {"NameWithParenthesesAndSpaces",
     std::string("42 (a ) (b c) R 7 42 42 0 -1 0 0 0 0 0 1 2") + kTail, Stat{7, 1, 2, 0, 42}},
    {"NameThatLooksLikeFields", std::string("42 (x) S 1 2 3) Z 9 0 0 0 -1 0 0 0 0 0 5 6") + kTail,
     Stat{9, 5, 6, 0, 0}},
    {"NameWithNewline", std::string("42 (a\nb) S 7 0 0 0 -1 0 0 0 0 0 3 4") + kTail,
     Stat{7, 3, 4, 0, 0}},
    {"EndsRightAfterSystemTime", "42 (dart) S 7 42 42 0 -1 0 0 0 0 0 250 50",
     Stat{7, 250, 50, 0, 42}},
    {"SessionNotANumberIsUnread", "42 (dart) S 7 42 4x 0 -1 0 0 0 0 0 250 50",
     Stat{7, 250, 50, 0, std::nullopt}},
    {"HugeTickCounts", "1 (d) S 0 0 0 0 -1 0 0 0 0 0 18446744073709551615 0",
     Stat{0, UINT64_MAX, 0, 0, 0}},
    {"CutBeforeSystemTime", "42 (dart) S 7 42 42 0 -1 0 0 0 0 0 250", std::nullopt},
    {"CutInsideName", "42 (da", std::nullopt},
    {"Empty", "", std::nullopt},
    {"UserTimeNotANumber", "42 (dart) S 7 0 0 0 -1 0 0 0 0 0 2x0 50", std::nullopt},
    {"NegativeUserTime", "42 (dart) S 7 0 0 0 -1 0 0 0 0 0 -250 50", std::nullopt},
    {"ParentOutOfRange", "42 (dart) S 4294967296 0 0 0 -1 0 0 0 0 0 1 1", std::nullopt},
    {"StateIsNotOneLetter", "42 (dart) SS 7 0 0 0 -1 0 0 0 0 0 1 1", std::nullopt},
};

class StatTest : public ::testing::TestWithParam<StatRow> {};

TEST_P(StatTest, Parses) {
    const auto& row = GetParam();
    const auto got = parseStat(row.text);
    ASSERT_EQ(got.has_value(), row.stat.has_value());
    if (got) {
        EXPECT_EQ(got->parent, row.stat->parent);
        EXPECT_EQ(got->userTicks, row.stat->userTicks);
        EXPECT_EQ(got->systemTicks, row.stat->systemTicks);
        EXPECT_EQ(got->session, row.stat->session);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, StatTest, ::testing::ValuesIn(kStatRows),
                         ombrix::testing::RowName());

// --- /proc/PID/status ------------------------------------------------------------

struct StatusRow {
    const char* name;
    std::string text;
    std::uint64_t anon, swap, pte;
    std::optional<std::uint32_t> uid = std::nullopt;
    OMBRIX_NAMED_ROW(StatusRow)
};

const StatusRow kStatusRows[] = {
    {"AllThree",
     "Name:\tdart\nUid:\t1000\t0\t0\t0\nVmRSS:\t 900 kB\nRssAnon:\t  512 kB\nVmPTE:\t 16 kB\n"
     "VmSwap:\t 8 kB\n",
     512, 8, 16, 1000},
    {"KernelThreadHasNone", "Name:\tkthreadd\nState:\tS (sleeping)\nThreads:\t1\n", 0, 0, 0},
    {"SimilarKeysAreNotConfused", "RssAnonX:\t1 kB\nVmSwapped:\t2 kB\nRssAnon: 3 kB", 3, 0, 0},
    {"CutMidLine", "RssAnon:\t 12 kB\nVmSw", 12, 0, 0},
    {"KeyInsideAnotherLineIsSkipped", "Name:\tRssAnon: 7 kB\nRssAnon:\t5 kB\n", 5, 0, 0},
    {"KeyWithoutValue", "VmPTE:\nVmSwap:\t2 kB\n", 0, 2, 0},
    {"GarbageValue", "RssAnon:\t lots kB\nVmPTE:\t4 kB\n", 0, 0, 4},
    {"Empty", "", 0, 0, 0},
};

class StatusTest : public ::testing::TestWithParam<StatusRow> {};

TEST_P(StatusTest, ReadsMemoryLines) {
    const auto& row = GetParam();
    const StatusMemory m = parseStatus(row.text);
    EXPECT_EQ(m.rssAnonKiB, row.anon);
    EXPECT_EQ(m.vmSwapKiB, row.swap);
    EXPECT_EQ(m.vmPteKiB, row.pte);
    EXPECT_EQ(m.realUid, row.uid);
}

INSTANTIATE_TEST_SUITE_P(Rows, StatusTest, ::testing::ValuesIn(kStatusRows),
                         ombrix::testing::RowName());

// --- /proc/meminfo and the counters ---------------------------------------------

TEST(MeminfoTest, WithoutTotalIsNotAMeminfo) {
    EXPECT_FALSE(parseMeminfo("").has_value());
    EXPECT_FALSE(parseMeminfo("MemFree: 10 kB\nMemTotal: ? kB\n").has_value());
}

TEST(MeminfoTest, OlderKernelWithoutZswapOrReclaimableReadsZero) {
    const auto info = parseMeminfo("MemTotal: 1000 kB\nMemFree: 100 kB\nAnonPages: 300 kB\n");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->memTotal, 1000u);
    EXPECT_EQ(info->anonPages, 300u);
    EXPECT_EQ(info->zswap, 0u);
    EXPECT_EQ(info->kReclaimable, 0u);
}

TEST(VmCountersTest, WiredIsWhatRemainsOfUsedMemory) {
    MemInfo m;
    m.memTotal = 10'000;
    m.memFree = 1'000;
    m.anonPages = 3'000;
    m.shmem = 500;
    m.activeFile = 1'500;
    m.inactiveFile = 1'000;
    m.zswap = 100;
    m.kReclaimable = 400;
    const VmCounters c = vmCountersFrom(m, 200 * 1024);
    EXPECT_EQ(c.internal, 3'500u);
    EXPECT_EQ(c.external, 2'500u);
    EXPECT_EQ(c.compressor, 300u);
    EXPECT_EQ(c.purgeable, 0u);
    EXPECT_EQ(c.wire, 10'000u - 1'000 - 3'500 - 2'500 - 300 - 400);
}

TEST(VmCountersTest, InconsistentCountersClampWiredAtZero) {
    MemInfo m;
    m.memTotal = 1'000;
    m.memFree = 900;
    m.anonPages = 200; // read a moment later than MemFree on a busy machine
    EXPECT_EQ(vmCountersFrom(m, 0).wire, 0u);
    m.memFree = 2'000;
    EXPECT_EQ(vmCountersFrom(m, 0).wire, 0u);
}

// --- /proc/swaps --------------------------------------------------------------------

struct SwapsRow {
    const char* name;
    std::string text;
    std::optional<std::uint64_t> bytes;
    OMBRIX_NAMED_ROW(SwapsRow)
};

constexpr const char* kSwapsHeader = "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n";

const SwapsRow kSwapsRows[] = {
    {"NoSwap", kSwapsHeader, 0},
    {"PartitionAndFileAreSummed",
     std::string(kSwapsHeader) + "/dev/sda2 partition 100 10 -2\n/swap\\040file file 100 5 -3\n",
     15 * 1024},
    {"ZramIsCompressedRamNotSwap",
     std::string(kSwapsHeader) + "/dev/zram0 partition 800 700 100\n/swapfile file 100 4 -2\n",
     4 * 1024},
    {"FileNamedLikeZramIsSwap", std::string(kSwapsHeader) + "/dev/zramfile file 100 6 -2\n",
     6 * 1024},
    {"CutRowIsSkipped", std::string(kSwapsHeader) + "/swapfile file 100 3 -2\n/dev/sdb1 part",
     3 * 1024},
    {"NoHeader", "/swapfile file 100 3 -2\n", std::nullopt},
    {"Empty", "", std::nullopt},
};

class SwapsTest : public ::testing::TestWithParam<SwapsRow> {};

TEST_P(SwapsTest, SumsUsedColumn) {
    EXPECT_EQ(parseSwaps(GetParam().text), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Rows, SwapsTest, ::testing::ValuesIn(kSwapsRows),
                         ombrix::testing::RowName());

// --- /proc/PID/cgroup -------------------------------------------------------------

struct CgroupRow {
    const char* name;
    std::string text;
    bool service;
    OMBRIX_NAMED_ROW(CgroupRow)
};

const CgroupRow kCgroupRows[] = {
    {"SystemService", "0::/system.slice/dart-server.service\n", true},
    {"UserService", "0::/user.slice/user-1000.slice/user@1000.service/app.slice/dtd.service\n",
     true},
    {"AppScopeUnderTheUserManager",
     "0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-code-42.scope\n", false},
    {"LoginSession", "0::/user.slice/user-1000.slice/session-2.scope\n", false},
    {"LegacyHierarchyNamesTheUnit",
     "12:memory:/x\n1:name=systemd:/system.slice/dart.service\n0::/\n", true},
    {"OnlyAControllerNamesAService", "4:memory:/system.slice/dart.service\n0::/\n", false},
    {"TrailingSlash", "0::/system.slice/dart.service/\n", true},
    {"BareSuffixIsNoUnit", "0::/.service\n", false},
    {"Container", "0::/\n", false},
    {"Empty", "", false},
    {"Garbage", "no colons here\n0:\n", false},
};

class CgroupTest : public ::testing::TestWithParam<CgroupRow> {};

TEST_P(CgroupTest, TellsServiceUnits) {
    EXPECT_EQ(inServiceUnit(GetParam().text), GetParam().service);
}

INSTANTIATE_TEST_SUITE_P(Rows, CgroupTest, ::testing::ValuesIn(kCgroupRows),
                         ombrix::testing::RowName());

// --- /proc/pressure/memory --------------------------------------------------------

struct PressureRow {
    const char* name;
    std::string text;
    std::optional<std::int32_t> level;
    OMBRIX_NAMED_ROW(PressureRow)
};

std::string psi(const char* some, const char* full) {
    return std::string("some avg10=") + some +
           " avg60=0.00 avg300=0.00 total=1\nfull avg10=" + full +
           " avg60=0.00 avg300=0.00 total=1\n";
}

const PressureRow kPressureRows[] = {
    {"Idle", psi("0.00", "0.00"), 1},
    {"SomeJustBelowThreshold", psi("9.99", "0.00"), 1},
    {"SomeAtThreshold", psi("10.00", "2.00"), 2},
    {"FullAtThreshold", psi("50.00", "10.00"), 4},
    {"FullAloneIsCritical", psi("0.00", "99.99"), 4},
    {"FullLineMissing", "some avg10=12.00 avg60=0.00 avg300=0.00 total=1\n", 2},
    {"SomeLineGarbage", "some avg10=x\nfull avg10=1.00 avg60=0.00\n", 1},
    {"NoAverages", "some total=1\nfull total=1\n", std::nullopt},
    {"Empty", "", std::nullopt},
};

class PressureTest : public ::testing::TestWithParam<PressureRow> {};

TEST_P(PressureTest, MapsToLevel) {
    EXPECT_EQ(parsePressure(GetParam().text), GetParam().level);
}

INSTANTIATE_TEST_SUITE_P(Rows, PressureTest, ::testing::ValuesIn(kPressureRows),
                         ombrix::testing::RowName());

TEST(ZramMmStatTest, ThirdFieldIsMemoryUsed) {
    EXPECT_EQ(parseZramMmStat("  4096   1024   8192   0  8192  0  0  0\n"), 8192u);
    EXPECT_FALSE(parseZramMmStat("4096 1024").has_value());
    EXPECT_FALSE(parseZramMmStat("").has_value());
}

} // namespace
