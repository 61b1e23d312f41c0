#pragma once

// What the views read of the monitor: the published process table, the
// machine's memory, the pressure history, and the one command they give.
// The values live here and change only through the protected writers, which
// notify only when something changed (pressureHistoryChanged on every
// append). Used on the thread that owns it.

#include "DartProcess.h"
#include "GrowthRule.h"
#include "SystemMemory.h"
#include "UsageHistory.h"

#include <QList>
#include <QObject>

namespace ombrix {

class MonitorState : public QObject {
    Q_OBJECT
public:
    static constexpr int historyLimit = 60; // pressure readings kept

    using QObject::QObject;

    const QList<DartProcess>& processes() const { return m_processes; }
    const SystemMemory& memory() const { return m_memory; }
    // Oldest first, fractions of physical memory (0…1), at most historyLimit.
    const QList<double>& pressureHistory() const { return m_pressureHistory; }
    quint64 totalMemoryBytes() const; // sum over processes()
    quint64 peakMemoryBytes() const;  // largest of processes()
    qsizetype leftoverCount() const;  // rows marked leftover
    quint64 leftoverBytes() const;    // their memory
    // Each listed process's memory and CPU over the last hour, as of the last publish().
    const UsageHistory& history() const { return m_history; }

    // SIGTERM to `process` while a listed row is that very process (pid and
    // start time); nothing otherwise, so a pid reused meanwhile is left alone.
    virtual void terminate(const ProcessRef& process) = 0;
    // SIGTERM to each process that is still the one named, then, a grace period
    // later, SIGKILL to each that still runs and still is. For lists the user
    // confirmed (or chose in a notification).
    virtual void endProcesses(const QList<ProcessRef>& processes) = 0;
    // SIGKILL to `process` once its listed row shows ignoredTerminate; nothing otherwise.
    virtual void forceQuit(const ProcessRef& process) = 0;

signals:
    void processesChanged();
    void memoryChanged();
    void pressureHistoryChanged();
    // After every publish(), also when no row changed.
    void historyChanged();

protected:
    void setProcesses(QList<DartProcess> processes);
    void setMemory(const SystemMemory& memory);
    void appendPressure(double fraction);
    // One sample's rows at monotonic `atMs`: kept in the history, each marked
    // growing or not by `rule`, then published (processesChanged, then historyChanged).
    void publish(QList<DartProcess> rows, qint64 atMs, const GrowthRule::Params& rule = {});

private:
    QList<DartProcess> m_processes;
    SystemMemory m_memory;
    QList<double> m_pressureHistory;
    UsageHistory m_history;
};

} // namespace ombrix
