#include "ProcessMonitor.h"

#include "CycleKernel.h"
#include "Kernel.h"
#include "WorkspaceResolver.h"

#include <QFutureWatcher>
#include <QPromise>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

namespace ombrix {

namespace {

ProcessMonitor::Resolver realResolver() {
    return [](const QUrl& dtd, std::chrono::milliseconds timeout) {
        return WorkspaceResolver::workspaceRoot(dtd, timeout);
    };
}

// Calls `f(future)` on `context`'s thread once `future` has finished or been
// cancelled, and never once `context` is gone. The watcher is the weak link:
// it dies with its parent, and a context-bound then() asserts in Qt 6.4 when
// its context dies first.
template <typename T, typename F> void whenDone(QObject* context, const QFuture<T>& future, F f) {
    auto* watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context,
                     [watcher, f = std::move(f)]() mutable {
                         watcher->deleteLater();
                         f(watcher->future());
                     });
    watcher->setFuture(future);
}

} // namespace

ProcessMonitor::ProcessMonitor(QObject* parent)
    : ProcessMonitor(Options{}, parent) {}

ProcessMonitor::ProcessMonitor(Options options, QObject* parent)
    : QObject(parent)
    , m_kernel(options.kernel ? *options.kernel : platform::systemKernel())
    , m_resolver(options.resolver ? std::move(options.resolver) : realResolver())
    , m_pollInterval(options.pollInterval) {
    // One listing at a time per monitor is plenty; overlapping samples queue here.
    m_listingPool.setMaxThreadCount(2);
    if (options.pollLoop) {
        // The first sample starts once the event loop is free, never inside the constructor.
        QTimer::singleShot(0, this, &ProcessMonitor::pollOnce);
    }
}

ProcessMonitor::~ProcessMonitor() {
    m_listingPool.waitForDone();
}

platform::Timebase ProcessMonitor::timebase() {
    static const platform::Timebase base = platform::systemKernel().timebase();
    return base;
}

quint64 ProcessMonitor::totalMemoryBytes() const {
    quint64 total = 0;
    for (const auto& p : m_processes) {
        total += p.memoryBytes;
    }
    return total;
}

quint64 ProcessMonitor::peakMemoryBytes() const {
    quint64 peak = 0;
    for (const auto& p : m_processes) {
        peak = std::max(peak, p.memoryBytes);
    }
    return peak;
}

void ProcessMonitor::setProcesses(QList<DartProcess> processes) {
    if (processes == m_processes) {
        return;
    }
    m_processes = std::move(processes);
    emit processesChanged();
}

void ProcessMonitor::setMemory(const SystemMemory& memory) {
    if (memory == m_memory) {
        return;
    }
    m_memory = memory;
    emit memoryChanged();
}

void ProcessMonitor::appendPressure(double fraction) {
    m_pressureHistory.append(fraction);
    if (m_pressureHistory.size() > historyLimit) {
        m_pressureHistory.remove(0, m_pressureHistory.size() - historyLimit);
    }
    emit pressureHistoryChanged();
}

QFuture<void> ProcessMonitor::sample() {
    const SystemMemory memory = SystemMemory::sample(m_kernel);
    setMemory(memory);
    const double used = memory.physical > 0 ? (double(memory.wired) + double(memory.compressed)) /
                                                  double(memory.physical)
                                            : 0.0;
    appendPressure(used);

    const platform::Kernel* kernel = &m_kernel;
    QFuture<QString> listing = QtConcurrent::run(
        &m_listingPool, [kernel] { return ProcessListing::listProcesses(*kernel); });
    // Held by the watcher: a monitor destroyed first leaves the returned future cancelled.
    auto applied = std::make_shared<QPromise<void>>();
    applied->start();
    QFuture<void> done = applied->future();
    whenDone(this, listing, [this, applied](const QFuture<QString>& finished) {
        if (finished.resultCount() > 0) { // the listing itself never fails
            apply(finished.result());
        }
        applied->finish();
    });
    return done;
}

void ProcessMonitor::pollOnce() {
    // The interval counts from the end of one sample to the start of the next.
    whenDone(this, sample(), [this](const QFuture<void>&) {
        QTimer::singleShot(m_pollInterval, this, &ProcessMonitor::pollOnce);
    });
}

void ProcessMonitor::terminate(Pid pid) {
    m_kernel.terminate(pid);
    QTimer::singleShot(0, this, [this] { sample(); });
}

QHash<Pid, QUrl> ProcessMonitor::collectDaemons(const std::vector<const ListingLine*>& lines,
                                                const platform::Kernel& kernel) {
    QHash<Pid, QUrl> byWindow;
    QSet<Pid> conflicting;
    for (const ListingLine* line : lines) {
        const auto& value = line->dtdUri;
        if (!value || !value->startsWith(QLatin1String("ws"))) {
            continue;
        }
        const QUrl url(*value, QUrl::StrictMode);
        if (!url.isValid()) {
            continue;
        }
        const auto window = ideAncestor(line->entry.pid, kernel);
        if (!window) {
            continue;
        }
        const auto existing = byWindow.constFind(window->pid);
        if (existing != byWindow.constEnd() && *existing != url) {
            conflicting.insert(window->pid);
        }
        byWindow.insert(window->pid, url);
    }
    for (Pid window : conflicting) {
        byWindow.remove(window);
    }
    return byWindow;
}

