#include "ProcessMonitor.h"

#include "Analyzers.h"
#include "Ending.h"
#include "Kernel.h"
#include "Sampler.h"
#include "ThreadHandoff.h"
#include "WorkspaceResolver.h"

#include <QFutureWatcher>
#include <QPromise>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

namespace ombrix {

namespace {

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
    : MonitorState(parent)
    , m_kernel(options.kernel ? *options.kernel : platform::systemKernel())
    , m_resolver(options.resolver ? std::move(options.resolver)
                                  : Resolver(&WorkspaceResolver::workspaceRoot))
    , m_pollInterval(options.pollInterval)
    , m_killGrace(options.killGrace)
    , m_growth(options.growth)
    , m_sampler(std::make_unique<Sampler>(m_kernel, options.searchWait))
    , m_home(QString::fromStdString(m_kernel.homeDirectory())) {
    m_worker.setMaxThreadCount(1);
    if (options.pollLoop) {
        // The first sample starts once the event loop is free, never inside the constructor.
        QTimer::singleShot(0, this, &ProcessMonitor::pollOnce);
    }
}

ProcessMonitor::~ProcessMonitor() {
    // A reading never waits on a file system, so this is one ps run at most.
    m_worker.clear();
    m_worker.waitForDone();
    platform::takeOver(m_sampler.get());
}

QFuture<void> ProcessMonitor::sample() {
    // Without a known root no window can lend one, so the ancestor walks are skipped.
    const bool anyRoot =
        std::any_of(m_workspaceByWindow.cbegin(), m_workspaceByWindow.cend(),
                    [](const std::optional<QString>& root) { return root.has_value(); });
    Sampler* sampler = m_sampler.get();
    platform::handOff(sampler);
    QFuture<Reading> reading = QtConcurrent::run(&m_worker, [sampler, anyRoot] {
        platform::takeOver(sampler);
        Reading next = sampler->read(anyRoot);
        Sampler::rank(next.rows); // heaviest first, unlike the dump
        platform::handOff(sampler);
        return next;
    });
    // Held by the watcher: a monitor destroyed first leaves the returned future cancelled.
    auto applied = std::make_shared<QPromise<void>>();
    applied->start();
    QFuture<void> done = applied->future();
    whenDone(this, reading, [this, applied, sampler](const QFuture<Reading>& finished) {
        platform::takeOver(sampler);
        if (finished.resultCount() > 0) { // a reading itself never fails
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

const DartProcess* ProcessMonitor::listed(const ProcessRef& process) const {
    const auto row =
        std::find_if(processes().cbegin(), processes().cend(), [&process](const DartProcess& p) {
            return p.id == process.id && p.startTime == process.startTime;
        });
    return row != processes().cend() ? &*row : nullptr;
}

void ProcessMonitor::sampleSoon() {
    // Not from inside the caller: it may be a button of a row this sample removes.
    QTimer::singleShot(0, this, [this] { sample(); });
}

void ProcessMonitor::terminate(const ProcessRef& ref) {
    if (listed(ref)) {
        m_kernel.terminate(ref.id, ref.startTime);
        m_stops.insert(ref.id, Stop{ref.startTime, false});
        // The sample then shows whether it is still there, and offers SIGKILL if so.
        QTimer::singleShot(m_killGrace, this, [this, ref] {
            const auto stop = m_stops.find(ref.id);
            if (stop != m_stops.end() && stop->startTime == ref.startTime) {
                stop->due = true;
                sample();
            }
        });
    }
    sampleSoon();
}

void ProcessMonitor::endProcesses(const QList<ProcessRef>& targets) {
    std::vector<Ending::Outcome> outcomes = Ending::terminateAll(m_kernel, targets);
    // One grace for all of them, counted on the event loop: the window keeps answering.
    QTimer::singleShot(m_killGrace, this, [this, targets, outcomes]() mutable {
        Ending::killRemaining(m_kernel, targets, outcomes);
        sample();
    });
    sampleSoon();
}

void ProcessMonitor::forceQuit(const ProcessRef& ref) {
    const DartProcess* row = listed(ref);
    const auto stop = m_stops.constFind(ref.id);
    if (row && row->ignoredTerminate && stop != m_stops.constEnd() &&
        stop->startTime == ref.startTime) {
        m_kernel.forceQuit(ref.id, ref.startTime);
    }
    sampleSoon();
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

void ProcessMonitor::apply(const Reading& reading) {
    setMemory(reading.memory);
    const SystemMemory& memory = reading.memory;
    appendPressure(memory.physical > 0 ? (double(memory.wired) + double(memory.compressed)) /
                                             double(memory.physical)
                                       : 0.0);

    const QHash<Pid, QUrl> dtdByWindow = Sampler::collectDaemons(reading.daemons);
    startResolutions(dtdByWindow);
    QList<DartProcess> rows = reading.rows;
    for (DartProcess& row : rows) {
        if (const auto window = reading.windowOf.constFind(row.id);
            window != reading.windowOf.constEnd()) {
            row.workspace = m_workspaceByWindow.value(*window, std::nullopt);
        }
    }
    for (auto it = m_workspaceByWindow.begin(); it != m_workspaceByWindow.end();) {
        it = dtdByWindow.contains(it.key()) ? std::next(it) : m_workspaceByWindow.erase(it);
    }
    QHash<Pid, Stop> stops;
    for (DartProcess& row : rows) {
        if (const auto stop = m_stops.constFind(row.id);
            stop != m_stops.constEnd() && stop->startTime == row.startTime) {
            row.ignoredTerminate = stop->due;
            stops.insert(row.id, *stop);
        }
    }
    m_stops = std::move(stops); // a process that ended, or a reused pid, leaves no offer
    Analyzers::mark(rows, m_home);
    publish(std::move(rows), m_kernel.monotonicNanos() / 1'000'000, m_growth);
}

} // namespace ombrix
