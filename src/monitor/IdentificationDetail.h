#pragma once

// Helpers the identification rules share; not part of their interface.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTextBoundaryFinder>

namespace ombrix::Identification::detail {

// Matching works on whole user-perceived characters: "--target=" does not
// prefix "--target=\u0301x", because the accent belongs to the "=".
inline bool isCharacterBoundary(const QString& text, qsizetype position) {
    if (position <= 0 || position >= text.size()) {
        return true;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(position);
    return finder.isAtBoundary();
}

inline bool startsWith(const QString& text, QStringView prefix) {
    return text.startsWith(prefix) && isCharacterBoundary(text, prefix.size());
}

inline bool endsWith(const QString& text, QStringView suffix) {
    return text.endsWith(suffix) && isCharacterBoundary(text, text.size() - suffix.size());
}

inline qsizetype characterCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
    }
    return count;
}

inline QString stripTrailingSlashes(const QString& path) {
    qsizetype end = path.size();
    while (end > 1 && path[end - 1] == u'/') {
        --end;
    }
    return path.first(end);
}

inline QString parentPath(const QString& path) {
    const QString trimmed = stripTrailingSlashes(path);
    const qsizetype slash = trimmed.lastIndexOf(u'/');
    if (slash < 0) {
        return QString();
    }
    const QString parent = stripTrailingSlashes(trimmed.first(slash + 1));
    return parent.isEmpty() ? QStringLiteral("/") : parent;
}

inline QString appendingComponent(const QString& directory, const QString& component) {
    QString base = stripTrailingSlashes(directory);
    if (base == u"/") {
        base.clear();
    }
    return base + u'/' + component;
}

// The first ".snapshot" argument after argv[0], or -1: command words and
// project candidates are read only after it.
inline qsizetype firstSnapshotIndex(const QStringList& args) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (endsWith(args[i], u".snapshot")) {
            return i;
        }
    }
    return -1;
}

} // namespace ombrix::Identification::detail
