// terminate() after the row's process has exited and its pid was given to
// another process. Runs as pid 1 of a private pid namespace (see
// monitor-live.cmake), where ns_last_pid makes the kernel hand out the
// row's pid again on demand, and no other process on the machine is near.

#include "ChildProcess.h"
#include "MonitorHarness.h"

#include <QTest>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

using namespace ombrix;
using ombrix::testing::rowOf;
using ombrix::testing::sampled;
namespace fs = std::filesystem;

namespace {

// A "dart" that keeps SIGTERM blocked, so a delivered SIGTERM stays visible as pending.
std::unique_ptr<ombrix::testing::Child> spawnDart(const std::string& dart) {
    ombrix::testing::ChildOptions options;
    options.blockedSignals = {SIGTERM};
    return std::make_unique<ombrix::testing::Child>(dart, std::vector<std::string>{dart, "600"},
                                                    options);
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

TEST(PidReuse, TheRowsPidGivenToAnotherProcessIsNeverSignalled) {
    ASSERT_EQ(::getpid(), 1) << "run this test inside unshare --pid --fork --mount-proc";
    const fs::path dir =
        fs::temp_directory_path() / ("ombrix-reuse-" + std::to_string(::getppid()));
    fs::create_directories(dir);
    const std::string dart = (dir / "dart").string();
    fs::copy_file("/bin/sleep", dart, fs::copy_options::overwrite_existing);

    ProcessMonitor monitor(ombrix::testing::unpolled());

    auto firstChild = spawnDart(dart);
    const pid_t first = firstChild->pid();
    ASSERT_GT(first, 0);
    ASSERT_TRUE(sampled(monitor));
    const auto seen = rowOf(monitor, first);
    ASSERT_TRUE(seen) << "the row the user sees";

    // The row's process ends; the next process started gets its pid.
    firstChild->stop();
    std::unique_ptr<ombrix::testing::Child> secondChild;
    for (int attempt = 0; attempt < 3 && !(secondChild && secondChild->pid() == first); ++attempt) {
        secondChild.reset(); // killed and reaped
        std::ofstream("/proc/sys/kernel/ns_last_pid") << first - 1;
        secondChild = spawnDart(dart);
    }
    const pid_t second = secondChild->pid();
    ASSERT_EQ(second, first) << "could not force the pid's reuse";

    monitor.terminate({first, seen->startTime}); // the click on the two-second-old row
    EXPECT_FALSE(sigtermPending(second)) << "SIGTERM reached the process that took the pid";
    // The fresh sample after the click still runs, and lists the newcomer.
    std::optional<DartProcess> now;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            now = rowOf(monitor, second);
            return now && now->startTime != seen->startTime;
        },
        10000));
    monitor.terminate({first, seen->startTime}); // the same click, once the newcomer is listed
    EXPECT_FALSE(sigtermPending(second)) << "SIGTERM reached the newcomer the row now shows";

    // Once the newcomer is the row on screen, its own button does reach it.
    monitor.terminate({second, now->startTime});
    EXPECT_TRUE(sigtermPending(second));

    secondChild.reset();
    fs::remove_all(dir);
}

} // namespace
