#include "TextLine.h"

#include "OneLine.h"
#include "Typography.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace ombrix {

TextLine::TextLine(QWidget* parent)
    : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

TextLine::TextLine(const QString& text, ColorRole role, QWidget* parent)
    : TextLine(parent) {
    m_role = role;
    setText(text);
}

void TextLine::setText(const QString& text) {
    if (text == m_text) {
        return;
    }
    m_text = text;
    textChanged();
}

void TextLine::textChanged() {
    m_shown = OneLine::sanitised(m_text, m_elide);
    m_natural = -1;
    setAccessibleName(m_masked ? QString() : m_text);
    updateGeometry();
    update();
}

void TextLine::setRole(ColorRole role) {
    if (role == m_role) {
        return;
    }
    m_role = role;
    update();
}

void TextLine::setColor(const QColor& color) {
    if (color == m_color) {
        return;
    }
    m_color = color;
    update();
}

QColor TextLine::effectiveColor() const {
    return m_color.isValid() ? m_color : SystemColors::color(m_role, palette());
}

void TextLine::setAlignment(Qt::Alignment alignment) {
    m_alignment = alignment;
    update();
}

void TextLine::setElideMode(Qt::TextElideMode mode) {
    if (mode == m_elide) {
        return;
    }
    m_elide = mode;
    textChanged();
}

void TextLine::setMonospacedDigits(bool on) {
    m_monoDigits = on;
    m_natural = -1;
    updateGeometry();
    update();
}

void TextLine::setMasked(bool masked) {
    if (masked == m_masked) {
        return;
    }
    m_masked = masked;
    setAccessibleName(m_masked ? QString() : m_text);
    update();
}

QFont TextLine::effectiveFont() const {
    return m_monoDigits ? Typography::monospacedDigits(font()) : font();
}

double TextLine::naturalWidth() const {
    if (m_natural < 0) {
        m_natural = QFontMetricsF(effectiveFont()).horizontalAdvance(m_shown);
    }
    return m_natural;
}

QString TextLine::displayedText(int width) const {
    if (m_masked) {
        return {};
    }
    if (naturalWidth() <= width) {
        return m_shown;
    }
    return QFontMetricsF(effectiveFont()).elidedText(m_shown, m_elide, width);
}

QSize TextLine::sizeHint() const {
    const QFontMetricsF metrics(effectiveFont());
    const int w = qMin(maxHintWidth, int(std::ceil(naturalWidth())));
    return {w, int(std::ceil(metrics.height()))};
}

QSize TextLine::minimumSizeHint() const {
    const QFontMetricsF metrics(effectiveFont());
    return {0, int(std::ceil(metrics.height()))};
}

void TextLine::paintEvent(QPaintEvent*) {
    if (m_shown.isEmpty()) {
        return;
    }
    QPainter p(this);
    const QRectF area = rect();
    if (m_masked) {
        // A bar where the text would be; nothing of the text itself is drawn.
        const double w = qMin(naturalWidth(), area.width());
        double x = area.left();
        if (m_alignment & Qt::AlignRight) {
            x = area.right() - w;
        } else if (m_alignment & Qt::AlignHCenter) {
            x = area.center().x() - w / 2;
        }
        OneLine::paintMask(p, effectiveFont(), palette(), x, area.center().y(), w);
        return;
    }
    p.setFont(effectiveFont());
    p.setPen(effectiveColor());
    p.drawText(area, int(m_alignment) | Qt::TextSingleLine, displayedText(width()));
}

void TextLine::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        m_natural = -1;
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

} // namespace ombrix
