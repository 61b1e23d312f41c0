#pragma once

#include "DartProcess.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class QAbstractButton;
class QStackedWidget;
class QScrollArea;

namespace ombrix {

class EmptyState;
class EndLeftoversDialog;
class FolderRevealer;
class MemoryPanel;
class PathMaskSetting;
class ProcessList;
class MonitorState;
class TextLine;

// The process table in full (main window) or compact (tray panel) form:
// header (title, memory panel in full form, path-mask toggle), statistics,
// a line of leftovers with "End Leftovers…" while there are any, then the list
// or, with no processes, the empty state; the compact form ends with a footer
// of three links. Reads the monitor and redraws on its change signals; writes
// to it only through its commands (a row's buttons, the confirmed End
// Leftovers list). Rows are kept per pid across samples.
class ProcessListView : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> openWindow;      // panel footer "Open Window"
        std::function<void()> checkForUpdates; // panel footer "Check for Updates"
        std::function<void()> quit;            // panel footer "Quit"
    };

    ProcessListView(MonitorState& monitor, PathMaskSetting& hidePaths, bool compact,
                    Actions actions = {}, QWidget* parent = nullptr);
    ~ProcessListView() override;

    // Who shows a project folder when its link is clicked; by default a
    // FolderRevealer on the session bus, created on first use.
    void setRevealHandler(std::function<void(const QString& path)> handler);

    // Scrolls the row of `process` into view and gives it the focus; false
    // when that process is no longer listed.
    bool showProcess(const ProcessRef& process);
    // The confirmation of "End Leftovers…", raised if it is open already.
    void confirmEndLeftovers();

private:
    QWidget* buildHeader();
    QWidget* buildStatistics();
    QWidget* buildFooter();
    QWidget* buildLeftovers();
    QWidget* buildDuplicates();
    void refreshDuplicates();
    void refreshProcesses();
    static void setFigure(TextLine* value, const QString& text);
    void refreshMemory();
    void refreshMask();
    void reveal(const QString& path);

    MonitorState& m_monitor;
    PathMaskSetting& m_hidePaths;
    const bool m_compact;
    Actions m_actions;
    std::function<void(const QString&)> m_revealHandler;
    FolderRevealer* m_revealer = nullptr;

    QAbstractButton* m_toggle = nullptr;
    MemoryPanel* m_memoryPanel = nullptr;
    TextLine* m_processCount = nullptr;
    TextLine* m_totalCpu = nullptr;
    TextLine* m_totalMemory = nullptr;
    QWidget* m_leftovers = nullptr;
    TextLine* m_leftoverSummary = nullptr;
    QWidget* m_duplicates = nullptr; // one line per group of analyzers on one folder
    QList<TextLine*> m_duplicateLines;
    QPointer<EndLeftoversDialog> m_confirm;
    QStackedWidget* m_body = nullptr;
    QScrollArea* m_scroll = nullptr;
    ProcessList* m_list = nullptr;
    EmptyState* m_empty = nullptr;
};

} // namespace ombrix