void ProcessMonitor::startResolutions(const QHash<Pid, QUrl>& dtdByWindow) {
    for (auto it = dtdByWindow.constBegin(); it != dtdByWindow.constEnd(); ++it) {
        const Pid window = it.key();
        if (m_workspaceByWindow.contains(window) || m_resolvingWindows.contains(window)) {
            continue;
        }
        m_resolvingWindows.insert(window);
        // A failed or cancelled query is an empty answer.
        whenDone(this, m_resolver(it.value(), daemonTimeout),
                 [this, window](const QFuture<std::optional<QString>>& answer) {
                     storeWorkspace(answer.resultCount() > 0 ? answer.result() : std::nullopt,
                                    window);
                 });
    }
}

void ProcessMonitor::storeWorkspace(const std::optional<QString>& root, Pid window) {
    m_resolvingWindows.remove(window);
    m_workspaceByWindow.insert(window, root);
    if (root) {
        sample();
    }
}

void ProcessMonitor::apply(const QString& psOutput) {
    const qint64 now = m_kernel.monotonicNanos();
    const Pid own = m_kernel.ownPid();
    const std::vector<const ListingLine*> lines = m_listing.lines(psOutput);
    const platform::Timebase base = m_kernel.timebase();

    const CycleKernel cycle(m_kernel);
    const QHash<Pid, QUrl> dtdByWindow = collectDaemons(lines, cycle);
    startResolutions(dtdByWindow);

    // Without a known root no window can lend one, so the ancestor walks are skipped.
    const bool anyRoot =
        std::any_of(m_workspaceByWindow.cbegin(), m_workspaceByWindow.cend(),
                    [](const std::optional<QString>& root) { return root.has_value(); });

    QSet<Pid> measured;
    measured.reserve(m_previousCPUNanos.size() + 16);
    QList<DartProcess> rows;
    rows.reserve(m_processes.size() + 16);
    for (const ListingLine* line : lines) {
        const ListedProcess& entry = line->entry;
        if (entry.pid == own || !line->watched) {
            continue;
        }
        const auto usage = m_kernel.usage(entry.pid);
        if (!usage) {
            continue; // gone, or not ours to inspect
        }
        const quint64 nanos = usage->cpuTime * base.numer / (base.denom ? base.denom : 1);
        measured.insert(entry.pid);

        double cpu = 0;
        const auto previous = m_previousCPUNanos.constFind(entry.pid);
        if (previous != m_previousCPUNanos.constEnd() && nanos >= previous->nanos) {
            const double elapsed = double(now - previous->at);
            if (elapsed > 0) {
                cpu = double(nanos - previous->nanos) / elapsed * 100.0;
            }
        }
        m_previousCPUNanos.insert(entry.pid, CpuMark{nanos, now});

        std::optional<QString> project;
        if (const auto cached = m_projectCache.constFind(entry.pid);
            cached != m_projectCache.constEnd()) {
            project = *cached;
        } else {
            project = projectRoot(workingDirectory(entry.pid, m_kernel), entry.args, {}, m_kernel);
            m_projectCache.insert(entry.pid, project);
        }

        QString name;
        if (const auto cached = m_nameCache.constFind(entry.pid);
            cached != m_nameCache.constEnd()) {
            name = *cached;
        } else {
            const auto ide = ideAncestor(entry.pid, cycle);
            name = displayName(entry.args, ide ? std::optional<QString>(ide->name) : std::nullopt);
            m_nameCache.insert(entry.pid, name);
        }

        std::optional<QString> workspace;
        if (!project && anyRoot) {
            if (const auto window = ideAncestor(entry.pid, cycle)) {
                workspace = m_workspaceByWindow.value(window->pid, std::nullopt);
            }
        }

        rows.append(DartProcess{entry.pid, name, line->executableName, line->commandLine, project,
                                workspace, cpu, usage->physFootprint});
    }

    const auto keepMeasured = [&measured](auto& cache) {
        for (auto it = cache.begin(); it != cache.end();) {
            it = measured.contains(it.key()) ? std::next(it) : cache.erase(it);
        }
    };
    keepMeasured(m_previousCPUNanos);
    keepMeasured(m_projectCache);
    keepMeasured(m_nameCache);
    for (auto it = m_workspaceByWindow.begin(); it != m_workspaceByWindow.end();) {
        it = dtdByWindow.contains(it.key()) ? std::next(it) : m_workspaceByWindow.erase(it);
    }

    quint64 peak = 0;
    for (const auto& row : rows) {
        peak = std::max(peak, row.memoryBytes);
    }
    const auto weight = [peak](const DartProcess& p) {
        return std::min(p.cpuPercent / 100.0, 1.0) +
               (peak > 0 ? double(p.memoryBytes) / double(peak) : 0.0);
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const DartProcess& a, const DartProcess& b) {
        const double wa = weight(a);
        const double wb = weight(b);
        if (wa != wb) {
            return wa > wb;
        }
        return a.id < b.id;
    });
    setProcesses(std::move(rows));
}

} // namespace ombrix
