#include "SymbolButton.h"

#include "Symbols.h"

#include <QFocusEvent>
#include <QPainter>
#include <cmath>

namespace ombrix {

SymbolButton::SymbolButton(const QString& symbol, ColorRole role, double side, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
    , m_role(role)
    , m_side(side) {
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolButton::setSymbol(const QString& symbol) {
    if (symbol != m_symbol) {
        m_symbol = symbol;
        update();
    }
}

QSize SymbolButton::sizeHint() const {
    const int s = int(std::ceil(m_side)) + 2;
    return {s, s};
}

void SymbolButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QColor c = SystemColors::color(m_role, palette());
    if (isDown()) {
        c = SystemColors::color(ColorRole::Primary, palette());
    } else if (m_hovered) {
        c.setAlphaF(qMin(1.0f, c.alphaF() * 1.5f));
    }
    const QRectF box(QPointF((width() - m_side) / 2, (height() - m_side) / 2),
                     QSizeF(m_side, m_side));
    Symbols::paint(p, box, m_symbol, c);
    if (hasFocus() && m_keyboardFocus) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 3, 3);
    }
}

void SymbolButton::enterEvent(QEnterEvent* event) {
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SymbolButton::leaveEvent(QEvent* event) {
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

} // namespace ombrix

namespace ombrix {

void SymbolButton::focusInEvent(QFocusEvent* event) {
    m_keyboardFocus =
        event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

void SymbolButton::focusOutEvent(QFocusEvent* event) {
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

} // namespace ombrix
