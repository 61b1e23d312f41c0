#pragma once

// The scrolling body of the process table: the column header (PID, PROCESS,
// CPU, MEMORY) over one row per process, with alternating backgrounds in an
// inset rounded area. Rows are keyed by pid and kept from sample to sample;
// only rows of pids that left the list are removed, and their order follows
// the sample, for Tab too. When a focused row leaves, the list takes the focus.
// Up, Down, Home and End move the focus from row to row, from wherever in a
// row it is.

#include "DartProcess.h"
#include "ProcessRequests.h"

#include <QHash>
#include <QList>
#include <QWidget>

namespace ombrix {

class ProcessRow;
class TextLine;

class ProcessList : public ProcessRequests {
    Q_OBJECT
public:
    static constexpr int inset = 8; // between the widget edge and the rounded area

    explicit ProcessList(bool compact, QWidget* parent = nullptr);

    void setProcesses(const QList<DartProcess>& processes, quint64 peakMemoryBytes, bool masked);
    void setMasked(bool masked);
    // The row showing `pid`, or null.
    QWidget* rowOf(Pid pid) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void placeRows();
    void placeHeader();
    void chainTabOrder();
    int headerHeight() const;

    bool m_compact;
    QWidget* m_header;
    QList<TextLine*> m_captions; // pid, process, cpu, memory
    QHash<Pid, ProcessRow*> m_rows;
    QList<ProcessRow*> m_order;
    int m_rowHeight;
};

} // namespace ombrix
