#pragma once

// The open details windows of one monitor, one per process (pid and start
// time), shared by every view of it and the shell: found on the monitor
// itself, so nothing has to pass it around. Their facts come from one
// FactsReader. Windows close when it is destroyed, with the monitor.

#include "DartProcess.h"
#include "FactsReader.h"
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
    // Replaces the machine's readers (tests).
    void setReaders(FactsReader::Readers readers) { m_reader->setReaders(std::move(readers)); }

private:
    explicit DetailsWindows(MonitorState& monitor);

    MonitorState& m_monitor;
    FactsReader* m_reader;
    QList<QPointer<ProcessDetailsWindow>> m_windows;
};

} // namespace ombrix
