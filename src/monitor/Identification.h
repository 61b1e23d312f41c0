#pragma once

// Pure rules that turn a process's argument list and kernel facts into the
// names, projects and IDE windows the user sees. No state, no failures: an
// absent answer is an empty optional. Text matching is exact and case-sensitive.
//

#include "DartProcess.h"
#include "Kernel.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace ombrix {

// A listed process's arguments, or null where the listing has none. What a
// sample already read of its ancestors, so the walk reads no command line.
using ArgumentsOf = std::function<const QStringList*(Pid)>;

namespace Identification {

// The path fragment inside every executable of Ombrix's own app bundle.
extern const QString ownBundleMarker;

// --- flags --------------------------------------------------------------
// "--flag=value" or "--flag value" (a value starting with "-" is not taken).
std::optional<QString> flagValue(const QString& flag, const QStringList& args);
// Only "--flag=value", continued over following elements up to one starting with "--".
std::optional<QString> spacedFlagValue(const QString& flag, const QStringList& args);
// Key/value fields of "--app-name=A - Key: value - ...".
QHash<QString, QString> appNameFields(const QStringList& args);

// --- classification -----------------------------------------------------
// True for SDK, tool, system and temporary locations where no project lives.
bool isToolingPath(const QString& path);
// The selection rule of the sampling cycle, apart from the own pid: argv non-empty,
// not one of our own executables, and named like a Dart or Flutter tool.
bool isWatched(const QStringList& args);

// --- naming -------------------------------------------------------------
QString displayName(const QStringList& args, const std::optional<QString>& ide);
QString decorated(const QString& name, const QStringList& args);
QString qualified(const QString& name, const std::optional<QString>& qualifier);

// --- projects -----------------------------------------------------------
// A process's project is the first of these directories holding
// "pubspec.yaml", else projectFallback(); ProjectSearcher asks the files.
// The directories the search examines for "pubspec.yaml", in order: up to
// 15 levels from the working directory, then from each absolute argument
// path. Each part lists a directory once; the argument part does not drop
// the directory part's, since a deleted working directory drops that part.
struct ProjectSearch {
    QStringList fromCwd;
    QStringList fromArgs;
};
ProjectSearch projectSearch(const std::optional<QString>& cwd, const QStringList& args);
QString pubspecPath(const QString& directory);
// Absolute, not "/", not a tooling location.
bool usableWorkingDirectory(const std::optional<QString>& cwd);
// The answer when no examined directory holds "pubspec.yaml".
std::optional<QString> projectFallback(const std::optional<QString>& cwd, const QString& home);
std::optional<QString>
workingDirectory(Pid pid, const platform::ProcessTable& table = platform::systemKernel());

// Whether the process is an analysis server (the language server too).
bool isAnalyzer(const QStringList& args);

// --- IDE attribution ----------------------------------------------------
std::optional<QString> ideName(const QString& executablePath);
// The starter one process is, from its executable and, where known, its
// arguments (an agent runs as a script under node, bun or python).
std::optional<IdeAncestor> starter(Pid pid, const std::optional<QString>& executablePath,
                                   const QStringList* args);
// Walks at most ten ancestors (never the process itself). A parent that
// cannot be read, or one met twice (a loop), gives none.
std::optional<IdeAncestor> ideAncestor(Pid pid,
                                       const platform::ProcessTree& tree = platform::systemKernel(),
                                       const ArgumentsOf& args = {});
// The same walk, kept only when it found a window (an IDE or an agent).
std::optional<IdeAncestor> windowAncestor(Pid pid, const platform::ProcessTree& tree,
                                          const ArgumentsOf& args = {});

// --- text helpers -------------------------------------------------------
// The part after the last "/" once trailing "/" are removed; the whole text without "/".
QString lastPathComponent(const QString& path);
// Without leading and trailing tabs and space separators; a line break is content.
QStringView trimmedBlanks(QStringView text);
// Word capitalisation: a letter is upper-cased when the nearest preceding
// character that is not case-ignorable is not a cased letter; others lower-cased.
QString capitalized(const QString& text);
} // namespace Identification

} // namespace ombrix
