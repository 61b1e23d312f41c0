#pragma once

// The open details windows of one monitor, one per process (pid and start
// time), shared by every view of it and the shell: found on the monitor
// itself, so nothing has to pass it around. Windows close when it is
// destroyed, with the monitor.

#include "DartProcess.h"
#include "ProcessDetailsWindow.h"

#include <QList>
#include <QObject>
#include <QPointer>

namespace ombrix {

class MonitorState;
class PathMaskSetting;

class DetailsWindows : public QObject {
    Q_OBJECT
public:
    static DetailsWindows& of(MonitorState& monitor);
    ~DetailsWindows() override;

    // Brings up the window of the listed process `process`, opening it if
    // needed; nothing when no listed row is that process. `hidePaths` must
    // outlive the monitor.
    ProcessDetailsWindow* open(const ProcessRef& process, PathMaskSetting& hidePaths);
    // The listed row of `pid`, whatever its start time.
    ProcessDetailsWindow* open(Pid pid, PathMaskSetting& hidePaths);
    // Replaces the machine's readers (tests).
    void setReaders(ProcessDetailsWindow::Readers readers) { m_readers = std::move(readers); }

private:
    explicit DetailsWindows(MonitorState& monitor);

    MonitorState& m_monitor;
    ProcessDetailsWindow::Readers m_readers;
    QList<QPointer<ProcessDetailsWindow>> m_windows;
};

} // namespace ombrix
