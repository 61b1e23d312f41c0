#include "PressureGraph.h"

#include "UsageBar.h"

#include <QPainter>
#include <cmath>

namespace ombrix {

namespace {
PressureGraph::Grid sane(PressureGraph::Grid g) {
    g.columns = qMax(0, g.columns);
    g.rows = qMax(0, g.rows);
    return g;
}
} // namespace

QList<std::optional<double>> PressureGraph::columnValues(const QList<double>& samples,
                                                         int columns) {
    columns = qMax(0, columns);
    const qsizetype k = qMin<qsizetype>(columns, samples.size());
    QList<std::optional<double>> values(columns - k);
    values.reserve(columns);
    for (qsizetype i = samples.size() - k; i < samples.size(); ++i) {
        values.append(samples.at(i));
    }
    return values;
}

QString PressureGraph::accessibleText(const QList<double>& samples) {
    const long long n = samples.isEmpty() ? 0 : UsageBar::percent(samples.last());
    return QString::asprintf("Memory pressure %lld percent", n);
}

QSizeF PressureGraph::gridSize(const Grid& grid) {
    const Grid g = sane(grid);
    return {g.columns * g.side + qMax(0, g.columns - 1) * g.gap,
            g.rows * g.side + qMax(0, g.rows - 1) * g.gap};
}

PressureGraph::PressureGraph(QWidget* parent)
    : PressureGraph(Grid{}, parent) {}

PressureGraph::PressureGraph(Grid grid, QWidget* parent)
    : QWidget(parent)
    , m_grid(sane(grid)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(accessibleText(m_samples));
}

void PressureGraph::setSamples(const QList<double>& samples) {
    m_samples = samples;
    setAccessibleName(accessibleText(m_samples));
    update();
}

int PressureGraph::litCells(int column) const {
    const auto values = columnValues(m_samples, m_grid.columns);
    if (column < 0 || column >= values.size()) {
        return 0;
    }
    return UsageBar::filledSegments(values.at(column).value_or(0.0), m_grid.rows);
}

QColor PressureGraph::cellColor(int column, int row) const {
    const int height = m_grid.rows - 1 - row;
    if (height < litCells(column)) {
        return UsageBar::levelColor(double(height) / m_grid.rows, palette());
    }
    return UsageBar::unlitColor(palette());
}

QSize PressureGraph::sizeHint() const {
    const QSizeF s = gridSize(m_grid);
    return {int(std::ceil(s.width())), int(std::ceil(s.height()))};
}

void PressureGraph::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const auto values = columnValues(m_samples, m_grid.columns);
    const double step = m_grid.side + m_grid.gap;
    const QColor unlit = UsageBar::unlitColor(palette());
    const double top = (height() - gridSize(m_grid).height()) / 2;
    for (int c = 0; c < m_grid.columns; ++c) {
        const int lit = UsageBar::filledSegments(values.at(c).value_or(0.0), m_grid.rows);
        for (int r = 0; r < m_grid.rows; ++r) {
            const int h = m_grid.rows - 1 - r;
            p.setBrush(h < lit ? UsageBar::levelColor(double(h) / m_grid.rows, palette()) : unlit);
            p.drawRoundedRect(QRectF(c * step, top + r * step, m_grid.side, m_grid.side),
                              UsageBar::cornerRadius, UsageBar::cornerRadius);
        }
    }
}

} // namespace ombrix
