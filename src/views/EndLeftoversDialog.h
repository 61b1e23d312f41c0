#pragma once

// Confirms ending the leftovers as they were when it opened: the name, pid,
// project or workspace and memory of each. "Cancel" is the default button, so
// Enter ends nothing; "End Processes" hands exactly that list (pid and start
// time, so a reused pid gets nothing) to MonitorState::endProcesses, then
// closes. Never modal to the application: the window and Quit stay usable.

#include "DartProcess.h"

#include <QDialog>
#include <QList>

class QPushButton;

namespace ombrix {

class MonitorState;

class EndLeftoversDialog : public QDialog {
    Q_OBJECT
public:
    // `monitor` must outlive the dialog.
    EndLeftoversDialog(MonitorState& monitor, const QList<DartProcess>& leftovers,
                       const QString& home, bool masked, QWidget* parent = nullptr);

    const QList<ProcessRef>& targets() const { return m_targets; }

private:
    MonitorState& m_monitor;
    QList<ProcessRef> m_targets;
};

} // namespace ombrix
