#include "Divider.h"

#include "SystemColors.h"

#include <QPainter>

namespace ombrix {

Divider::Divider(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent)
    , m_orientation(orientation) {
    if (orientation == Qt::Horizontal) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setFixedHeight(1);
    } else {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        setFixedWidth(1);
    }
}

QSize Divider::sizeHint() const {
    return {1, 1};
}

void Divider::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), SystemColors::color(ColorRole::Separator, palette()));
}

} // namespace ombrix
