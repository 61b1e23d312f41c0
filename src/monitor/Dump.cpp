// The "--dump" mode: one listing, one pass of workspace queries, two usage
// readings half a second apart, one tab-separated line per process.

#include "AncestryCache.h"
#include "Identification.h"
#include "Kernel.h"
#include "ListingMemo.h"
#include "ProcessListing.h"
#include "ProcessMonitor.h"
#include "ProjectSearcher.h"
#include "Sampler.h"
#include "ValueText.h"
#include "VisibleText.h"
#include "WorkspaceResolver.h"

#include <QSemaphore>
#include <memory>
#include <mutex>

namespace ombrix {

namespace {

// Written by the query's thread, read once by the blocked dump; a late answer
// lands here after the dump has moved on and is simply dropped with it.
struct AnswerHolder {
    std::mutex mutex;
    std::optional<QString> root;
    QSemaphore done;
};

} // namespace

void ProcessMonitor::dumpOnce(std::FILE* out) {
    dumpOnce(platform::systemKernel(), &WorkspaceResolver::workspaceRoot, out);
}

void ProcessMonitor::dumpOnce(const platform::Kernel& kernel, const Resolver& resolver,
                              std::FILE* out) {
    ListingMemo memo;
    const std::vector<const ListingLine*> lines = memo.lines(ProcessListing::listProcesses(kernel));
    const AncestryCache cycle(kernel); // one dump, one view of the process tree
    const platform::Timebase base = kernel.timebase();
    const std::vector<const ListingLine*> selected = Sampler::select(lines, kernel.ownPid());

    // Every daemon address in turn, until its window has an answer.
    QHash<Pid, QString> workspaces;
    for (const ListingLine* line : lines) {
        const auto address = Sampler::daemonAddress(*line, cycle);
        if (!address || workspaces.contains(address->window)) {
            continue;
        }
        auto holder = std::make_shared<AnswerHolder>();
        resolver(address->url, daemonTimeout).then([holder](const std::optional<QString>& root) {
            {
                std::lock_guard lock(holder->mutex);
                holder->root = root;
            }
            holder->done.release();
        });
        holder->done.tryAcquire(1, 5000);
        std::lock_guard lock(holder->mutex);
        if (holder->root) {
            workspaces.insert(address->window, *holder->root);
        }
    }

    QHash<Pid, quint64> first;
    const qint64 firstAt = kernel.monotonicNanos();
    for (const ListingLine* line : selected) {
        if (const auto usage = kernel.usage(line->entry.pid)) {
            first.insert(line->entry.pid, Sampler::cpuNanos(*usage, base));
        }
    }

    // The project searches run while the dump sleeps, in the kernel's prober:
    // a file system that stops answering costs its process the project, and
    // the dump at most the grace, never its exit.
    ProjectSearcher searcher(kernel);
    std::vector<ProjectSearcher::Request> requests;
    for (const ListingLine* line : selected) {
        const ListedProcess& entry = line->entry;
        requests.push_back(
            {entry.pid, Identification::workingDirectory(entry.pid, kernel), entry.args});
    }
    searcher.start(requests);

    const qint64 sleepStart = kernel.monotonicNanos();
    kernel.sleepMicroseconds(dumpInterval.count());
    // Read before waiting on the searches: a hung mount must not stretch the
    // interval that the CPU column is measured over.
    const qint64 secondAt = kernel.monotonicNanos();
    QHash<Pid, platform::ProcessUsage> second;
    for (const ListingLine* line : selected) {
        if (const auto usage = kernel.usage(line->entry.pid)) {
            second.insert(line->entry.pid, *usage);
        }
    }

    ProjectSearcher::Answers projects = searcher.collect(std::chrono::milliseconds(0));
    const qint64 searchEnd = sleepStart + std::chrono::nanoseconds(dumpInterval).count() +
                             std::chrono::nanoseconds(dumpSearchGrace).count();
    while (!searcher.idle()) {
        const qint64 left = searchEnd - kernel.monotonicNanos();
        if (left <= 0) {
            break;
        }
        projects.insert(searcher.collect(
            std::chrono::milliseconds(std::min<qint64>(left / 1'000'000 + 1, 250))));
    }

    for (const ListingLine* line : selected) {
        const ListedProcess& entry = line->entry;
        const auto usage = second.constFind(entry.pid);
        if (usage == second.constEnd()) {
            continue;
        }
        const auto before = first.constFind(entry.pid);
        const double cpu =
            before != first.constEnd()
                ? Sampler::cpuPercent(*before, Sampler::cpuNanos(*usage, base), secondAt - firstAt)
                : 0.0;
        const auto ide = Identification::ideAncestor(entry.pid, cycle);
        const QString name = Identification::displayName(
            entry.args, ide ? std::optional<QString>(ide->name) : std::nullopt);
        // A search that has not ended counts as one that found nothing.
        const auto project = projects.value(entry.pid, std::nullopt);
        QString last = QStringLiteral("-");
        if (project) {
            last = *project;
        } else if (ide && workspaces.contains(ide->pid)) {
            last = QStringLiteral("workspace: ") + workspaces.value(ide->pid);
        }
        // Concatenated, not chained arg(): a name holding "%2" must print as written.
        // Names and paths are escaped: a tab or line feed in them must not forge a field or a line.
        const QString text = QString::number(entry.pid) + u'\t' + visibleText(name) + u'\t' +
                             ValueText::cpu(cpu) + u'\t' + ValueText::bytes(usage->physFootprint) +
                             u'\t' + visibleText(last) + u'\n';
        const QByteArray bytes = text.toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    }
    std::fflush(out);
}

} // namespace ombrix
