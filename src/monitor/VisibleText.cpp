#include "VisibleText.h"

#include <algorithm>

namespace ombrix {

namespace {

bool needsEscape(char16_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029;
}

} // namespace

QString visibleText(const QString& text) {
    if (std::none_of(text.cbegin(), text.cend(),
                     [](QChar c) { return needsEscape(c.unicode()); })) {
        return text;
    }
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!needsEscape(u)) {
            out.append(c);
        } else if (u == u'\t') {
            out.append(QLatin1String("\\t"));
        } else if (u == u'\n') {
            out.append(QLatin1String("\\n"));
        } else if (u == u'\r') {
            out.append(QLatin1String("\\r"));
        } else if (u > 0xff) {
            out.append(QLatin1String("\\u") + QString::number(u, 16));
        } else {
            out.append(QLatin1String("\\x") + QString::number(u, 16).rightJustified(2, u'0'));
        }
    }
    return out;
}

} // namespace ombrix
