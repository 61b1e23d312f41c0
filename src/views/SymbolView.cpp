#include "SymbolView.h"

#include "Symbols.h"

#include <QPainter>
#include <cmath>

namespace ombrix {

SymbolView::SymbolView(const QString& name, ColorRole role, double side, QWidget* parent)
    : QWidget(parent)
    , m_name(name)
    , m_role(role)
    , m_side(side) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolView::setName(const QString& name) {
    if (name != m_name) {
        m_name = name;
        update();
    }
}

QSize SymbolView::sizeHint() const {
    const int s = int(std::ceil(m_side));
    return {s, s};
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRectF box(QPointF((width() - m_side) / 2, (height() - m_side) / 2),
                     QSizeF(m_side, m_side));
    Symbols::paint(p, box, m_name, SystemColors::color(m_role, palette()));
}

} // namespace ombrix
