#pragma once

// Path texts as a row shows them.

#include <QString>

namespace ombrix {

class PathText {
public:
    // The part after the last "/" once trailing slashes are removed; the whole
    // text when it holds no "/"; "/" for a path made only of slashes.
    static QString lastPathComponent(const QString& path);

    // `path` with the home-directory prefix replaced by "~" ("/home/me" -> "~",
    // "/home/me/src" -> "~/src"). Only whole components match, so "/home/meg"
    // stays as it is. A home of "" or "/" abbreviates nothing.
    static QString abbreviatingWithTilde(const QString& path, const QString& home);
    // Same, with the current user's home directory.
    static QString abbreviatingWithTilde(const QString& path);
};

} // namespace ombrix
