// terminate() after the row's process has exited and its pid was given to
// another process. Runs as pid 1 of a private pid namespace (see
// monitor-live.cmake), where ns_last_pid makes the kernel hand out the
// row's pid again on demand, and no other process on the machine is near.

#include "ProcessMonitor.h"

#include <QCoreApplication>
#include <QTest>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ombrix;
namespace fs = std::filesystem;
extern char** environ;

namespace {

// A "dart" that keeps SIGTERM blocked, so a delivered SIGTERM stays visible as pending.
pid_t spawnDart(const std::string& dart) {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    posix_spawnattr_setsigmask(&attributes, &blocked);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    std::string program = dart;
    std::string seconds = "600";
    char* argv[] = {program.data(), seconds.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, dart.c_str(), nullptr, &attributes, argv, environ) != 0) {
        pid = -1;
    }
    posix_spawnattr_destroy(&attributes);
    return pid;
}

bool sigtermPending(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0) {
            if ((std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1) {
                return true;
            }
        }
    }
    return false;
}

std::optional<DartProcess> row(const ProcessMonitor& monitor, pid_t pid) {
    for (const DartProcess& p : monitor.processes()) {
        if (p.id == pid) {
            return p;
        }
    }
    return std::nullopt;
}

bool sampled(ProcessMonitor& monitor) {
    QFuture<void> done = monitor.sample();
    return QTest::qWaitFor([&] { return done.isFinished(); }, 10000);
}

TEST(PidReuse, TheRowsPidGivenToAnotherProcessIsNeverSignalled) {
    ASSERT_EQ(::getpid(), 1) << "run this test inside unshare --pid --fork --mount-proc";
    const fs::path dir =
        fs::temp_directory_path() / ("ombrix-reuse-" + std::to_string(::getppid()));
    fs::create_directories(dir);
    const std::string dart = (dir / "dart").string();
    fs::copy_file("/bin/sleep", dart, fs::copy_options::overwrite_existing);

    ProcessMonitor::Options options;
    options.pollLoop = false;
    ProcessMonitor monitor(options);

    const pid_t first = spawnDart(dart);
    ASSERT_GT(first, 0);
    ASSERT_TRUE(sampled(monitor));
    const auto seen = row(monitor, first);
    ASSERT_TRUE(seen) << "the row the user sees";

    // The row's process ends; the next process started gets its pid.
    ::kill(first, SIGKILL);
    ::waitpid(first, nullptr, 0);
    pid_t second = -1;
    for (int attempt = 0; attempt < 3 && second != first; ++attempt) {
        if (second > 0) {
            ::kill(second, SIGKILL);
            ::waitpid(second, nullptr, 0);
        }
        std::ofstream("/proc/sys/kernel/ns_last_pid") << first - 1;
        second = spawnDart(dart);
    }
    ASSERT_EQ(second, first) << "could not force the pid's reuse";

    monitor.terminate(first); // the click on the two-second-old row
    EXPECT_FALSE(sigtermPending(second)) << "SIGTERM reached the process that took the pid";
    // The fresh sample after the click still runs, and lists the newcomer.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto now = row(monitor, second);
            return now && now->startTime != seen->startTime;
        },
        10000));

    // Once the newcomer is the row on screen, its own button does reach it.
    monitor.terminate(second);
    EXPECT_TRUE(sigtermPending(second));

    ::kill(second, SIGKILL);
    ::waitpid(second, nullptr, 0);
    fs::remove_all(dir);
}

} // namespace
