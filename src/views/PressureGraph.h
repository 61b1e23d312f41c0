#pragma once

// The recent memory-pressure history as a grid of rounded squares: one column
// per sample, newest at the right, each lit from the bottom in proportion to
// its sample, lit cells coloured by height. Columns without a sample yet are
// unlit. A pure function of its inputs.

#include <QList>
#include <QSizeF>
#include <QWidget>
#include <optional>

namespace ombrix {

class PressureGraph : public QWidget {
    Q_OBJECT
public:
    struct Grid {
        int columns = 26;
        int rows = 6;
        double side = 3;
        double gap = 1.5;
    };

    // Exactly `columns` entries: absent ones on the left, then the newest
    // min(columns, samples) samples, oldest first.
    static QList<std::optional<double>> columnValues(const QList<double>& samples, int columns);
    // "Memory pressure N percent", N the newest sample x 100 truncated (0 when empty).
    static QString accessibleText(const QList<double>& samples);
    static QSizeF gridSize(const Grid& grid);

    explicit PressureGraph(QWidget* parent = nullptr);
    explicit PressureGraph(Grid grid, QWidget* parent = nullptr);

    void setSamples(const QList<double>& samples);
    const QList<double>& samples() const { return m_samples; }
    const Grid& grid() const { return m_grid; }

    // Lit cells of column `column` (0 = leftmost).
    int litCells(int column) const;
    // Fill of the cell at `column`, `row` counted from the top, as painted now.
    QColor cellColor(int column, int row) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Grid m_grid;
    QList<double> m_samples;
};

} // namespace ombrix
