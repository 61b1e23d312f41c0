#pragma once

// A stack of memory rows that share one label width (Qt has no view
// environment, so the column hands its width to each row it makes). Rows are
// 1 apart, in caption 2, with 10 of padding left and right.

#include <QList>
#include <QWidget>

namespace ombrix {

class MemoryRow;

class MemoryColumn : public QWidget {
    Q_OBJECT
public:
    explicit MemoryColumn(int labelWidth, QWidget* parent = nullptr);

    MemoryRow* addRow(const QString& label);
    int labelWidth() const { return m_labelWidth; }
    const QList<MemoryRow*>& rows() const { return m_rows; }

private:
    int m_labelWidth;
    QList<MemoryRow*> m_rows;
};

} // namespace ombrix
