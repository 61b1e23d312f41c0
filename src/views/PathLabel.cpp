#include "PathLabel.h"

#include "Identification.h"
#include "OneLine.h"
#include "PathText.h"
#include "Symbols.h"
#include "SystemColors.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace ombrix {

namespace {

constexpr double kSpacing = 4;

} // namespace

PathLabel::PathLabel(QWidget* parent)
    : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void PathLabel::setPath(Kind kind, const QString& path, const QString& home) {
    if (kind == m_kind && path == m_path && m_nameNatural >= 0) {
        return;
    }
    m_kind = kind;
    m_path = path;
    m_name = Identification::lastPathComponent(path);
    m_shortPath = PathText::abbreviatingWithTilde(path, home);
    m_nameShown = OneLine::sanitised(m_name);
    m_pathShown = OneLine::sanitised(m_shortPath);
    setCursor(isClickable() ? Qt::PointingHandCursor : Qt::ArrowCursor);
    // A link is reached with Tab like any button; a click leaves the focus alone.
    setFocusPolicy(isClickable() ? Qt::TabFocus : Qt::NoFocus);
    refresh();
}

void PathLabel::setMasked(bool masked) {
    if (masked == m_masked) {
        return;
    }
    m_masked = masked;
    refresh();
}

void PathLabel::refresh() {
    m_nameNatural = -1;
    m_pathNatural = -1;
    setAccessibleName(m_masked ? m_name : m_name + QLatin1Char(' ') + m_shortPath);
    updateGeometry();
    update();
}

QFont PathLabel::nameFont() const {
    QFont f = font();
    if (m_kind == Kind::Project) {
        f.setWeight(QFont::Medium);
    }
    return f;
}

PathLabel::Parts PathLabel::measure() const {
    if (m_nameNatural < 0) {
        m_nameNatural = QFontMetricsF(nameFont()).horizontalAdvance(m_nameShown);
        m_pathNatural = QFontMetricsF(font()).horizontalAdvance(m_pathShown);
    }
    Parts parts;
    parts.symbol = QFontMetricsF(font()).height();
    const double room = qMax(0.0, width() - parts.symbol - kSpacing);
    // The path gives way first; the name is shortened only when it alone does not fit.
    parts.nameWidth = qMin(m_nameNatural, room);
    parts.pathWidth = qMax(0.0, qMin(m_pathNatural, room - parts.nameWidth - kSpacing));
    return parts;
}

QSize PathLabel::sizeHint() const {
    const QFontMetricsF metrics(font());
    measure();
    const double w = metrics.height() + 2 * kSpacing + m_nameNatural + m_pathNatural;
    return {qMin(640, int(std::ceil(w))), int(std::ceil(metrics.height()))};
}

QSize PathLabel::minimumSizeHint() const {
    return {0, int(std::ceil(QFontMetricsF(font()).height()))};
}

void PathLabel::paintEvent(QPaintEvent*) {
    if (m_path.isEmpty()) {
        return;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const Parts parts = measure();
    const bool project = m_kind == Kind::Project;
    const QColor accent =
        SystemColors::color(project ? ColorRole::Link : ColorRole::Secondary, palette());
    const QColor pathColor =
        SystemColors::color(project ? ColorRole::Primary : ColorRole::Secondary, palette());
    const double h = height();
    double x = 0;

    const double side = parts.symbol * 0.85;
    Symbols::paint(p, QRectF(x + (parts.symbol - side) / 2, (h - side) / 2, side, side),
                   project ? QStringLiteral("folder") : QStringLiteral("macwindow"), accent);
    x += parts.symbol + kSpacing;
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 3, 3);
    }

    const QFont nf = nameFont();
    p.setFont(nf);
    p.setPen(accent);
    const QString name =
        parts.nameWidth >= m_nameNatural
            ? m_nameShown
            : QFontMetricsF(nf).elidedText(m_nameShown, Qt::ElideMiddle, parts.nameWidth);
    p.drawText(QRectF(x, 0, parts.nameWidth + 1, h),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, name);
    x += (name.size() == m_nameShown.size() ? m_nameNatural
                                            : QFontMetricsF(nf).horizontalAdvance(name)) +
         kSpacing;

    if (parts.pathWidth <= 0) {
        return;
    }
    if (m_masked) {
        OneLine::paintMask(p, font(), palette(), x, h / 2, qMin(m_pathNatural, parts.pathWidth));
        return;
    }
    p.setFont(font());
    p.setPen(pathColor);
    const QString shown =
        parts.pathWidth >= m_pathNatural
            ? m_pathShown
            : QFontMetricsF(font()).elidedText(m_pathShown, Qt::ElideMiddle, parts.pathWidth);
    p.drawText(QRectF(x, 0, parts.pathWidth + 1, h),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

void PathLabel::mousePressEvent(QMouseEvent* event) {
    m_pressed = isClickable() && event->button() == Qt::LeftButton;
    event->setAccepted(m_pressed);
}

void PathLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasPressed = m_pressed;
    m_pressed = false;
    if (wasPressed && event->button() == Qt::LeftButton && rect().contains(event->pos())) {
        emit clicked(m_path);
        event->accept();
        return;
    }
    event->ignore();
}

void PathLabel::activate() {
    if (isClickable() && !m_path.isEmpty()) {
        emit clicked(m_path);
    }
}

void PathLabel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Select:
        if (isClickable()) {
            activate();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void PathLabel::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void PathLabel::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void PathLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        m_nameNatural = -1;
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

} // namespace ombrix
