#pragma once

// Path texts as a row shows them.

#include <QString>

namespace ombrix {

class PathText {
public:
    // `path` with the home-directory prefix replaced by "~" ("/home/me" -> "~",
    // "/home/me/src" -> "~/src"). Only whole components match, so "/home/meg"
    // stays as it is. A home of "" or "/" abbreviates nothing.
    static QString abbreviatingWithTilde(const QString& path, const QString& home);
};

} // namespace ombrix
