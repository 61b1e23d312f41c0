#include "PathText.h"

#include <QDir>

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

QString PathText::lastPathComponent(const QString& path) {
    if (path.isEmpty()) {
        return path;
    }
    const QString trimmed = withoutTrailingSlashes(path);
    if (trimmed.isEmpty()) {
        return QStringLiteral("/");
    }
    const qsizetype slash = trimmed.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? trimmed : trimmed.mid(slash + 1);
}

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

QString PathText::abbreviatingWithTilde(const QString& path) {
    return abbreviatingWithTilde(path, QDir::homePath());
}

} // namespace ombrix
