// Where a process's project is: the directories searched and the fallback.

#include "Identification.h"
#include "IdentificationDetail.h"
#include "Kernel.h"

namespace ombrix {

using namespace Identification::detail;

Identification::ProjectSearch Identification::projectSearch(const std::optional<QString>& cwd,
                                                            const QStringList& args) {
    // Each directory is listed once, so a process with thousands of path
    // arguments under one tree costs one check per directory, not fifteen per
    // argument. A directory first reached with more levels left than now
    // already had everything above it listed: the walk stops there.
    constexpr int directoriesPerCandidate = 15;
    QHash<QString, int> levelsLeft;
    const auto walk = [&levelsLeft](const QString& candidate, QStringList& into) {
        QString directory = candidate;
        for (int left = directoriesPerCandidate; left > 0; --left) {
            const auto seen = levelsLeft.constFind(directory);
            if (seen != levelsLeft.constEnd() && *seen >= left) {
                return;
            }
            if (seen == levelsLeft.constEnd()) {
                into.append(directory);
            }
            levelsLeft.insert(directory, left);
            QString parent = parentPath(directory);
            if (parent == directory) {
                return;
            }
            directory = std::move(parent);
        }
    };

    ProjectSearch search;
    if (usableWorkingDirectory(cwd)) {
        walk(*cwd, search.fromCwd);
    }
    // The argument walk does not lean on the directory's: the directory may
    // turn out deleted, and then only the arguments count.
    levelsLeft.clear();
    const qsizetype snapshotIndex = firstSnapshotIndex(args);
    for (qsizetype i = snapshotIndex > 0 ? snapshotIndex + 1 : 1; i < args.size(); ++i) {
        if (startsWith(args[i], u"/") && !isToolingPath(args[i])) {
            walk(args[i], search.fromArgs);
        }
    }
    return search;
}

QString Identification::pubspecPath(const QString& directory) {
    return appendingComponent(directory, QStringLiteral("pubspec.yaml"));
}

bool Identification::usableWorkingDirectory(const std::optional<QString>& cwd) {
    // A relative directory would be probed against Ombrix's own working
    // directory and shown as a project; only absolute ones are taken.
    return cwd && startsWith(*cwd, u"/") && *cwd != u"/" && !isToolingPath(*cwd);
}

std::optional<QString> Identification::projectFallback(const std::optional<QString>& cwd,
                                                       const QString& home) {
    if (usableWorkingDirectory(cwd) && *cwd != home) {
        return cwd;
    }
    return std::nullopt;
}

std::optional<QString> Identification::workingDirectory(Pid pid,
                                                        const platform::ProcessTable& table) {
    const std::optional<std::string> directory = table.workingDirectory(pid);
    if (!directory) {
        return std::nullopt;
    }
    return QString::fromStdString(*directory);
}

} // namespace ombrix
