#pragma once

// The monitor state the views read, written by hand: nothing is sampled, the
// published values change only when the test says so, and the commands only
// record what they were given.

#include "MonitorState.h"

#include <vector>

namespace ombrix::testing {

class FakeMonitor final : public MonitorState {
public:
    using MonitorState::appendPressure;
    using MonitorState::publish;
    using MonitorState::setMemory;
    using MonitorState::setProcesses;

    void terminate(const ProcessRef& process) override { terminated.push_back(process.id); }
    void endProcesses(const QList<ProcessRef>& processes) override { ended.append(processes); }
    void forceQuit(const ProcessRef& process) override { forceQuitted.push_back(process.id); }

    std::vector<Pid> terminated;
    QList<ProcessRef> ended;
    std::vector<Pid> forceQuitted;
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
