// ProcFileCache on a scratch tree (rewritten in place, as /proc regenerates
// its files) and on the live kernel (a child that is reaped under it).

#include "ProcFileCache.h"

#include "ChildProcess.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using namespace ombrix::platform;
using namespace std::chrono_literals;
using File = ProcFileCache::File;
namespace fs = std::filesystem;

class ScratchProc : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ombrix-proc-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
    }
    void TearDown() override { fs::remove_all(m_root); }

    // Overwrites in place: an open descriptor sees the new text.
    void write(Pid pid, const char* file, const std::string& text) {
        fs::create_directories(m_root / std::to_string(pid));
        std::ofstream(m_root / std::to_string(pid) / file, std::ios::trunc) << text;
    }
    std::string root() const { return m_root.string(); }

    fs::path m_root;
};

TEST_F(ScratchProc, ReadsAreFreshAndWholeWhateverTheSize) {
    struct Row {
        const char* name;
        std::string first;
        std::string second;
    };
    const Row rows[] = {
        {"grows", "1 (a) S 1", "1 (a) S 1 " + std::string(100, 'x')},
        {"shrinks", std::string(300, 'y'), "z"},
        {"one buffer exactly", std::string(8192, 'b'), std::string(8191, 'c')},
        {"several buffers", std::string(20000, 'd'), std::string(16385, 'e')},
        {"becomes empty", "something", ""},
    };
    for (const Row& row : rows) {
        ProcFileCache cache(root(), 8, 1h);
        write(10, "stat", row.first);
        EXPECT_EQ(cache.read(10, File::Stat), row.first) << row.name;
        write(10, "stat", row.second);
        EXPECT_EQ(cache.read(10, File::Stat), row.second) << row.name;
        EXPECT_EQ(cache.openDescriptors(), 1u) << row.name;
    }
}

TEST_F(ScratchProc, RefusesWhatCannotBeAProcessFile) {
    write(10, "stat", std::string((1 << 20) + 1, 'x'));
    ProcFileCache cache(root(), 8, 1h);
    EXPECT_FALSE(cache.read(10, File::Stat)) << "over the size limit";
    EXPECT_EQ(cache.openDescriptors(), 0u);
    for (const Pid pid : {0, -1, 11}) {
        EXPECT_FALSE(cache.read(pid, File::Status)) << pid;
    }
    EXPECT_EQ(cache.openDescriptors(), 0u) << "failed opens hold nothing";
}

TEST_F(ScratchProc, CapacityAndIdleTimeBoundWhatStaysOpen) {
    struct Row {
        const char* name;
        std::size_t capacity;
        std::chrono::nanoseconds idle;
        std::size_t open; // after reading both files of pids 10, 11, 12
    };
    const Row rows[] = {
        {"room for all", 8, 1h, 6},
        {"room for one", 1, 1h, 2},
        {"none at all", 0, 1h, 0},
        {"idle at once: only the last read stays", 8, 0ns, 1},
    };
    for (const Pid pid : {10, 11, 12}) {
        write(pid, "stat", "stat of " + std::to_string(pid));
        write(pid, "status", "status of " + std::to_string(pid));
    }
    for (const Row& row : rows) {
        // Every reading of the clock is a nanosecond on; the test steps it further.
        std::int64_t now = 0;
        ProcFileCache cache(root(), row.capacity, row.idle, [&now] { return ++now; });
        for (int pass = 0; pass < 2; ++pass) {
            for (const Pid pid : {10, 11, 12}) {
                EXPECT_EQ(cache.read(pid, File::Stat), "stat of " + std::to_string(pid))
                    << row.name;
                EXPECT_EQ(cache.read(pid, File::Status), "status of " + std::to_string(pid))
                    << row.name;
            }
        }
        EXPECT_EQ(cache.openDescriptors(), row.open) << row.name;
        // Without a further read, as when the last watched process has gone.
        cache.sweepIdle();
        EXPECT_EQ(cache.openDescriptors(), row.idle > 0ns ? row.open : 0u) << row.name;
        now += std::chrono::nanoseconds(2h).count();
        cache.sweepIdle();
        EXPECT_EQ(cache.openDescriptors(), 0u) << row.name << ": idle for longer than allowed";
    }
}

TEST(LiveProcFileCache, AReapedProcessIsGoneAndItsDescriptorsClosed) {
    ProcFileCache cache("/proc", 8, 1h);
    ombrix::testing::Child child("/bin/sleep", {"sleep", "30"});
    ASSERT_GT(child.pid(), 0);
    const Pid pid = child.pid();
    const auto first = cache.read(pid, File::Stat);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->rfind(std::to_string(pid) + " (", 0), 0u) << *first;
    ASSERT_TRUE(cache.read(pid, File::Status));
    EXPECT_EQ(cache.openDescriptors(), 2u);

    child.stop(); // killed and reaped: the held descriptors now read ESRCH
    EXPECT_FALSE(cache.read(pid, File::Stat));
    EXPECT_FALSE(cache.read(pid, File::Status));
    EXPECT_EQ(cache.openDescriptors(), 0u);
}

} // namespace
