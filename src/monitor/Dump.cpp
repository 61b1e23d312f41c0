// Two readings of one Sampler, half a second apart, as the window's cycle
// takes them. What differs from the window, by design, is all here:
// - the rows keep listing order: nothing is ranked;
// - the tooling daemons are asked one by one, every address in turn, until
//   its window has an answer;
// - an empty answer is not kept, so a window's next address is still asked;
// - only processes both readings saw are printed: the others have no CPU figure;
// - the project searches get a grace past the second reading, and one that
//   has not ended by then prints as none.

#include "Dump.h"

#include "Kernel.h"
#include "Sampler.h"
#include "ValueText.h"
#include "VisibleText.h"
#include "WorkspaceResolver.h"

#include <QSemaphore>
#include <QSet>
#include <algorithm>
#include <memory>
#include <mutex>

namespace ombrix::Dump {

namespace {

// Written by the query's thread, read once by the blocked dump; a late answer
// lands here after the dump has moved on and is simply dropped with it.
struct AnswerHolder {
    std::mutex mutex;
    std::optional<QString> root;
    QSemaphore done;
};

QHash<Pid, QString> askDaemons(const std::vector<DaemonAddress>& daemons,
                               const ProcessMonitor::Resolver& resolver) {
    QHash<Pid, QString> workspaces;
    for (const DaemonAddress& address : daemons) {
        if (workspaces.contains(address.window)) {
            continue;
        }
        auto holder = std::make_shared<AnswerHolder>();
        resolver(address.url, ProcessMonitor::daemonTimeout)
            .then([holder](const std::optional<QString>& root) {
                {
                    std::lock_guard lock(holder->mutex);
                    holder->root = root;
                }
                holder->done.release();
            });
        holder->done.tryAcquire(1, int(daemonWait.count()));
        std::lock_guard lock(holder->mutex);
        if (holder->root) {
            workspaces.insert(address.window, *holder->root);
        }
    }
    return workspaces;
}

} // namespace

void print(std::FILE* out) {
    print(platform::systemKernel(), &WorkspaceResolver::workspaceRoot, out);
}

QList<Line> take(const platform::Kernel& kernel, const ProcessMonitor::Resolver& resolver) {
    // The searches run in the kernel's prober while the dump sleeps: a file
    // system that stops answering costs its process the project, and the dump
    // at most the grace, never its exit.
    Sampler sampler(kernel, std::chrono::milliseconds(0));
    QSet<ProcessRef> firstSeen;
    for (const DartProcess& row : sampler.read(false).rows) {
        firstSeen.insert({row.id, row.startTime});
    }
    const qint64 sleepStart = kernel.monotonicNanos();
    kernel.sleepMicroseconds(interval.count());
    // Read before waiting on anything: a hung mount or a slow daemon must not
    // stretch the interval that the CPU column is measured over.
    Reading reading = sampler.read(true);

    const QHash<Pid, QString> workspaces = askDaemons(reading.daemons, resolver);
    const qint64 searchEnd = sleepStart + std::chrono::nanoseconds(interval).count() +
                             std::chrono::nanoseconds(searchGrace).count();
    sampler.finishSearches(reading, std::chrono::milliseconds(std::max<qint64>(
                                        0, (searchEnd - kernel.monotonicNanos()) / 1'000'000)));

    QList<Line> lines;
    for (const DartProcess& row : reading.rows) {
        if (!firstSeen.contains({row.id, row.startTime})) {
            continue; // started since the first reading: nothing was measured
        }
        QString last = QStringLiteral("-");
        if (row.projectPath) {
            last = *row.projectPath;
        } else if (const auto window = reading.windowOf.constFind(row.id);
                   window != reading.windowOf.constEnd() && workspaces.contains(*window)) {
            last = QStringLiteral("workspace: ") + workspaces.value(*window);
        }
        lines.append({row, last});
    }
    return lines;
}

QByteArray format(const Line& line) {
    const DartProcess& row = line.process;
    // Concatenated, not chained arg(): a name holding "%2" must print as written.
    // Names and paths are escaped: a tab or line feed in them must not forge a field or a line.
    const QString text = QString::number(row.id) + u'\t' + visibleText(row.name) + u'\t' +
                         ValueText::cpu(row.cpuPercent) + u'\t' +
                         ValueText::bytes(row.memoryBytes) + u'\t' + visibleText(line.place) +
                         u'\n';
    return text.toUtf8();
}

void print(const platform::Kernel& kernel, const ProcessMonitor::Resolver& resolver,
           std::FILE* out) {
    for (const Line& line : take(kernel, resolver)) {
        const QByteArray bytes = format(line);
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    }
    std::fflush(out);
}

} // namespace ombrix::Dump
