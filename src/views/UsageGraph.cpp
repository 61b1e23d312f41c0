#include "UsageGraph.h"

#include "DetailsText.h"
#include "SystemColors.h"
#include "Typography.h"
#include "ValueText.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace ombrix {

UsageGraph::UsageGraph(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("usageGraph"));
    setAccessibleName(accessibleText(m_points));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void UsageGraph::setPoints(std::vector<UsagePoint> points) {
    m_points = std::move(points);
    setAccessibleName(accessibleText(m_points));
    update();
}

QString UsageGraph::accessibleText(const std::vector<UsagePoint>& points) {
    if (points.empty()) {
        return tr("No samples yet");
    }
    const auto [low, high] = std::minmax_element(
        points.begin(), points.end(),
        [](const UsagePoint& a, const UsagePoint& b) { return a.memoryBytes < b.memoryBytes; });
    return tr("Memory from %1 to %2 over the last %3")
        .arg(ValueText::bytes(low->memoryBytes), ValueText::bytes(high->memoryBytes),
             DetailsText::duration(points.back().atMs - points.front().atMs));
}

void UsageGraph::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFont font = Typography::font(TextStyle::Caption2);
    p.setFont(font);
    const QFontMetricsF metrics(font);
    const double textH = metrics.height();
    const QRectF plot(1, textH + 2, width() - 2, height() - 2 * textH - 6);
    p.setPen(SystemColors::color(ColorRole::Quaternary, palette()));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);
    if (m_points.empty() || plot.width() <= 0 || plot.height() <= 0) {
        return;
    }
    const qint64 t0 = m_points.front().atMs;
    const qint64 span = std::max<qint64>(1, m_points.back().atMs - t0);
    quint64 peak = 1;
    double cpuPeak = 100;
    for (const UsagePoint& u : m_points) {
        peak = std::max(peak, u.memoryBytes);
        cpuPeak = std::max(cpuPeak, u.cpuPercent);
    }
    const auto x = [&](qint64 at) { return plot.left() + plot.width() * double(at - t0) / span; };
    QPainterPath memory;
    QPainterPath cpu;
    memory.moveTo(x(t0), plot.bottom());
    for (size_t i = 0; i < m_points.size(); ++i) {
        const UsagePoint& u = m_points[i];
        const double mx = m_points.size() == 1 ? plot.right() : x(u.atMs);
        memory.lineTo(mx, plot.bottom() - plot.height() * double(u.memoryBytes) / double(peak));
        const QPointF c(mx, plot.bottom() - plot.height() * u.cpuPercent / cpuPeak);
        i == 0 ? cpu.moveTo(c) : cpu.lineTo(c);
    }
    memory.lineTo(m_points.size() == 1 ? plot.right() : x(m_points.back().atMs), plot.bottom());
    memory.closeSubpath();
    const QColor teal = SystemColors::color(ColorRole::Teal, palette());
    QColor fill = teal;
    fill.setAlphaF(0.35);
    p.setPen(QPen(teal, 1.5));
    p.setBrush(fill);
    p.drawPath(memory);
    p.setPen(QPen(SystemColors::color(ColorRole::Orange, palette()), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(cpu);

    p.setPen(SystemColors::color(ColorRole::Secondary, palette()));
    p.drawText(QRectF(0, 0, width(), textH), Qt::AlignLeft | Qt::AlignVCenter,
               tr("Memory (up to %1)").arg(ValueText::bytes(peak)));
    p.drawText(QRectF(0, 0, width(), textH), Qt::AlignRight | Qt::AlignVCenter,
               tr("CPU (up to %1)").arg(ValueText::cpu(cpuPeak)));
    const QRectF axis(0, plot.bottom() + 4, width(), textH);
    p.drawText(axis, Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("-") + DetailsText::duration(span));
    p.drawText(axis, Qt::AlignRight | Qt::AlignVCenter, tr("now"));
    if (span >= 2 * 60'000) {
        p.drawText(axis, Qt::AlignHCenter | Qt::AlignVCenter,
                   QStringLiteral("-") + DetailsText::duration(span / 2));
    }
}

} // namespace ombrix
