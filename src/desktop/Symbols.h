#pragma once

// The eight named symbols of the interface, drawn for this project as SVG and
// compiled in, tinted to whatever colour the caller asks for. Unknown names
// draw nothing.

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QStringList>

class QPainter;

namespace ombrix {

class Symbols {
public:
    // "memorychip", "eye", "eye.slash", "moon.zzz", "terminal.fill", "folder",
    // "macwindow", "xmark.circle.fill".
    static QStringList names();

    // The symbol scaled to fit `size` (device-independent pixels) at `dpr`,
    // aspect kept, every opaque pixel in `color`. Null for an unknown name.
    // Cached; main thread only.
    static QPixmap pixmap(const QString& name, QSizeF size, const QColor& color, qreal dpr = 1.0);
    // Draws the symbol centred in `rect` at the painter's device pixel ratio.
    static void paint(QPainter& painter, const QRectF& rect, const QString& name,
                      const QColor& color);

    // The application icon (full colour), also available as the resource
    // ":/ombrix/icons/ombrix.svg".
    static QIcon appIcon();
    static QString appIconPath();
};

} // namespace ombrix
