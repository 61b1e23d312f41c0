#include "MonitorState.h"

#include <algorithm>

namespace ombrix {

quint64 MonitorState::totalMemoryBytes() const {
    quint64 total = 0;
    for (const auto& p : m_processes) {
        total += p.memoryBytes;
    }
    return total;
}

quint64 MonitorState::peakMemoryBytes() const {
    quint64 peak = 0;
    for (const auto& p : m_processes) {
        peak = std::max(peak, p.memoryBytes);
    }
    return peak;
}

qsizetype MonitorState::leftoverCount() const {
    return std::count_if(m_processes.cbegin(), m_processes.cend(),
                         [](const DartProcess& p) { return p.leftover; });
}

quint64 MonitorState::leftoverBytes() const {
    quint64 total = 0;
    for (const auto& p : m_processes) {
        total += p.leftover ? p.memoryBytes : 0;
    }
    return total;
}

void MonitorState::setProcesses(QList<DartProcess> processes) {
    if (processes == m_processes) {
        return;
    }
    m_processes = std::move(processes);
    emit processesChanged();
}

void MonitorState::publish(QList<DartProcess> rows, qint64 atMs, const GrowthRule::Params& rule) {
    m_history.record(rows, atMs);
    for (DartProcess& row : rows) {
        const UsageSeries* series = m_history.series({row.id, row.startTime});
        row.growth = series ? GrowthRule::growth(*series, rule) : std::nullopt;
    }
    setProcesses(std::move(rows));
    emit historyChanged();
}

void MonitorState::setMemory(const SystemMemory& memory) {
    if (memory == m_memory) {
        return;
    }
    m_memory = memory;
    emit memoryChanged();
}

void MonitorState::appendPressure(double fraction) {
    m_pressureHistory.append(fraction);
    if (m_pressureHistory.size() > historyLimit) {
        m_pressureHistory.remove(0, m_pressureHistory.size() - historyLimit);
    }
    emit pressureHistoryChanged();
}

} // namespace ombrix
