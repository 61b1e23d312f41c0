#pragma once

// The machine's memory in the window header: a pressure graph under its
// caption, then two columns of figures from one snapshot (Physical Memory,
// Memory Used = app + wired + compressed, Cached Files, Swap Used | App Memory,
// Wired Memory, Compressed). Fixed size, rounded tinted background with a
// 1-point border. Shows what it is given; keeps nothing else.

#include "SystemMemory.h"

#include <QList>
#include <QWidget>

namespace ombrix {

class MemoryColumn;
class MemoryRow;
class PressureGraph;

class MemoryPanel : public QWidget {
    Q_OBJECT
public:
    explicit MemoryPanel(QWidget* parent = nullptr);

    void setMemory(const SystemMemory& memory);
    void setHistory(const QList<double>& history);

    // "Memory pressure: warning" (2), "...: critical" (4), "...: normal" otherwise.
    static QString pressureToolTip(qint32 level);

    PressureGraph* graph() const { return m_graph; }
    // The row with that label, or null.
    MemoryRow* row(const QString& label) const;
    QList<MemoryRow*> rows() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PressureGraph* m_graph;
    MemoryColumn* m_left;
    MemoryColumn* m_right;
};

} // namespace ombrix
