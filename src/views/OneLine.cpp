#include "OneLine.h"

#include "SystemColors.h"

#include <QFontMetricsF>
#include <QPainter>

namespace ombrix::OneLine {

namespace {

// No screen shows more than this many characters of one line; measuring and
// shaping tens of thousands would cost milliseconds per row.
constexpr qsizetype kKeepHead = 512;
constexpr qsizetype kKeepTail = 512;

} // namespace

QString sanitised(const QString& text, Qt::TextElideMode mode) {
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

void paintMask(QPainter& painter, const QFont& font, const QPalette& palette, double left,
               double centreY, double width) {
    const double h = qMax(4.0, QFontMetricsF(font).xHeight() * 1.4);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(SystemColors::color(ColorRole::Secondary, palette, 0.35));
    painter.drawRoundedRect(QRectF(left, centreY - h / 2, width, h), h / 2, h / 2);
}

} // namespace ombrix::OneLine
