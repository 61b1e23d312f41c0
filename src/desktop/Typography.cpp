#include "Typography.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>

namespace ombrix {

namespace {
constexpr double kBodyReference = 13.0;
}

double Typography::referenceSize(TextStyle style) {
    switch (style) {
    case TextStyle::Body:
    case TextStyle::Headline:
        return 13.0;
    case TextStyle::Callout:
        return 12.0;
    case TextStyle::Title3:
        return 15.0;
    case TextStyle::Caption:
    case TextStyle::Caption2:
        return 10.0;
    }
    return kBodyReference;
}

QFont Typography::font(TextStyle style, const QFont& base) {
    QFont f = base;
    const double ratio = referenceSize(style) / kBodyReference;
    if (base.pointSizeF() > 0) {
        f.setPointSizeF(base.pointSizeF() * ratio);
    } else if (base.pixelSize() > 0) {
        f.setPixelSize(qMax(1, qRound(base.pixelSize() * ratio)));
    }
    if (style == TextStyle::Headline) {
        f.setWeight(QFont::DemiBold);
    }
    return f;
}

QFont Typography::font(TextStyle style) {
    return font(style, QGuiApplication::font());
}

QFont Typography::font(TextStyle style, QFont::Weight weight) {
    QFont f = font(style);
    f.setWeight(weight);
    return f;
}

bool Typography::hasTabularDigits(const QFont& font) {
    const QFontMetricsF metrics(font);
    const double zero = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (!qFuzzyCompare(metrics.horizontalAdvance(QLatin1Char(digit)), zero)) {
            return false;
        }
    }
    return true;
}

QFont Typography::monospacedDigits(const QFont& font) {
    // Qt 6.4 has no way to request the font's tabular figures, so keep fonts
    // whose digits are already tabular (most UI fonts) and fall back otherwise.
    if (hasTabularDigits(font)) {
        return font;
    }
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (font.pointSizeF() > 0) {
        fixed.setPointSizeF(font.pointSizeF());
    } else if (font.pixelSize() > 0) {
        fixed.setPixelSize(font.pixelSize());
    }
    fixed.setWeight(font.weight());
    return fixed;
}

} // namespace ombrix
