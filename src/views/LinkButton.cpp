#include "LinkButton.h"

#include "SystemColors.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace ombrix {

LinkButton::LinkButton(const QString& text, QWidget* parent)
    : QAbstractButton(parent) {
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize LinkButton::sizeHint() const {
    const QFontMetricsF m(font());
    return {int(std::ceil(m.horizontalAdvance(text()))) + 2, int(std::ceil(m.height())) + 2};
}

void LinkButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QFont f = font();
    f.setUnderline(m_hovered || hasFocus());
    p.setFont(f);
    QColor c = SystemColors::color(ColorRole::Link, palette());
    if (isDown()) {
        c = c.darker(130);
    }
    p.setPen(c);
    p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

void LinkButton::enterEvent(QEnterEvent* event) {
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void LinkButton::leaveEvent(QEvent* event) {
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

} // namespace ombrix
