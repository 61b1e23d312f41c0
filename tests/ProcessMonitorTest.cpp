#include "ProcessMonitor.h"

#include "MonitorHarness.h"
#include "Sampler.h"

#include <QPromise>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

using namespace ombrix;
using ombrix::testing::FakeKernel;

namespace {

// Workspace queries answered at once with `answer`; a short SIGKILL grace.
struct Harness : ombrix::testing::FakeKernelMonitor {
    int resolutions = 0;
    std::optional<QString> answer;

    Harness()
        : FakeKernelMonitor(
              [this](const QUrl&, std::chrono::milliseconds) {
                  ++resolutions;
                  QPromise<std::optional<QString>> promise;
                  promise.start();
                  promise.addResult(answer);
                  promise.finish();
                  return promise.future();
              },
              std::chrono::milliseconds(20)) {}
    // Pids 10 and 11, both started at 7, listed by one sample.
    void twoListedProcesses() {
        kernel.setListing("10 /x/dart run\n11 /x/dart run\n");
        for (Pid pid : {10, 11}) {
            process(pid, 0, 1);
            kernel.processes[pid].usage->startTime = 7;
        }
        sample();
    }
};

} // namespace

TEST(ProcessMonitor, firstSampleIsZeroThenMeasuresTheInterval) {
    Harness h;
    h.kernel.setListing("  10 /x/dart language-server\n");
    h.process(10, 1'000'000'000, 100);
    h.sample();
    ASSERT_EQ(h.monitor->processes().size(), 1);
    EXPECT_EQ(h.monitor->processes()[0].cpuPercent, 0.0);

    h.kernel.advance(2'000'000'000);
    h.process(10, 2'500'000'000, 100);
    h.sample();
    EXPECT_DOUBLE_EQ(h.monitor->processes()[0].cpuPercent, 75.0);
}

// The measuring step the cycle and the dump share.
TEST(SamplerSteps, cpuPercentBetweenTwoReadings) {
    struct Row {
        const char* name;
        quint64 before, after;
        qint64 elapsed;
        double percent;
    } rows[] = {
        {"a quarter of a core", 1'000, 250'001'000, 1'000'000'000, 25.0},
        {"two cores", 0, 2'000'000'000, 1'000'000'000, 200.0},
        {"counter went backwards (another process)", 500, 100, 1'000'000'000, 0.0},
        {"no time passed", 0, 100, 0, 0.0},
    };
    for (const Row& r : rows) {
        EXPECT_DOUBLE_EQ(Sampler::cpuPercent(r.before, r.after, r.elapsed), r.percent) << r.name;
    }
}

TEST(ProcessMonitor, selectsOnlyToolingProcessesAndNeverItself) {
    struct Row {
        const char* name;
        const char* line;
        bool listed;
    };
    const Row rows[] = {
        {"dart by name", "1 /usr/lib/DartAOTRuntime x", true},
        {"flutter under dart-sdk", "1 /o/dart-sdk/bin/flutter run", true},
        {"flutter elsewhere", "1 /o/bin/flutter run", false},
        {"dart-sdk in other case", "1 /o/Dart-SDK/bin/flutter", false},
        {"flutter_tester", "1 /o/flutter_tester", true},
        {"our own bundle", "1 /A/Ombrix.app/Contents/MacOS/dart", false},
        {"own pid", "999 /x/dart", false},
    };
    for (const auto& row : rows) {
        Harness h;
        h.kernel.setListing(row.line);
        h.process(1, 0, 1);
        h.process(999, 0, 1);
        h.sample();
        EXPECT_EQ(h.monitor->processes().size(), row.listed ? 1 : 0) << row.name;
    }
}

TEST(ProcessMonitor, ordersByWeightThenPid) {
    Harness h;
    h.kernel.setListing("5 /x/dart a\n3 /x/dart b\n7 /x/dart c\n");
    h.process(5, 0, 1000); // memory weight 1
    h.process(3, 0, 0);    // will reach 250 % CPU: weight capped at 1
    h.process(7, 0, 500);
    h.sample();
    h.kernel.advance(1'000'000'000);
    h.process(3, 2'500'000'000, 0);
    h.sample();
    const auto& p = h.monitor->processes();
    ASSERT_EQ(p.size(), 3);
    EXPECT_EQ(p[0].id, 3); // tie at weight 1 with pid 5: smaller pid first
    EXPECT_EQ(p[1].id, 5);
    EXPECT_EQ(p[2].id, 7);
    EXPECT_DOUBLE_EQ(p[0].cpuPercent, 250.0);
    EXPECT_EQ(h.monitor->peakMemoryBytes(), 1000u);
    EXPECT_EQ(h.monitor->totalMemoryBytes(), 1500u);
}

TEST(ProcessMonitor, failedListingEmptiesTheTableButStillRecordsPressure) {
    Harness h;
    h.kernel.physical = 1000;
    h.kernel.vm = platform::VmCounters{};
    h.kernel.setListing("10 /x/dart run\n");
    h.process(10, 0, 1);
    h.sample();
    ASSERT_EQ(h.monitor->processes().size(), 1);
    h.kernel.setListing("");
    h.sample();
    EXPECT_TRUE(h.monitor->processes().isEmpty());
    EXPECT_EQ(h.monitor->pressureHistory().size(), 2);
}

TEST(ProcessMonitor, historyKeepsTheNewestSixty) {
    Harness h;
    h.kernel.physical = 100;
    for (int i = 0; i < 61; ++i) {
        h.kernel.vm = platform::VmCounters{quint64(i), 0, 0, 0, 0};
        h.kernel.page = 1;
        h.sample();
    }
    ASSERT_EQ(h.monitor->pressureHistory().size(), 60);
    EXPECT_DOUBLE_EQ(h.monitor->pressureHistory().first(), 0.01);
    EXPECT_DOUBLE_EQ(h.monitor->pressureHistory().last(), 0.60);
}

TEST(ProcessMonitor, unchangedSampleDoesNotRepublish) {
    Harness h;
    h.kernel.setListing("10 /x/dart run\n");
    h.process(10, 0, 1);
    h.sample();
    QSignalSpy processes(h.monitor.get(), &ProcessMonitor::processesChanged);
    QSignalSpy memory(h.monitor.get(), &ProcessMonitor::memoryChanged);
    QSignalSpy history(h.monitor.get(), &ProcessMonitor::pressureHistoryChanged);
    h.sample();
    EXPECT_EQ(processes.size(), 0);
    EXPECT_EQ(memory.size(), 0);
    EXPECT_EQ(history.size(), 1);
}

TEST(ProcessMonitor, oneResolutionPerWindowAndWorkspaceOnlyWithoutProject) {
    Harness h;
    h.answer = QStringLiteral("/home/me/ws");
    // Two processes of one IDE window (pid 50) with the same daemon URL.
    h.kernel.setListing("10 /x/dart language-server --dtd-uri=ws://127.0.0.1:1/s\n"
                        "11 /x/dart tooling-daemon --dtd-uri=ws://127.0.0.1:1/s\n");
    h.process(10, 0, 1, 50);
    h.process(11, 0, 1, 50);
    h.kernel.processes[11].cwd = "/home/me/proj";
    h.kernel.files.insert("/home/me/proj/pubspec.yaml");
    h.ideWindow(50);
    h.sample();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto& rows = h.monitor->processes();
            return h.kernel.listCalls >= 2 && rows.size() == 2 &&
                   std::any_of(rows.begin(), rows.end(),
                               [](const auto& row) { return row.workspace.has_value(); });
        },
        5000));
    EXPECT_EQ(h.resolutions, 1);
    const auto& rows = h.monitor->processes();
    ASSERT_EQ(rows.size(), 2);
    for (const auto& row : rows) {
        if (row.id == 10) {
            EXPECT_EQ(row.workspace, QStringLiteral("/home/me/ws"));
            EXPECT_EQ(row.name, QStringLiteral("Analyzer (VS Code)"));
        } else {
            EXPECT_EQ(row.projectPath, QStringLiteral("/home/me/proj"));
            EXPECT_FALSE(row.workspace);
        }
    }
    h.sample();
    EXPECT_EQ(h.resolutions, 1);
}

TEST(ProcessMonitor, aProcessWhoseIdeEndsIsALeftoverUnderItsOldName) {
    Harness h;
    h.kernel.setListing("10 /x/dart language-server\n11 /x/dart run\n");
    h.process(10, 0, 300, 50);
    h.process(11, 0, 5, 50);
    h.ideWindow(50);
    h.sample();
    ASSERT_TRUE(h.row(10));
    EXPECT_FALSE(h.row(10)->leftover);
    EXPECT_EQ(h.monitor->leftoverCount(), 0);

    h.kernel.processes[10].parent = 1; // the window closed
    h.kernel.processes[10].service = true;
    h.sample();
    ASSERT_TRUE(h.row(10));
    EXPECT_TRUE(h.row(10)->leftover);
    EXPECT_EQ(h.row(10)->name, QStringLiteral("Analyzer (VS Code)"));
    EXPECT_FALSE(h.row(11)->leftover);
    EXPECT_EQ(h.monitor->leftoverCount(), 1);
    EXPECT_EQ(h.monitor->leftoverBytes(), 300u);
}

TEST(ProcessMonitor, sigkillIsOfferedAfterTheGraceToTheSameProcessOnly) {
    Harness h;
    h.twoListedProcesses();

    h.monitor->forceQuit({10, 7});
    EXPECT_TRUE(h.kernel.killed.empty()) << "no SIGKILL without a SIGTERM first";
    h.monitor->terminate({10, 7});
    h.monitor->terminate({11, 7});
    EXPECT_EQ(h.kernel.terminated, (std::vector<Pid>{10, 11}));
    EXPECT_FALSE(h.row(10)->ignoredTerminate);
    h.monitor->forceQuit({10, 7});
    EXPECT_TRUE(h.kernel.killed.empty()) << "offered before the grace was over";

    h.kernel.processes[11].usage->startTime = 8; // 11 ended; its pid went to another process
    ASSERT_TRUE(QTest::qWaitFor([&] { return h.row(10) && h.row(10)->ignoredTerminate; }, 5000));
    h.sample();
    EXPECT_FALSE(h.row(11)->ignoredTerminate);
    h.monitor->forceQuit({11, 8});
    h.monitor->forceQuit({11, 7});
    h.monitor->forceQuit({10, 7});
    EXPECT_EQ(h.kernel.killed, std::vector<Pid>{10});
}

TEST(ProcessMonitor, endingProcessesSendsSigtermNowAndSigkillAfterTheGrace) {
    Harness h;
    h.twoListedProcesses();

    h.monitor->endProcesses({{10, 7}, {11, 7}, {12, 7}});
    EXPECT_EQ(h.kernel.terminated, (std::vector<Pid>{10, 11, 12}));
    EXPECT_TRUE(h.kernel.killed.empty());
    h.kernel.processes[11].usage->startTime = 9; // reused during the grace
    ASSERT_TRUE(QTest::qWaitFor([&] { return !h.kernel.killed.empty(); }, 5000));
    EXPECT_EQ(h.kernel.killed, (std::vector<Pid>{10, 12}));
}

// Pid 10 is the user's, 11 another user's, 12's owner cannot be read.
TEST(ProcessMonitor, onlyTheUsersOwnProcessesKeepAHistoryUnlessRoot) {
    for (const auto user : {std::optional<std::uint32_t>(1000), std::optional<std::uint32_t>()}) {
        Harness h;
        h.kernel.user = user;
        h.kernel.setListing("10 /x/dart run\n11 /x/dart run\n12 /x/dart run\n");
        for (Pid pid : {10, 11, 12}) {
            h.process(pid);
        }
        h.kernel.processes[11].owner = 2000;
        h.kernel.processes[12].owner = std::nullopt;
        h.sample();
        EXPECT_EQ(h.monitor->history().count(), user ? 1 : 3);
        EXPECT_TRUE(h.monitor->history().series({10, 0}));
    }
}
