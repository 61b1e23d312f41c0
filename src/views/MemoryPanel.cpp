#include "MemoryPanel.h"

#include "Divider.h"
#include "MemoryColumn.h"
#include "MemoryRow.h"
#include "PressureGraph.h"
#include "SystemColors.h"
#include "TextLine.h"
#include "Typography.h"
#include "ValueText.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace ombrix {

MemoryPanel::MemoryPanel(QWidget* parent)
    : QWidget(parent)
    , m_graph(new PressureGraph(PressureGraph::Grid{26, 6, 3, 1.5}))
    , m_left(new MemoryColumn(92))
    , m_right(new MemoryColumn(80)) {
    auto* stack = new QHBoxLayout(this);
    stack->setContentsMargins(0, 6, 0, 6);
    stack->setSpacing(0);

    auto* pressure = new QWidget;
    auto* pressureLayout = new QVBoxLayout(pressure);
    pressureLayout->setContentsMargins(10, 0, 10, 0);
    pressureLayout->setSpacing(3);
    auto* caption = new TextLine(tr("Memory Pressure").toUpper(), ColorRole::Secondary);
    caption->setFont(Typography::font(TextStyle::Caption2, QFont::DemiBold));
    pressureLayout->addWidget(caption, 0, Qt::AlignLeft);
    pressureLayout->addWidget(m_graph, 0, Qt::AlignLeft);
    pressure->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    stack->addWidget(pressure, 0, Qt::AlignVCenter);
    stack->addWidget(new Divider(Qt::Vertical));
    stack->addWidget(m_left, 0, Qt::AlignVCenter);
    stack->addWidget(new Divider(Qt::Vertical));
    stack->addWidget(m_right, 0, Qt::AlignVCenter);

    for (const char* label : {"Physical Memory", "Memory Used", "Cached Files", "Swap Used"}) {
        m_left->addRow(tr(label));
    }
    for (const char* label : {"App Memory", "Wired Memory", "Compressed"}) {
        m_right->addRow(tr(label));
    }
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setMemory(SystemMemory{});
    setHistory({});
    // Fixed in both directions: its ideal size, never stretched or squeezed.
    stack->setSizeConstraint(QLayout::SetFixedSize);
}

QString MemoryPanel::pressureToolTip(qint32 level) {
    switch (level) {
    case 2:
        return QStringLiteral("Memory pressure: warning");
    case 4:
        return QStringLiteral("Memory pressure: critical");
    default:
        return QStringLiteral("Memory pressure: normal");
    }
}

void MemoryPanel::setMemory(const SystemMemory& m) {
    const QList<quint64> left{m.physical, m.app + m.wired + m.compressed, m.cachedFiles,
                              m.swapUsed};
    const QList<quint64> right{m.app, m.wired, m.compressed};
    for (qsizetype i = 0; i < left.size(); ++i) {
        m_left->rows().at(i)->setValue(ValueText::bytes(left.at(i)));
    }
    for (qsizetype i = 0; i < right.size(); ++i) {
        m_right->rows().at(i)->setValue(ValueText::bytes(right.at(i)));
    }
    m_graph->setToolTip(pressureToolTip(m.pressureLevel));
}

void MemoryPanel::setHistory(const QList<double>& history) {
    m_graph->setSamples(history);
}

MemoryRow* MemoryPanel::row(const QString& label) const {
    for (MemoryRow* r : rows()) {
        if (r->label() == label) {
            return r;
        }
    }
    return nullptr;
}

QList<MemoryRow*> MemoryPanel::rows() const {
    return m_left->rows() + m_right->rows();
}

void MemoryPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = rect();
    p.setPen(Qt::NoPen);
    p.setBrush(SystemColors::color(ColorRole::Quaternary, palette(), 0.4));
    p.drawRoundedRect(shape, 6, 6);
    // The border sits inside the shape: inset by half its width.
    p.setPen(QPen(SystemColors::color(ColorRole::Quaternary, palette()), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(shape.adjusted(0.5, 0.5, -0.5, -0.5), 5.5, 5.5);
}

} // namespace ombrix
