#pragma once

// Pure rules that turn a process's argument list and kernel facts into the
// names, projects and IDE windows the user sees. No state, no failures: an
// absent answer is an empty optional. Text matching is exact and case-sensitive.
//
// ProcessMonitor inherits these, so they are also reachable as ProcessMonitor::x.

#include "DartProcess.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace ombrix::platform {
class Kernel;
const Kernel& systemKernel();
} // namespace ombrix::platform

namespace ombrix {

// The nearest ancestor process recognised as an IDE; its pid stands for one IDE window.
struct IdeAncestor {
    Pid pid = 0;
    QString name;
    friend bool operator==(const IdeAncestor&, const IdeAncestor&) = default;
};

using FileExists = std::function<bool(const QString& path)>;

class Identification {
public:
    // The path fragment inside every executable of Ombrix's own app bundle.
    static const QString ownBundleMarker;

    // --- flags --------------------------------------------------------------
    // "--flag=value" or "--flag value" (a value starting with "-" is not taken).
    static std::optional<QString> flagValue(const QString& flag, const QStringList& args);
    // Only "--flag=value", continued over following elements up to one starting with "--".
    static std::optional<QString> spacedFlagValue(const QString& flag, const QStringList& args);
    // Key/value fields of "--app-name=A - Key: value - ...".
    static QHash<QString, QString> appNameFields(const QStringList& args);

    // --- classification -----------------------------------------------------
    // True for SDK, tool, system and temporary locations where no project lives.
    static bool isToolingPath(const QString& path);
    // The selection rule of the sampling cycle, apart from the own pid: argv non-empty,
    // not one of our own executables, and named like a Dart or Flutter tool.
    static bool isWatched(const QStringList& args);

    // --- naming -------------------------------------------------------------
    static QString displayName(const QStringList& args, const std::optional<QString>& ide);
    static QString decorated(const QString& name, const QStringList& args);
    static QString qualified(const QString& name, const std::optional<QString>& qualifier);

    // --- projects -----------------------------------------------------------
    // Nearest directory holding "pubspec.yaml", searched upwards from the working
    // directory, then from absolute argument paths; else an acceptable working
    // directory. An empty `fileExists` asks `kernel`; the home directory comes
    // from `kernel` too. No path is asked twice.
    // The directories the search examines for "pubspec.yaml", in order: up to
    // 15 levels from the working directory, then from each absolute argument
    // path. Each part lists a directory once; the argument part does not drop
    // the directory part's, since a deleted working directory drops that part.
    struct ProjectSearch {
        QStringList fromCwd;
        QStringList fromArgs;
    };
    static ProjectSearch projectSearch(const std::optional<QString>& cwd, const QStringList& args);
    static QString pubspecPath(const QString& directory);
    // Absolute, not "/", not a tooling location.
    static bool usableWorkingDirectory(const std::optional<QString>& cwd);
    // The answer when no examined directory holds "pubspec.yaml".
    static std::optional<QString> projectFallback(const std::optional<QString>& cwd,
                                                  const QString& home);
    static std::optional<QString>
    projectRoot(const std::optional<QString>& cwd, const QStringList& args,
                const FileExists& fileExists = {},
                const platform::Kernel& kernel = platform::systemKernel());
    static std::optional<QString>
    workingDirectory(Pid pid, const platform::Kernel& kernel = platform::systemKernel());

    // --- IDE attribution ----------------------------------------------------
    static std::optional<QString> ideName(const QString& executablePath);
    // Walks at most ten ancestors (never the process itself).
    static std::optional<IdeAncestor>
    ideAncestor(Pid pid, const platform::Kernel& kernel = platform::systemKernel());

    // --- text helpers -------------------------------------------------------
    // The part after the last "/" once trailing "/" are removed; the whole text without "/".
    static QString lastPathComponent(const QString& path);
    // Word capitalisation: a letter is upper-cased when the nearest preceding
    // character that is not case-ignorable is not a cased letter; others lower-cased.
    static QString capitalized(const QString& text);
};

} // namespace ombrix
