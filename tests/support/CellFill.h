#pragma once

// The colour a cell of a usage bar or of the pressure graph shows, by what fills it.

#include "SystemColors.h"

#include <QColor>
#include <QPalette>

namespace ombrix::testing::cells {

enum class Fill { Unlit, Green, Yellow, Orange, Red };
constexpr auto U = Fill::Unlit, G = Fill::Green, Y = Fill::Yellow, O = Fill::Orange, R = Fill::Red;

inline QColor fillColor(Fill f, const QPalette& pal) {
    switch (f) {
    case Fill::Green:
        return SystemColors::color(ColorRole::Green, pal);
    case Fill::Yellow:
        return SystemColors::color(ColorRole::Yellow, pal);
    case Fill::Orange:
        return SystemColors::color(ColorRole::Orange, pal);
    case Fill::Red:
        return SystemColors::color(ColorRole::Red, pal);
    case Fill::Unlit:
        break;
    }
    return SystemColors::color(ColorRole::Secondary, pal, 0.2);
}

} // namespace ombrix::testing::cells
