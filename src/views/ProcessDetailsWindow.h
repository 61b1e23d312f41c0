#pragma once

// The details of one process (pid and start time) in a window of its own,
// titled "<name> (<pid>)": its facts (DetailsText), a graph of its memory and
// CPU over the kept history, "Copy Details", and the row's End Process or
// Force Quit under the row's rules. It follows each sample while the process
// is listed; once it is not, it reads "Ended", keeps what it had and ends
// nothing. Its facts are given to it (FactsReader reads them), so a hung mount
// leaves only "…" where the SDK's version would be.

#include "DartProcess.h"
#include "DetailsText.h"
#include "FactsReader.h"

#include <QHash>
#include <QPointer>
#include <QWidget>
#include <functional>

class QFormLayout;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ombrix {

class MonitorState;
class PathMaskSetting;
class UsageGraph;

class ProcessDetailsWindow : public QWidget {
    Q_OBJECT
public:
    using Readers = FactsReader::Readers;

    // `process` must be listed by `monitor`; both `monitor` and `hidePaths` outlive the window.
    ProcessDetailsWindow(MonitorState& monitor, PathMaskSetting& hidePaths,
                         const DartProcess& process, QWidget* parent = nullptr);

    ProcessRef process() const { return {m_input.process.id, m_input.process.startTime}; }
    bool ended() const { return m_input.ended; }
    // What "Copy Details" copies.
    QString report() const;
    // What was read of the process; until then its facts read "…".
    void takeFacts(const ProcessFacts& facts, bool versionRead);
    // The window to return to when this one closes (its opener), if still shown.
    void setReturnTo(QWidget* window);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void follow();
    void refresh();
    void endIt();

    MonitorState& m_monitor;
    PathMaskSetting& m_hidePaths;
    DetailsText::Input m_input;

    QFormLayout* m_form;
    QHash<QString, QWidget*> m_values; // by label; the command line's is m_command
    QPlainTextEdit* m_command;
    UsageGraph* m_graph;
    QPushButton* m_end;
    QPointer<QWidget> m_returnTo;
};

} // namespace ombrix
