#pragma once

// A monitor whose samples the test writes by hand: nothing is polled, and the
// published values change only when the test says so.

#include "FakeKernel.h"
#include "Kernel.h"
#include "ProcessMonitor.h"

namespace ombrix::testing {

struct KernelHolder {
    FakeKernel fakeKernel;
};

// The kernel member is a base so that it exists before the monitor does.
class SampleMonitor : private KernelHolder, public ProcessMonitor {
public:
    SampleMonitor()
        : ProcessMonitor(Options{&fakeKernel, {}, false}) {}
    // A monitor on the real kernel (terminate() really signals), still not polling.
    explicit SampleMonitor(const platform::Kernel& kernel)
        : ProcessMonitor(Options{&kernel, {}, false}) {}

    using KernelHolder::fakeKernel;
    using ProcessMonitor::appendPressure;
    using ProcessMonitor::setMemory;
    using ProcessMonitor::setProcesses;
};

inline DartProcess process(Pid id, QString name, double cpu = 0, quint64 memory = 0) {
    DartProcess p;
    p.id = id;
    p.name = std::move(name);
    p.executableName = QStringLiteral("dart");
    p.command = QStringLiteral("dart run");
    p.cpuPercent = cpu;
    p.memoryBytes = memory;
    return p;
}

} // namespace ombrix::testing
