#include "ProcessList.h"

#include "ProcessRow.h"
#include "RowColumns.h"
#include "SystemColors.h"
#include "TextLine.h"
#include "Typography.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <cmath>

namespace ombrix {

ProcessList::ProcessList(bool compact, QWidget* parent)
    : ProcessRequests(parent)
    , m_compact(compact)
    , m_header(new QWidget(this))
    , m_rowHeight(ProcessRow::rowHeight(compact)) {
    m_header->setObjectName(QStringLiteral("columnHeader"));
    const QFont captionFont = Typography::font(TextStyle::Caption2, QFont::DemiBold);
    for (const char* caption : {"PID", "Process", "CPU", "Memory"}) {
        auto* line = new TextLine(tr(caption).toUpper(), ColorRole::Secondary, m_header);
        line->setFont(captionFont);
        m_captions.append(line);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    // The neutral place the focus goes when its row leaves.
    setFocusPolicy(Qt::TabFocus);
}

QWidget* ProcessList::rowOf(Pid pid) const {
    return m_rows.value(pid);
}

int ProcessList::headerHeight() const {
    return int(std::ceil(QFontMetricsF(m_captions.first()->font()).height())) + 8;
}

QSize ProcessList::sizeHint() const {
    const int w = int(std::ceil(RowColumns::minimumWidth(m_compact))) +
                  2 * (inset + ProcessRow::horizontalPadding);
    return {w, 2 * inset + headerHeight() + int(m_order.size()) * m_rowHeight};
}

QSize ProcessList::minimumSizeHint() const {
    return sizeHint();
}

void ProcessList::setProcesses(const QList<DartProcess>& processes, quint64 peakMemoryBytes,
                               bool masked) {
    QHash<Pid, ProcessRow*> kept;
    QList<ProcessRow*> order;
    order.reserve(processes.size());
    kept.reserve(processes.size());
    for (const DartProcess& p : processes) {
        if (kept.contains(p.id)) {
            continue; // one row per pid, even if a sample lists one twice
        }
        ProcessRow* row = m_rows.take(p.id);
        if (!row) {
            row = new ProcessRow(m_compact, this);
            connect(row, &ProcessRow::terminateRequested, this, &ProcessList::terminateRequested);
            connect(row, &ProcessRow::forceQuitRequested, this, &ProcessList::forceQuitRequested);
            connect(row, &ProcessRow::revealRequested, this, &ProcessList::revealRequested);
            connect(row, &ProcessRow::detailsRequested, this, &ProcessList::detailsRequested);
        }
        row->setProcess(p, peakMemoryBytes, masked);
        kept.insert(p.id, row);
        order.append(row);
    }
    // Whatever is left belongs to pids that are gone. Later, not now: the
    // sample may have been triggered from one of these rows' own buttons.
    for (ProcessRow* gone : std::as_const(m_rows)) {
        // Hiding a focused row would pass the focus down the chain to another
        // process's terminate button, where the next Space would kill it.
        if (gone->isAncestorOf(QApplication::focusWidget())) {
            setFocus(Qt::OtherFocusReason);
        }
        gone->hide();
        gone->deleteLater();
    }
    m_rows = std::move(kept);
    const bool countChanged = order.size() != m_order.size();
    const bool orderChanged = order != m_order;
    m_order = std::move(order);
    if (countChanged) {
        updateGeometry();
    }
    if (orderChanged) {
        placeRows();
        chainTabOrder();
        update();
    }
}

void ProcessList::chainTabOrder() {
    // Tab walks the rows as they are shown, not as they were created.
    QWidget* previous = this;
    for (ProcessRow* row : std::as_const(m_order)) {
        for (QWidget* stop : row->focusStops()) {
            QWidget::setTabOrder(previous, stop);
            previous = stop;
        }
    }
}

void ProcessList::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (m_order.isEmpty() || event->modifiers() != Qt::NoModifier ||
        (key != Qt::Key_Up && key != Qt::Key_Down && key != Qt::Key_Home && key != Qt::Key_End)) {
        ProcessRequests::keyPressEvent(event);
        return;
    }
    const qsizetype last = m_order.size() - 1;
    qsizetype at = -1;
    for (qsizetype i = 0; i <= last && at < 0; ++i) {
        at = m_order[i]->isAncestorOf(QApplication::focusWidget()) ||
                     m_order[i] == QApplication::focusWidget()
                 ? i
                 : -1;
    }
    qsizetype to = 0;
    if (key == Qt::Key_End || (key == Qt::Key_Up && at < 0)) {
        to = last;
    } else if (key == Qt::Key_Up) {
        to = qMax<qsizetype>(0, at - 1);
    } else if (key == Qt::Key_Down && at >= 0) {
        to = qMin(last, at + 1);
    }
    ProcessRow* row = m_order[to];
    auto* area =
        parentWidget() ? qobject_cast<QScrollArea*>(parentWidget()->parentWidget()) : nullptr;
    if (area) {
        area->ensureWidgetVisible(row, 0, 0);
    }
    row->setFocus(Qt::OtherFocusReason);
}

void ProcessList::setMasked(bool masked) {
    for (ProcessRow* row : std::as_const(m_order)) {
        row->setMasked(masked);
    }
}

void ProcessList::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeHeader();
    placeRows();
}

void ProcessList::placeHeader() {
    const int h = headerHeight();
    m_header->setGeometry(inset, inset, width() - 2 * inset, h);
    const double innerW = m_header->width() - 2.0 * ProcessRow::horizontalPadding;
    const RowColumns c = RowColumns::layout(innerW, m_compact);
    const double x0 = ProcessRow::horizontalPadding;
    m_captions[0]->setGeometry(
        RowColumns::span(x0 + c.pidX, RowColumns::pidWidth(m_compact), 0, h));
    m_captions[1]->setGeometry(RowColumns::span(x0 + c.processX, c.processWidth, 0, h));
    m_captions[2]->setGeometry(
        RowColumns::span(x0 + c.cpuX, RowColumns::cpuWidth(m_compact), 0, h));
    m_captions[3]->setGeometry(
        RowColumns::span(x0 + c.memoryX, RowColumns::memoryWidth(m_compact), 0, h));
}

void ProcessList::placeRows() {
    int y = inset + headerHeight();
    const int w = width() - 2 * inset;
    for (ProcessRow* row : std::as_const(m_order)) {
        row->setGeometry(inset, y, w, m_rowHeight);
        if (row->isHidden()) {
            row->show();
        }
        y += m_rowHeight;
    }
}

void ProcessList::paintEvent(QPaintEvent*) {
    if (m_order.isEmpty()) {
        return;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int top = inset + headerHeight();
    const QRectF area(inset, top, width() - 2 * inset, double(m_order.size()) * m_rowHeight);
    QPainterPath clip;
    clip.addRoundedRect(area, 6, 6);
    p.setClipPath(clip);
    p.fillRect(area, palette().color(QPalette::Base));
    const QColor stripe = SystemColors::color(ColorRole::Quaternary, palette(), 0.5);
    for (qsizetype i = 1; i < m_order.size(); i += 2) {
        p.fillRect(QRectF(area.left(), top + double(i) * m_rowHeight, area.width(), m_rowHeight),
                   stripe);
    }
}

} // namespace ombrix
