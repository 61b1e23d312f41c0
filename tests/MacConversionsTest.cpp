// The macOS backend's reading of kernel answers, run here against the same
// cases the Linux backend folds: a failed query is absent, never half-read.

#include "MacConversions.h"

#include "LinuxKernel.h"
#include "PsEnvironment.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace ombrix::platform;
namespace fs = std::filesystem;

namespace {

constexpr char replacement[] = "\xEF\xBF\xBD"; // U+FFFD

// A one-process /proc tree whose cwd and exe links point wherever the case says.
class ProcTree {
public:
    ProcTree()
        : m_root(fs::temp_directory_path() / ("ombrix-mac-" + std::to_string(getpid()))) {
        fs::remove_all(m_root);
        fs::create_directories(m_root / "42");
    }
    ~ProcTree() { fs::remove_all(m_root); }
    void link(const char* entry, const std::string& target) {
        fs::create_symlink(target, m_root / "42" / entry);
    }
    std::string root() const { return m_root.string(); }

private:
    fs::path m_root;
};

} // namespace

TEST(MacConversions, PathsFoldLikeTheLinuxBackend) {
    struct Row {
        const char* name;
        int rc;
        std::string buffer; // what the kernel wrote, NULs included
        std::optional<std::string> expected;
    };
    const std::string full(mac::kPidPathBufferSize, 'a');
    const Row rows[] = {
        {"plain", 12, std::string("/usr/bin/dart\0\0\0", 16), "/usr/bin/dart"},
        {"failed call", 0, std::string("/stale\0", 7), std::nullopt},
        {"negative result", -1, std::string("/stale\0", 7), std::nullopt},
        {"no NUL: taken whole, never read past", 4096, full, full},
        {"invalid UTF-8 replaced", 9,
         std::string("/tmp/a\xFF"
                     "b\0",
                     9),
         std::string("/tmp/a") + replacement + "b"},
        {"cut inside a character", 8, std::string("/tmp/\xC3\0", 7),
         std::string("/tmp/") + replacement},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(
            mac::pathFrom(row.rc, std::span<const char>(row.buffer.data(), row.buffer.size())),
            row.expected)
            << row.name;
    }

    // The same text through the Linux backend's link reading gives the same folding.
    ProcTree tree;
    tree.link("cwd", std::string("/tmp/a\xFF") + "b");
    const LinuxKernel onLinux(tree.root());
    EXPECT_EQ(onLinux.workingDirectory(42), std::string("/tmp/a") + replacement + "b");
    EXPECT_EQ(onLinux.executablePath(42), std::nullopt) << "no exe link: like proc_pidpath <= 0";
    EXPECT_EQ(onLinux.workingDirectory(43), std::nullopt) << "vanished process";
}

TEST(MacConversions, CountersAndRecordsFailClosed) {
    // A result code other than success gives nothing, whatever the record holds.
    EXPECT_EQ(mac::usageFrom(-1, {5, 6, 7}), std::nullopt);
    EXPECT_EQ(mac::usageFrom(3, {5, 6, 7}), std::nullopt);
    const auto usage = mac::usageFrom(0, {5, 6, 7});
    ASSERT_TRUE(usage);
    EXPECT_EQ(usage->cpuTime, 11u);
    EXPECT_EQ(usage->physFootprint, 7u);
    EXPECT_EQ(mac::usageFrom(0, {UINT64_MAX, 2, 0})->cpuTime, 1u) << "wraps, like the Linux sum";

    struct ParentRow {
        const char* name;
        int rc;
        std::size_t length;
        std::optional<Pid> expected;
    };
    const ParentRow parents[] = {
        {"found", 0, mac::kKinfoProcSize, 1},
        {"vanished: zero length", 0, 0, std::nullopt},
        {"call failed", -1, mac::kKinfoProcSize, std::nullopt},
    };
    for (const ParentRow& row : parents) {
        EXPECT_EQ(mac::parentFrom(row.rc, row.length, 1), row.expected) << row.name;
    }

    EXPECT_EQ(mac::vmCountersFrom(5, {1, 2, 3, 4, 5}), std::nullopt);
    const auto vm = mac::vmCountersFrom(0, {1, 2, 3, 4, 5});
    ASSERT_TRUE(vm);
    EXPECT_EQ(vm->wire, 1u);
    EXPECT_EQ(vm->internal, 5u);

    EXPECT_EQ(mac::physicalMemoryFrom(-1, 1234), 0u);
    EXPECT_EQ(mac::physicalMemoryFrom(0, 1234), 1234u);
    EXPECT_EQ(mac::swapUsedFrom(-1, 9), std::nullopt);
    EXPECT_EQ(mac::swapUsedFrom(0, 9), 9u);
    EXPECT_EQ(mac::pressureLevelFrom(-1, 4), std::nullopt);
    EXPECT_EQ(mac::pressureLevelFrom(0, 3), 3) << "unknown levels are passed on as read";
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
}

TEST(MacConversions, OnlySingleProcessesAreSignalled) {
    for (const Pid pid : {0, -1, -42, INT32_MIN}) {
        EXPECT_FALSE(mac::isSingleProcess(pid)) << pid;
        LinuxKernel().terminate(pid); // must not signal our group or everyone: we are still here
    }
    EXPECT_TRUE(mac::isSingleProcess(1));
}

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
        {"locale replaced", {"LC_ALL=POSIX", "LANG=C", nullptr}, {"LANG=C", "LC_ALL=C.UTF-8"}},
        {"look-alikes kept",
         {"COLUMNSX=1", "MY_COLUMNS=2", nullptr},
         {"COLUMNSX=1", "MY_COLUMNS=2", "LC_ALL=C.UTF-8"}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(psEnvironment(row.env.data()), row.expected) << row.name;
    }
    EXPECT_EQ(psEnvironment(nullptr), std::vector<std::string>{"LC_ALL=C.UTF-8"});
}
