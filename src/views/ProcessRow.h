#pragma once

// One process of the table: icon, pid, the name (command as tooltip) over a
// detail line (executable name, then the project link, or else the IDE
// workspace label, or nothing), CPU and memory each as a bar and a figure, and
// a button that asks for SIGTERM, or, once the process has outlived its
// SIGTERM, one that asks for SIGKILL in its place. A leftover and a growing
// process carry markers on the detail line, after the executable name. Lives as long as its pid
// stays listed and is updated in place from each sample, so hover, tooltips and scrolling survive a
// refresh. Children are placed by hand on the shared column grid. The row
// takes the keyboard focus as a list item does; Up, Down, Home and End are
// left to the list.

#include "DartProcess.h"
#include "ProcessRequests.h"

#include <QWidget>

class QAbstractButton;

namespace ombrix {

class PathLabel;
class SymbolView;
class TextLine;
class UsageBar;

class ProcessRow : public ProcessRequests {
    Q_OBJECT
public:
    // Inset of the cells from the row's edges; the column header uses it too.
    static constexpr int horizontalPadding = 8;
    static constexpr int verticalPadding = 5;

    explicit ProcessRow(bool compact, QWidget* parent = nullptr);

    // `peakMemoryBytes` scales the memory bar (0: an empty bar); `masked`
    // hides project and workspace paths and their tooltips.
    void setProcess(const DartProcess& process, quint64 peakMemoryBytes, bool masked);
    void setMasked(bool masked);

    Pid pid() const { return m_process.id; }
    ProcessRef ref() const { return {m_process.id, m_process.startTime}; }

    // Height of every row of this form, from the current fonts.
    static int rowHeight(bool compact);

    // What Tab stops at in this row, in order: the row itself first.
    QList<QWidget*> focusStops() const;
    // The context menu, at `at` in row coordinates; it dies with the row.
    void showMenu(const QPoint& at);

    // Orange from 50 % up (the unrounded figure decides), else primary.
    static bool isHighCpu(double cpuPercent) { return cpuPercent >= 50.0; }
    static constexpr const char* workspacePrefix = "IDE workspace that owns this process: ";
    static constexpr const char* leftoverText = "Leftover";
    static constexpr const char* leftoverTip = "Its parent has ended; nothing will stop it.";
    static constexpr const char* familyTip = "Its parent is a leftover; nothing will stop it.";
    static constexpr const char* growingText = "Growing";
    static constexpr const char* duplicateText = "Duplicate";
    static constexpr const char* homeFolderText = "Home Folder";
    // "Grew by 600 MB in 10 minutes"
    static QString growingTip(const Growth& growth);
    static constexpr const char* terminateName = "Quit process (SIGTERM)";
    static constexpr const char* forceQuitName = "Force quit process (SIGKILL)";
    static constexpr const char* forceQuitTip = "It did not stop after SIGTERM";

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void placeChildren();
    void applyMask();
    void offerForceQuit(bool offer);

    bool m_compact;
    bool m_masked = false;
    QString m_home;
    DartProcess m_process;

    SymbolView* m_icon;
    TextLine* m_pid;
    TextLine* m_name;
    TextLine* m_executable;
    TextLine* m_leftover;
    TextLine* m_growing;
    TextLine* m_duplicate;
    TextLine* m_homeFolder;
    PathLabel* m_path;
    UsageBar* m_cpuBar;
    TextLine* m_cpuText;
    UsageBar* m_memoryBar;
    TextLine* m_memoryText;
    QAbstractButton* m_terminate;
    QAbstractButton* m_forceQuit;
};

} // namespace ombrix
