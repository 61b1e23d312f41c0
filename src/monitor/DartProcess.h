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
    // The user's own (anyone's when Ombrix runs as root), by the rule that
    // decides leftovers: only these keep a usage history.
    bool ownedByUser = true;

    friend bool operator==(const DartProcess&, const DartProcess&) = default;
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

} // namespace ombrix
