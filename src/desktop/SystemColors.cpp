#include "SystemColors.h"

namespace ombrix {

bool SystemColors::isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() <
           palette.color(QPalette::WindowText).lightnessF();
}

QColor SystemColors::color(ColorRole role, const QPalette& palette) {
    const bool dark = isDark(palette);
    auto accent = [dark](QColor light, QColor night) { return dark ? night : light; };
    auto foreground = [&palette](double alpha) {
        QColor c = palette.color(QPalette::WindowText);
        c.setAlphaF(float(alpha));
        return c;
    };
    switch (role) {
    case ColorRole::Teal:
        return accent(QColor(48, 176, 199), QColor(64, 200, 224));
    case ColorRole::Green:
        return accent(QColor(52, 199, 89), QColor(48, 209, 88));
    case ColorRole::Yellow:
        return accent(QColor(255, 204, 0), QColor(255, 214, 10));
    case ColorRole::Orange:
        return accent(QColor(255, 149, 0), QColor(255, 159, 10));
    case ColorRole::Red:
        return accent(QColor(255, 59, 48), QColor(255, 69, 58));
    case ColorRole::Primary:
        return foreground(0.85);
    case ColorRole::Secondary:
        return foreground(dark ? 0.55 : 0.5);
    case ColorRole::Tertiary:
        return foreground(dark ? 0.25 : 0.26);
    case ColorRole::Quaternary:
        return foreground(0.1);
    case ColorRole::Separator:
        return foreground(dark ? 0.16 : 0.12);
    case ColorRole::Link:
        return accent(QColor(0, 104, 218), QColor(65, 156, 255));
    }
    return foreground(0.85);
}

QColor SystemColors::color(ColorRole role, const QPalette& palette, double opacity) {
    QColor c = color(role, palette);
    c.setAlphaF(float(c.alphaF() * opacity));
    return c;
}

} // namespace ombrix
