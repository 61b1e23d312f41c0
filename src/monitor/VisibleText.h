#pragma once

// Text from outside (command lines, paths, daemon answers) as it may be shown
// or printed: control characters drawn as escapes, so a name or path can never
// break a line or a column. Tab, line feed and carriage return read \t, \n
// and \r; the other C0 and C1 controls and DEL read \xHH; the Unicode line
// and paragraph separators read \u2028 and \u2029. Everything else, the
// backslash included, is kept as it is.

#include <QString>

namespace ombrix {

QString visibleText(const QString& text);

} // namespace ombrix
