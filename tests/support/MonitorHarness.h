#pragma once

// Driving a ProcessMonitor from a test: one sample at a time, its rows by pid,
// and a monitor without its poll loop over a FakeKernel set up by hand.

#include "FakeKernel.h"
#include "ProcessMonitor.h"

#include <QCoreApplication>
#include <QTest>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace ombrix::testing {

// Whether events the sample posted are delivered before the test goes on.
enum class Posted { Deliver, Leave };

// Runs one sample; true once its results are applied (the queries it started included).
inline bool sampled(ProcessMonitor& monitor, Posted posted = Posted::Deliver) {
    QFuture<void> done = monitor.sample();
    // A live sample waits up to the search grace per new process, on a loaded machine too.
    const bool finished = QTest::qWaitFor([&] { return done.isFinished(); }, 10000);
    if (posted == Posted::Deliver) {
        QCoreApplication::processEvents();
    }
    return finished;
}

inline std::optional<DartProcess> rowOf(const ProcessMonitor& monitor, Pid pid) {
    for (const DartProcess& p : monitor.processes()) {
        if (p.id == pid) {
            return p;
        }
    }
    return std::nullopt;
}

// The real machine, sampled only when the test says so.
inline ProcessMonitor::Options unpolled() {
    ProcessMonitor::Options options;
    options.pollLoop = false;
    return options;
}

struct FakeKernelMonitor {
    FakeKernel kernel;
    std::unique_ptr<ProcessMonitor> monitor;

    explicit FakeKernelMonitor(ProcessMonitor::Resolver resolver,
                               std::chrono::milliseconds killGrace = std::chrono::seconds(5)) {
        ProcessMonitor::Options options;
        options.kernel = &kernel;
        options.pollLoop = false;
        options.resolver = std::move(resolver);
        options.killGrace = killGrace;
        monitor = std::make_unique<ProcessMonitor>(options);
    }

    void process(Pid pid, quint64 cpuNanos = 0, quint64 bytes = 100, Pid parent = 1) {
        FakeKernel::Process p;
        p.parent = parent;
        p.usage =
            platform::ProcessUsage{cpuNanos, bytes, 0, std::nullopt, std::nullopt, std::nullopt};
        kernel.processes[pid] = p;
    }
    // The IDE window that tools started from the editor have as an ancestor.
    void ideWindow(Pid pid) { kernel.processes[pid].exe = "/usr/share/code/code"; }

    void sample(Posted posted = Posted::Deliver) { ASSERT_TRUE(sampled(*monitor, posted)); }
    std::optional<DartProcess> row(Pid pid) const { return rowOf(*monitor, pid); }
};

} // namespace ombrix::testing
