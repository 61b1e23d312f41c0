#pragma once

// Where the desktop's panel bars are, for placing a popup beside one when no
// window manager has told the screen's work area about them. On X11 a bar is
// a mapped top-level (or a window manager's frame around one) of type
// _NET_WM_WINDOW_TYPE_DOCK; other platforms have none to find.
//
// Geometry is in Qt's logical pixels, global. Asks the X server synchronously
// (a few round trips); call it on the GUI thread, on a click, not per frame.

#include <QRect>

namespace ombrix::DockBars {

// The bar holding `point`, or an empty rectangle.
QRect barAt(const QPoint& point);

} // namespace ombrix::DockBars
