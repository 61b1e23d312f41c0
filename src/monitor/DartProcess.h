#pragma once

#include <QHashFunctions>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace ombrix {

using Pid = qint32;

// How much a process's memory floor rose, and over how long (GrowthRule).
struct Growth {
    quint64 bytes = 0;
    qint64 seconds = 0;
    friend bool operator==(const Growth&, const Growth&) = default;
};

// Who started a process: an IDE window or an editor, a coding agent, or
// (only when neither is above it) a terminal.
enum class StarterKind { Ide, Agent, Terminal };

// The nearest ancestor process recognised as an IDE, editor or agent, else
// the nearest terminal. An IDE's or agent's pid stands for one window.
struct IdeAncestor {
    Pid pid = 0;
    QString name;
    StarterKind kind = StarterKind::Ide;
    QString executable; // its executable's path, where it could be read
    // Whether a tooling daemon and a workspace may belong to it.
    bool isWindow() const { return kind != StarterKind::Terminal; }
    friend bool operator==(const IdeAncestor&, const IdeAncestor&) = default;
};

// One process as a command names it: a signal reaches `id` only while the
// process there started at `startTime`.
struct ProcessRef {
    Pid id = 0;
    quint64 startTime = 0;

    friend bool operator==(const ProcessRef&, const ProcessRef&) = default;
    friend size_t qHash(const ProcessRef& ref, size_t seed = 0) noexcept {
        return qHashMulti(seed, ref.id, ref.startTime);
    }
};

// The analyzer that a duplicate doubles up with.
struct AlsoAnalyzedBy {
    ProcessRef process;
    QString name;
    friend bool operator==(const AlsoAnalyzedBy&, const AlsoAnalyzedBy&) = default;
};

// One row of the process table. Equal when every field is equal (so a NaN
// CPU figure never compares equal, and a changed CPU figure republishes).
struct DartProcess {
    Pid id = 0;
    QString name;                       // friendly display name
    QString executableName;             // last path component of argv[0], case kept
    QString command;                    // argv joined with single spaces
    std::optional<QString> projectPath; // nearest directory with a pubspec.yaml
    std::optional<QString> workspace;   // IDE window's workspace; only without projectPath
    double cpuPercent = 0;              // percent of one core over the last interval
    quint64 memoryBytes = 0;            // physical footprint
    quint64 startTime = 0;              // ProcessUsage::startTime: with id, the process measured
    bool leftover = false;              // adopted by the system: nothing will stop it (Leftovers)
    bool ignoredTerminate = false;      // still running a grace period after its row's SIGTERM
    std::optional<Growth> growth = {};  // its memory is growing (GrowthRule)
    // Found when first seen, so a leftover keeps who started it.
    std::optional<IdeAncestor> startedBy = {};
    bool foreign = false;  // another user's (never while Ombrix runs as root)
    bool analyzer = false; // an analysis server (Identification::isAnalyzer)
    bool homeCwd = false;  // its working directory is the home folder or "/"
    // Set by Analyzers::mark once workspaces are known.
    std::optional<AlsoAnalyzedBy> duplicateOf = {};
    bool homeFolder = false; // an analyzer of the whole home folder, or of "/"
    // A leftover only because its parent is one: the family's first leftover.
    std::optional<ProcessRef> family = {};

    friend bool operator==(const DartProcess&, const DartProcess&) = default;
};

} // namespace ombrix
