#pragma once

// Where each column of the process table sits, shared by the column header and
// every row so captions and cells line up exactly. Computed in floating point
// from the content width; callers round the edges with span().
//
//   icon 14/18 | 8 | pid 42/52 | 8 | process: rest | 8 | cpu 93.5/113.5 | 24 |
//   memory 113.5/133.5 | 8 | action 16
//
// In a row the name block ends a flexible spacer (at least 12, plus the
// spacing on both of its sides) before the usage cells.

#include <QRect>
#include <cmath>

namespace ombrix {

struct RowColumns {
    static constexpr double spacing = 8;
    static constexpr double usageSpacing = 24;
    static constexpr double cellSpacing = 4; // between a bar and its text
    static constexpr double minimumSpacer = 12;
    static constexpr double actionWidth = 16;

    static double iconWidth(bool compact) { return compact ? 14 : 18; }
    static double pidWidth(bool compact) { return compact ? 42 : 52; }
    static double barWidth(bool compact) { return compact ? 43.5 : 53.5; }
    static double cpuTextWidth(bool compact) { return compact ? 46 : 56; }
    static double memoryTextWidth(bool compact) { return compact ? 66 : 76; }
    static double cpuWidth(bool compact) {
        return barWidth(compact) + cellSpacing + cpuTextWidth(compact);
    }
    static double memoryWidth(bool compact) {
        return barWidth(compact) + cellSpacing + memoryTextWidth(compact);
    }

    double iconX = 0;
    double pidX = 0;
    double processX = 0;
    double processWidth = 0; // the caption's box: all the rest
    double nameWidth = 0;    // the row's name block: the rest less the spacer
    double cpuX = 0;
    double memoryX = 0;
    double actionX = 0;

    static RowColumns layout(double width, bool compact) {
        RowColumns c;
        c.iconX = 0;
        c.pidX = c.iconX + iconWidth(compact) + spacing;
        c.processX = c.pidX + pidWidth(compact) + spacing;
        c.actionX = width - actionWidth;
        c.memoryX = c.actionX - spacing - memoryWidth(compact);
        c.cpuX = c.memoryX - usageSpacing - cpuWidth(compact);
        c.processWidth = c.cpuX - spacing - c.processX;
        c.nameWidth = c.processWidth - minimumSpacer - spacing;
        if (c.processWidth < 0) {
            c.processWidth = 0;
        }
        if (c.nameWidth < 0) {
            c.nameWidth = 0;
        }
        return c;
    }

    // The box from x to x + w with both edges rounded, so neighbouring boxes
    // never overlap or leave gaps.
    static QRect span(double x, double w, int y, int h) {
        const int left = int(std::lround(x));
        const int right = int(std::lround(x + w));
        return {left, y, qMax(0, right - left), h};
    }

    // Narrowest content width at which nothing overlaps.
    static double minimumWidth(bool compact) {
        return iconWidth(compact) + pidWidth(compact) + cpuWidth(compact) + memoryWidth(compact) +
               actionWidth + 4 * spacing + usageSpacing + minimumSpacer + spacing;
    }
};

} // namespace ombrix
