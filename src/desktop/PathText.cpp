#include "PathText.h"

namespace ombrix {

namespace {

QString withoutTrailingSlashes(const QString& path) {
    qsizetype end = path.size();
    while (end > 0 && path.at(end - 1) == QLatin1Char('/')) {
        --end;
    }
    return path.left(end);
}

} // namespace

QString PathText::abbreviatingWithTilde(const QString& path, const QString& home) {
    const QString root = withoutTrailingSlashes(home);
    // A root home would turn every absolute path into "~/...".
    if (root.isEmpty() || !path.startsWith(root)) {
        return path;
    }
    const QString rest = path.mid(root.size());
    if (withoutTrailingSlashes(rest).isEmpty()) {
        return QStringLiteral("~");
    }
    if (!rest.startsWith(QLatin1Char('/'))) {
        return path;
    }
    return QLatin1Char('~') + rest;
}

} // namespace ombrix
