#pragma once

// A ten-column level meter of two tiny squares per column, lit from the left.
// Lit columns are coloured by position (green, yellow, orange, red), never by
// value; unlit ones are a faint secondary tint. Painted in floating point so
// the fractional sizes hold: 43.5 x 7.5 compact, 53.5 x 9.5 full.

#include <QColor>
#include <QSizeF>
#include <QWidget>

namespace ombrix {

class UsageBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int columns = 10;
    static constexpr double gap = 1.5;
    static constexpr double cornerRadius = 1.0;

    // Lit cells of a `count`-cell meter: 0 unless the fraction is finite and
    // positive; otherwise fraction x count rounded half away from zero, at most
    // `count` and at least 1. Shared with the pressure graph.
    static int filledSegments(double fraction, int count);
    // Colour of a lit cell at relative position p in [0, 1).
    static QColor levelColor(double position, const QPalette& palette);
    static QColor unlitColor(const QPalette& palette);
    // fraction x 100 truncated toward zero (saturating; NaN reads 0).
    static long long percent(double fraction);

    static double squareSide(bool compact) { return compact ? 3.0 : 4.0; }
    static QSizeF barSize(bool compact);

    explicit UsageBar(bool compact, QWidget* parent = nullptr);

    void setFraction(double fraction);
    double fraction() const { return m_fraction; }
    int litColumns() const { return filledSegments(m_fraction, columns); }
    // The fill of column `index` as painted now.
    QColor columnColor(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_compact;
    double m_fraction = 0;
};

} // namespace ombrix
