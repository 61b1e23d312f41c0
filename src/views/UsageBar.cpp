#include "UsageBar.h"

#include "SystemColors.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <limits>

namespace ombrix {

int UsageBar::filledSegments(double fraction, int count) {
    if (!(std::isfinite(fraction) && fraction > 0) || count <= 0) {
        return 0;
    }
    // Compared in floating point: a huge fraction times the count must not
    // reach an integer conversion.
    const double lit = std::round(fraction * count);
    if (lit >= count) {
        return count;
    }
    return qMax(1, int(lit));
}

QColor UsageBar::levelColor(double position, const QPalette& palette) {
    if (position < 0.4) {
        return SystemColors::color(ColorRole::Green, palette);
    }
    if (position < 0.7) {
        return SystemColors::color(ColorRole::Yellow, palette);
    }
    if (position < 0.9) {
        return SystemColors::color(ColorRole::Orange, palette);
    }
    return SystemColors::color(ColorRole::Red, palette);
}

QColor UsageBar::unlitColor(const QPalette& palette) {
    return SystemColors::color(ColorRole::Secondary, palette, 0.2);
}

long long UsageBar::percent(double fraction) {
    const double value = std::trunc(fraction * 100.0);
    if (std::isnan(value)) {
        return 0;
    }
    // Converting an out-of-range double is undefined; saturate instead.
    constexpr double limit = 9.2e18;
    if (value >= limit) {
        return std::numeric_limits<long long>::max();
    }
    if (value <= -limit) {
        return std::numeric_limits<long long>::min();
    }
    return static_cast<long long>(value);
}

QSizeF UsageBar::barSize(bool compact) {
    const double w = squareSide(compact);
    return {columns * w + (columns - 1) * gap, 2 * w + gap};
}

UsageBar::UsageBar(bool compact, QWidget* parent)
    : QWidget(parent)
    , m_compact(compact) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(QString::asprintf("%lld percent", 0LL));
}

void UsageBar::setFraction(double fraction) {
    // NaN != NaN, so a NaN sample always repaints; harmless.
    if (fraction == m_fraction) {
        return;
    }
    m_fraction = fraction;
    setAccessibleName(QString::asprintf("%lld percent", percent(fraction)));
    update();
}

QColor UsageBar::columnColor(int index) const {
    if (index < litColumns()) {
        return levelColor(double(index) / columns, palette());
    }
    return unlitColor(palette());
}

QSize UsageBar::sizeHint() const {
    const QSizeF s = barSize(m_compact);
    return {int(std::ceil(s.width())), int(std::ceil(s.height()))};
}

void UsageBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const double w = squareSide(m_compact);
    const QSizeF size = barSize(m_compact);
    // Leading-aligned, vertically centred in whatever height the widget got.
    const double top = (height() - size.height()) / 2;
    for (int c = 0; c < columns; ++c) {
        p.setBrush(columnColor(c));
        const double x = c * (w + gap);
        for (int r = 0; r < 2; ++r) {
            p.drawRoundedRect(QRectF(x, top + r * (w + gap), w, w), cornerRadius, cornerRadius);
        }
    }
}

} // namespace ombrix
