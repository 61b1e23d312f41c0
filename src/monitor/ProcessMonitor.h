#pragma once

// The one object behind every view: it samples the machine and publishes the
// table of watched Dart and Flutter processes, the machine's memory and its
// pressure history through MonitorState, which is all the views see.
//
// Threading: every member is used on the thread that owns the monitor (the UI
// thread). What a sample reads from the machine (ps, /proc, the file system)
// is read by the Sampler on one worker thread, and the daemon queries run on
// their own; neither can hold the owning thread. Samples queue for the worker
// and each applies its reading in one uninterrupted stretch on the owning
// thread, in the order they were asked for.

#include "DartProcess.h"
#include "MonitorState.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace ombrix::platform {
class Kernel;
}

namespace ombrix {

class Sampler;
struct Reading;

class ProcessMonitor final : public MonitorState {
    Q_OBJECT
public:
    // Asks one IDE window's tooling daemon for its workspace root. The future
    // must finish within about `timeout`; it may finish on any thread.
    using Resolver = std::function<QFuture<std::optional<QString>>(
        const QUrl& dtd, std::chrono::milliseconds timeout)>;

    struct Options {
        const platform::Kernel* kernel = nullptr; // not owned; must outlive the monitor
        Resolver resolver;                        // empty: the real WorkspaceResolver
        bool pollLoop = true;                     // start sampling at construction
        std::chrono::milliseconds pollInterval{2000};
        // How long a sample waits for a new process's project search before
        // showing it without a project (the answer lands in a later sample).
        std::chrono::milliseconds searchWait{250};
        // How long a process has after SIGTERM before it is offered (a row's
        // button) or sent (endProcesses) SIGKILL.
        std::chrono::milliseconds killGrace{5000};
        // When a row is marked growing.
        GrowthRule::Params growth = {};
    };

    // The real machine, the real daemon client, polling from construction on.
    explicit ProcessMonitor(QObject* parent = nullptr);
    explicit ProcessMonitor(Options options, QObject* parent = nullptr);
    ~ProcessMonitor() override;

    // One sampling cycle. The returned future finishes once the cycle's results
    // are applied (on the owning thread). Never fails.
    QFuture<void> sample();
    // SIGTERM to `process`, then a fresh sample at once. Only while a listed
    // row was measured from that very process: a pid that has since been
    // reused, or is not listed, gets nothing. No confirmation, no result.
    void terminate(const ProcessRef& process) override;
    void endProcesses(const QList<ProcessRef>& processes) override;
    void forceQuit(const ProcessRef& process) override;

    static constexpr std::chrono::milliseconds daemonTimeout{3000};

private:
    void apply(const Reading& reading);
    void startResolutions(const QHash<Pid, QUrl>& dtdByWindow);
    void storeWorkspace(const std::optional<QString>& root, Pid window);
    void pollOnce();
    void sampleSoon();
    const DartProcess* listed(const ProcessRef& process) const;

    const platform::Kernel& m_kernel;
    Resolver m_resolver;
    std::chrono::milliseconds m_pollInterval;
    std::chrono::milliseconds m_killGrace;
    GrowthRule::Params m_growth;
    // One reading at a time: the sampler's caches are the worker's alone.
    QThreadPool m_worker;
    std::unique_ptr<Sampler> m_sampler;
    const QString m_home;

    QHash<Pid, std::optional<QString>> m_workspaceByWindow;
    QSet<Pid> m_resolvingWindows;
    // Rows whose terminate button sent SIGTERM; `due` once the grace is over.
    struct Stop {
        quint64 startTime = 0;
        bool due = false;
    };
    QHash<Pid, Stop> m_stops;
};

} // namespace ombrix
