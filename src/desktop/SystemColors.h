#pragma once

// The colours the views draw with, resolved against a widget's palette at paint
// time so that a switch between light and dark appearance needs no bookkeeping.
// Accent colours have a light and a dark variant; the foreground levels are
// alpha steps of the palette's text colour.

#include <QColor>
#include <QPalette>

namespace ombrix {

enum class ColorRole {
    Teal,
    Green,
    Yellow,
    Orange,
    Red,
    Primary,
    Secondary,
    Tertiary,
    Quaternary,
    Separator,
    Link,
};

class SystemColors {
public:
    // Dark when the window background is darker than its text.
    static bool isDark(const QPalette& palette);
    static QColor color(ColorRole role, const QPalette& palette);
    static QColor color(ColorRole role, const QPalette& palette, double opacity);
};

} // namespace ombrix
