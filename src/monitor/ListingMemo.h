#pragma once

// What a sample derives from one ps line depends on that line's text alone,
// and from one sample to the next nearly every line is unchanged. The memo
// keeps the last listing's results by line text, so a steady machine costs a
// hash and a comparison per line instead of a parse, a selection and a flag
// scan. One instance per monitor, used on its thread.

#include "ProcessListing.h"

#include <QHashFunctions>
#include <QString>
#include <QStringView>
#include <optional>
#include <unordered_map>
#include <vector>

namespace ombrix {

struct ListingLine {
    ListedProcess entry;
    bool watched = false;          // Identification::isWatched(entry.args)
    std::optional<QString> dtdUri; // the "--dtd-uri" value, whatever its scheme
    QString commandLine;           // the arguments joined by single spaces
    QString executableName;        // last path component of the first argument
};

class ListingMemo {
public:
    // The lines of `psOutput` that parse, in listing order, as ProcessListing::parse
    // gives them. The pointers stay valid until the next call; lines absent from
    // this listing are forgotten.
    std::vector<const ListingLine*> lines(const QString& psOutput);

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(QStringView text) const { return qHash(text); }
    };
    struct Equal {
        using is_transparent = void;
        bool operator()(QStringView a, QStringView b) const { return a == b; }
    };
    using Map = std::unordered_map<QString, ListingLine, Hash, Equal>;

    Map m_lines;
};

} // namespace ombrix
