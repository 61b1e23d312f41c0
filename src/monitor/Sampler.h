#pragma once

// Everything one sample reads from the machine: the memory snapshot, the ps
// listing, each watched process's usage, name and project. It runs off the
// window's thread, one reading at a time, so that nothing the kernel or a
// file system does can hold the window; the monitor applies each reading on
// its own thread in one stretch.
//
// Owns the per-process caches (CPU marks, names, projects, lineage) and the
// project searches. A pid whose start time changes is a new process: its caches go.

#include "AncestryCache.h"
#include "DaemonFiles.h"
#include "DartProcess.h"
#include "Identification.h"
#include "Leftovers.h"
#include "ListingMemo.h"
#include "ProjectSearcher.h"
#include "SystemMemory.h"

#include <QHash>
#include <QList>
#include <QUrl>
#include <chrono>
#include <optional>

namespace ombrix {

// A tooling-daemon address a process names, with the IDE window above it.
struct DaemonAddress {
    Pid window = 0;
    QUrl url;
};

struct Reading {
    SystemMemory memory;
    QList<DartProcess> rows;  // listing order; workspaces are the window cache's to add
    QHash<Pid, Pid> windowOf; // row pid -> IDE window, for rows that may show a workspace
    // Every address named, in listing order, then those the daemons' own files give.
    std::vector<DaemonAddress> daemons;
};

class Sampler {
public:
    // `searchWait`: how long a reading waits for new project searches before
    // it shows those processes without a project.
    // `daemonDirectory`: where tooling daemons announce themselves (also
    // waited on for up to `searchWait`).
    Sampler(const platform::Kernel& kernel, std::chrono::milliseconds searchWait,
            std::string daemonDirectory = DaemonFiles::directory());

    // `anyRoot`: some window has a workspace root, so rows without a project
    // need their window. Never fails; a failed listing gives no rows. The
    // rows are in listing order: ranking them is the caller's choice.
    Reading read(bool anyRoot);
    // Waits up to `wait` for the project searches still running, a stuck one
    // too, and gives the rows of `reading` the answers that arrive. For a
    // caller that reads for the last time.
    void finishSearches(Reading& reading, std::chrono::milliseconds wait);

    // --- steps the monitor's cycle and the dump both compose ---------------
    // The watched lines, in listing order, without our own process.
    static std::vector<const ListingLine*> select(const std::vector<const ListingLine*>& lines,
                                                  Pid own);
    // The IDE window above `line` and the tooling-daemon address the line
    // names (ws or wss, a valid URL); none when either is missing.
    static std::optional<DaemonAddress> daemonAddress(const ListingLine& line,
                                                      const platform::ProcessTree& tree,
                                                      const ArgumentsOf& args = {});
    // One address per window; a window showing two different addresses is left out.
    static QHash<Pid, QUrl> collectDaemons(const std::vector<DaemonAddress>& daemons);
    // A usage reading's CPU time in nanoseconds; wraps modulo 2^64 like the kernel's units.
    static quint64 cpuNanos(const platform::ProcessUsage& usage, const platform::Timebase& base) {
        return usage.cpuTime * base.numer / (base.denom ? base.denom : 1);
    }
    // Percent of one core between two readings `elapsedNanos` apart; 0 when
    // the time went backwards (a reused pid) or no time passed.
    static double cpuPercent(quint64 beforeNanos, quint64 afterNanos, qint64 elapsedNanos) {
        return afterNanos >= beforeNanos && elapsedNanos > 0
                   ? double(afterNanos - beforeNanos) / double(elapsedNanos) * 100.0
                   : 0.0;
    }
    // Heaviest first: CPU (capped at one core) plus memory relative to the
    // largest; equal weights by pid.
    static void rank(QList<DartProcess>& rows);

private:
    struct CpuMark {
        quint64 nanos = 0;
        qint64 at = 0; // monotonic nanoseconds
    };

    // What is fixed for a process's life once it is first seen.
    struct Identity {
        QString name;
        std::optional<IdeAncestor> startedBy;
        bool analyzer = false;
        bool homeCwd = false; // read with the working directory for its project search
    };

    void forget(Pid pid);
    void keepAnswers(const ProjectSearcher::Answers& answers, const QSet<Pid>& measured);

    const platform::Kernel& m_kernel;
    const std::chrono::milliseconds m_searchWait;
    ListingMemo m_listing;
    ProjectSearcher m_searcher;
    DaemonFiles m_daemonFiles;
    const QString m_home;
    QHash<Pid, quint64> m_startTimes;
    QHash<Pid, CpuMark> m_previousCPUNanos;
    QHash<Pid, std::optional<QString>> m_projectCache;
    QHash<Pid, Identity> m_nameCache;
    QHash<Pid, Leftovers::Lineage> m_lineage;
};

} // namespace ombrix
