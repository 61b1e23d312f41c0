#include "TextLine.h"

#include "Typography.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace ombrix {

namespace {

// No screen shows more than this many characters of one line; measuring and
// shaping tens of thousands would cost milliseconds per row.
constexpr qsizetype kKeepHead = 512;
constexpr qsizetype kKeepTail = 512;

QString bounded(const QString& text, Qt::TextElideMode mode) {
    QString s = text;
    for (QChar& c : s) {
        const char16_t u = c.unicode();
        if (u == u'\n' || u == u'\r' || u == u'\t' || u == 0x2028 || u == 0x2029 || u == 0x0b ||
            u == 0x0c) {
            c = QLatin1Char(' ');
        }
    }
    if (s.size() <= kKeepHead + kKeepTail) {
        return s;
    }
    qsizetype head = kKeepHead;
    if (s.at(head - 1).isHighSurrogate()) {
        --head; // never split a surrogate pair
    }
    if (mode != Qt::ElideMiddle) {
        return s.left(head) + QChar(0x2026);
    }
    qsizetype tailStart = s.size() - kKeepTail;
    if (s.at(tailStart).isLowSurrogate()) {
        ++tailStart;
    }
    return s.left(head) + QChar(0x2026) + s.mid(tailStart);
}

} // namespace

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
    m_shown = bounded(m_text, m_elide);
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
        const QFontMetricsF metrics(effectiveFont());
        const double w = qMin(naturalWidth(), area.width());
        const double h = qMax(4.0, metrics.xHeight() * 1.4);
        double x = area.left();
        if (m_alignment & Qt::AlignRight) {
            x = area.right() - w;
        } else if (m_alignment & Qt::AlignHCenter) {
            x = area.center().x() - w / 2;
        }
        const QRectF bar(x, area.center().y() - h / 2, w, h);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(SystemColors::color(ColorRole::Secondary, palette(), 0.35));
        p.drawRoundedRect(bar, h / 2, h / 2);
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
