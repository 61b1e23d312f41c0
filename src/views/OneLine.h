#pragma once

// What every one-line text of the views shares: how hostile text is made fit
// for one line, and the bar drawn instead of a masked text.

#include <QString>
#include <Qt>

class QFont;
class QPainter;
class QPalette;

namespace ombrix::OneLine {

// `text` with line breaks, tabs, vertical tabs and form feeds as spaces; of a
// very long text only a bounded head (and, eliding in the middle, tail) is
// kept, joined by an ellipsis. A surrogate pair is never split.
QString sanitised(const QString& text, Qt::TextElideMode mode = Qt::ElideMiddle);

// The neutral bar of a masked text, `width` wide from `left`, centred on
// `centreY`, as high as `font` makes its text look. Leaves the painter's pen
// and brush changed.
void paintMask(QPainter& painter, const QFont& font, const QPalette& palette, double left,
               double centreY, double width);

} // namespace ombrix::OneLine
