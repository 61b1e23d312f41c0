#pragma once

// A monitor state the benches publish by hand; its commands do nothing.

#include "MonitorState.h"

namespace ombrix::bench {

class BenchMonitor final : public MonitorState {
public:
    using MonitorState::setProcesses;
    void terminate(const ProcessRef&) override {}
    void endProcesses(const QList<ProcessRef>&) override {}
    void forceQuit(const ProcessRef&) override {}
};

} // namespace ombrix::bench
