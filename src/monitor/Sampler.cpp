#include "Sampler.h"

#include "Identification.h"
#include "Kernel.h"
#include "ProcessListing.h"

#include <QSet>
#include <algorithm>

namespace ombrix {

Sampler::Sampler(const platform::Kernel& kernel, std::chrono::milliseconds searchWait,
                 std::string daemonDirectory)
    : m_kernel(kernel)
    , m_searchWait(searchWait)
    , m_searcher(kernel, kernel)
    , m_daemonFiles(std::move(daemonDirectory))
    , m_home(QString::fromStdString(kernel.homeDirectory())) {}

void Sampler::forget(Pid pid) {
    m_previousCPUNanos.remove(pid);
    m_projectCache.remove(pid);
    m_nameCache.remove(pid);
    m_lineage.remove(pid);
    m_searcher.forget(pid);
}

std::vector<const ListingLine*> Sampler::select(const std::vector<const ListingLine*>& lines,
                                                Pid own) {
    std::vector<const ListingLine*> watched;
    for (const ListingLine* line : lines) {
        if (line->watched && line->entry.pid != own) {
            watched.push_back(line);
        }
    }
    return watched;
}

std::optional<DaemonAddress> Sampler::daemonAddress(const ListingLine& line,
                                                    const platform::ProcessTree& tree,
                                                    const ArgumentsOf& args) {
    const auto& value = line.dtdUri;
    if (!value || !value->startsWith(QLatin1String("ws"))) {
        return std::nullopt;
    }
    QUrl url(*value, QUrl::StrictMode);
    if (!url.isValid()) {
        return std::nullopt;
    }
    const auto window = Identification::windowAncestor(line.entry.pid, tree, args);
    if (!window) {
        return std::nullopt;
    }
    return DaemonAddress{window->pid, std::move(url)};
}

QHash<Pid, QUrl> Sampler::collectDaemons(const std::vector<DaemonAddress>& daemons) {
    QHash<Pid, QUrl> byWindow;
    QSet<Pid> conflicting;
    for (const DaemonAddress& address : daemons) {
        const auto existing = byWindow.constFind(address.window);
        if (existing != byWindow.constEnd() && *existing != address.url) {
            conflicting.insert(address.window);
        }
        byWindow.insert(address.window, address.url);
    }
    for (Pid window : conflicting) {
        byWindow.remove(window);
    }
    return byWindow;
}

void Sampler::rank(QList<DartProcess>& rows) {
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
}

Reading Sampler::read(bool anyRoot) {
    Reading reading;
    reading.memory = SystemMemory::sample(m_kernel);

    const QString psOutput = ProcessListing::listProcesses(m_kernel);
    const qint64 now = m_kernel.monotonicNanos();
    const Pid own = m_kernel.ownPid();
    const std::vector<const ListingLine*> lines = m_listing.lines(psOutput);
    const platform::Timebase base = m_kernel.timebase();
    const std::optional<std::uint32_t> ownUser = m_kernel.ownUser();

    const AncestryCache cycle(m_kernel);
    // The ancestors' command lines, from this listing: built once, when a walk first asks.
    QHash<Pid, const QStringList*> listed;
    const ArgumentsOf argsOf = [&lines, &listed](Pid pid) -> const QStringList* {
        if (listed.isEmpty()) {
            listed.reserve(qsizetype(lines.size()));
            for (const ListingLine* line : lines) {
                listed.insert(line->entry.pid, &line->entry.args);
            }
        }
        return listed.value(pid, nullptr);
    };
    for (const ListingLine* line : lines) {
        if (auto address = daemonAddress(*line, cycle, argsOf)) {
            reading.daemons.push_back(std::move(*address));
        }
    }
    // A daemon no process names on its command line still announces itself.
    for (AnnouncedDaemon& daemon : m_daemonFiles.live(m_kernel, m_searchWait)) {
        if (const auto window = Identification::windowAncestor(daemon.pid, cycle, argsOf)) {
            reading.daemons.push_back({window->pid, std::move(daemon.url)});
        }
    }

    QSet<Pid> measured;
    measured.reserve(m_previousCPUNanos.size() + 16);
    reading.rows.reserve(qsizetype(m_previousCPUNanos.size()) + 16);
    std::vector<ProjectSearcher::Request> searches;
    std::vector<Leftovers::Member> members;
    members.reserve(size_t(m_previousCPUNanos.size()) + 16);
    for (const ListingLine* line : select(lines, own)) {
        const ListedProcess& entry = line->entry;
        const auto usage = m_kernel.usage(entry.pid);
        if (!usage) {
            continue; // gone, or not ours to inspect
        }
        if (const auto known = m_startTimes.constFind(entry.pid);
            known != m_startTimes.constEnd() && *known != usage->startTime) {
            forget(entry.pid); // the pid now names another process
        }
        m_startTimes.insert(entry.pid, usage->startTime);
        const quint64 nanos = cpuNanos(*usage, base);
        measured.insert(entry.pid);

        const auto previous = m_previousCPUNanos.constFind(entry.pid);
        const double cpu = previous != m_previousCPUNanos.constEnd()
                               ? cpuPercent(previous->nanos, nanos, now - previous->at)
                               : 0.0;
        m_previousCPUNanos.insert(entry.pid, CpuMark{nanos, now});

        auto identity = m_nameCache.find(entry.pid);
        if (identity == m_nameCache.end()) {
            auto startedBy = Identification::ideAncestor(entry.pid, cycle, argsOf);
            QString name = Identification::displayName(
                entry.args, startedBy ? std::optional<QString>(startedBy->name) : std::nullopt);
            identity =
                m_nameCache.insert(entry.pid, Identity{std::move(name), std::move(startedBy),
                                                       Identification::isAnalyzer(entry.args)});
        }

        if (!m_projectCache.contains(entry.pid) && !m_searcher.searching(entry.pid)) {
            auto cwd = Identification::workingDirectory(entry.pid, m_kernel);
            identity->homeCwd = cwd && (*cwd == u"/" || *cwd == m_home);
            searches.push_back({entry.pid, std::move(cwd), entry.args});
        }

        // Leftovers' rule for whose it is; an owner that cannot be read is not ours.
        const auto owner = usage->owner || !ownUser ? usage->owner : cycle.owner(entry.pid);
        // The name above was fixed while the parent lived, so a leftover keeps its IDE.
        const Leftovers::Sighting sighting{usage->parent ? usage->parent : cycle.parent(entry.pid),
                                           usage->session, owner};
        const bool leftover =
            Leftovers::update(m_lineage[entry.pid], entry.pid, sighting, cycle, ownUser);

        DartProcess row{entry.pid,
                        identity->name,
                        line->executableName,
                        line->commandLine,
                        std::nullopt,
                        std::nullopt,
                        cpu,
                        usage->physFootprint,
                        usage->startTime,
                        leftover};
        row.startedBy = identity->startedBy;
        row.analyzer = identity->analyzer;
        row.ownedByUser = !ownUser || owner == ownUser;
        row.homeCwd = identity->homeCwd;
        members.push_back({{entry.pid, usage->startTime},
                           sighting.parent.value_or(0),
                           leftover,
                           row.ownedByUser});
        reading.rows.append(std::move(row));
    }
    const auto families = Leftovers::families(members);
    for (qsizetype i = 0; i < reading.rows.size(); ++i) {
        if (const auto& head = families[size_t(i)]) {
            reading.rows[i].leftover = true;
            reading.rows[i].family = *head;
        }
    }

    m_searcher.retain(measured);
    m_searcher.start(searches);
    keepAnswers(m_searcher.collect(searches.empty() ? std::chrono::milliseconds(0) : m_searchWait),
                measured);

    for (DartProcess& row : reading.rows) {
        // Still searching: no project yet, and not remembered as none.
        row.projectPath = m_projectCache.value(row.id, std::nullopt);
        // Without a known root no window can lend one, so the ancestor walk is skipped.
        if (!row.projectPath && anyRoot) {
            if (const auto window = Identification::windowAncestor(row.id, cycle, argsOf)) {
                reading.windowOf.insert(row.id, window->pid);
            }
        }
    }

    const auto keepMeasured = [&measured](auto& cache) {
        for (auto it = cache.begin(); it != cache.end();) {
            it = measured.contains(it.key()) ? std::next(it) : cache.erase(it);
        }
    };
    keepMeasured(m_startTimes);
    keepMeasured(m_previousCPUNanos);
    keepMeasured(m_projectCache);
    keepMeasured(m_nameCache);
    keepMeasured(m_lineage);
    return reading;
}

void Sampler::keepAnswers(const ProjectSearcher::Answers& answers, const QSet<Pid>& measured) {
    for (auto it = answers.constBegin(); it != answers.constEnd(); ++it) {
        if (measured.contains(it.key())) {
            m_projectCache.insert(it.key(), it.value());
        }
    }
}

void Sampler::finishSearches(Reading& reading, std::chrono::milliseconds wait) {
    QSet<Pid> measured;
    for (const DartProcess& row : reading.rows) {
        measured.insert(row.id);
    }
    keepAnswers(m_searcher.finish(wait), measured);
    for (DartProcess& row : reading.rows) {
        if (!row.projectPath) {
            row.projectPath = m_projectCache.value(row.id, std::nullopt);
        }
    }
}

} // namespace ombrix
