// Path searches, answered in the calling thread and in a child process, on a
// real tree; and the child against a real mount that stops answering.

#include "PathProbe.h"

#include "HungMount.h"
#include "ToolTree.h"

#include <atomic>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

// A plain pipe() is the non-atomic way: a child spawned by another thread
// before the close-on-exec flag is set inherits the prober's pipe. Counted here
// (this definition takes the place of libc's) when called from this program's
// own code, not a sanitizer runtime's: it must never be used.
static std::atomic<int> g_plainPipes{0};
extern "C" int pipe(int fds[2]) noexcept {
    Dl_info caller{};
    Dl_info self{};
    if (::dladdr(__builtin_return_address(0), &caller) != 0 &&
        ::dladdr(reinterpret_cast<void*>(&pipe), &self) != 0 &&
        caller.dli_fbase == self.dli_fbase) {
        ++g_plainPipes;
    }
    return ::pipe2(fds, 0);
}

namespace {

using namespace ombrix::platform;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

class PathProbeTree : public ::testing::Test, protected ombrix::testing::ToolTree {
protected:
    PathProbeTree()
        : ToolTree("probe") {}

    void SetUp() override {
        if (!ready()) {
            GTEST_SKIP() << "no home directory to build the tree in";
        }
        // A directory still open but removed, as a deleted working directory is.
        fs::create_directories(m_root / "removed");
        m_removed = ::open((m_root / "removed").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        fs::remove(m_root / "removed");
    }
    void TearDown() override {
        if (m_removed >= 0) {
            ::close(m_removed);
        }
    }

    int m_removed = -1;
};

TEST_F(PathProbeTree, BothProbersAnswerAlike) {
    struct Row {
        const char* name;
        PathSearch search;
        PathAnswer expected;
    };
    const std::string pubspec = path("shop_app/pubspec.yaml");
    const std::string missing = path("shop_app/lib/pubspec.yaml");
    const Row rows[] = {
        {"first that exists", {{missing, pubspec, missing}, "", 0}, {0, 1, false}},
        {"nothing found", {{missing, path("nowhere")}, "", 0}, {0, std::nullopt, false}},
        {"no paths", {{}, "", 0}, {0, std::nullopt, false}},
        {"live guard keeps its paths", {{pubspec}, path("shop_app"), 1}, {0, 0, false}},
        {"deleted guard skips its paths", {{pubspec, missing}, "", 1}, {0, std::nullopt, false}},
        {"vanished guard counts as deleted",
         {{pubspec, pubspec}, path("nowhere"), 1},
         {0, 1, true}},
    };
    std::vector<PathSearch> searches;
    for (const Row& row : rows) {
        searches.push_back(row.search);
    }
    // The child runs in its own process: /proc/self there is the child itself,
    // so the removed directory is named by our pid.
    searches[4].guard = "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(m_removed);
    const auto exists = [](const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0;
    };
    const auto deleted = [](const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) != 0 || info.st_nlink == 0;
    };
    auto inThread = answeredProbe(searches, exists, deleted);
    const int plainPipes = g_plainPipes;
    auto inChild = childProbe(searches);
    EXPECT_EQ(g_plainPipes, plainPipes) << "the prober's pipe was not made close-on-exec at once";
    const auto threadAnswers = inThread->collect(0ms);
    const auto childAnswers = inChild->collect(10s);
    ASSERT_EQ(threadAnswers.size(), std::size(rows));
    ASSERT_EQ(childAnswers.size(), std::size(rows));
    EXPECT_EQ(inChild->pending(), 0u);
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        PathAnswer expected = rows[i].expected;
        expected.search = i;
        expected.guardDeleted = expected.guardDeleted || i == 4;
        EXPECT_EQ(threadAnswers[i], expected) << "in thread: " << rows[i].name;
        EXPECT_EQ(childAnswers[i], expected) << "in child: " << rows[i].name;
    }
}

// Searches before the stuck one are answered, the stuck one and those queued
// behind it stay pending past the wait, and dropping the probe does not wait.
TEST_F(PathProbeTree, AHungMountHoldsOnlyTheChild) {
    ombrix::testing::HungMount mount(m_root / "mnt", OMBRIX_HUNG_FS);
    ASSERT_TRUE(mount.waitUntilMounted());
    mount.hang();
    auto probe = childProbe({{{path("shop_app/pubspec.yaml")}, "", 0},
                             {{(mount.project() / "pubspec.yaml").string()}, "", 0},
                             {{path("shop_app/pubspec.yaml")}, "", 0}});
    const auto answers = probe->collect(300ms);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], (PathAnswer{0, 0, false}));
    EXPECT_EQ(probe->pending(), 2u);
    probe.reset();
    EXPECT_TRUE(mount.stillHung());
}

} // namespace
