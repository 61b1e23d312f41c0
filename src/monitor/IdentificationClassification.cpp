// Which paths are tooling locations, and which processes are watched.

#include "Identification.h"
#include "IdentificationDetail.h"

#include <array>

namespace ombrix {

using namespace Identification::detail;

namespace {

constexpr std::array<QStringView, 8> toolingFragments{
    u"/.puro/",       u"/dart-sdk/", u"/Library/", u"/Applications/",
    u"/flutter/bin/", u"/private/",  u"/var/",     u"/tmp/",
};

} // namespace

const QString Identification::ownBundleMarker = QStringLiteral("Ombrix.app/Contents/MacOS/");

bool Identification::isToolingPath(const QString& path) {
    for (QStringView fragment : toolingFragments) {
        if (path.contains(fragment)) {
            return true;
        }
    }
    return false;
}

bool Identification::isWatched(const QStringList& args) {
    if (args.isEmpty()) {
        return false;
    }
    const QString name = lastPathComponent(args.first()).toLower();
    if (!startsWith(name, u"dart") && name != u"puro" && name != u"flutter_tester" &&
        !args.first().contains(u"/dart-sdk/")) {
        return false;
    }
    // The marker holds no space, so it is in the joined command line exactly
    // when it is inside one argument; most processes never get this far.
    return std::none_of(args.cbegin(), args.cend(),
                        [](const QString& arg) { return arg.contains(ownBundleMarker); });
}

} // namespace ombrix
