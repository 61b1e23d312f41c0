#include "LeftoverCommands.h"

#include "Dump.h"
#include "Ending.h"
#include "Kernel.h"
#include "VisibleText.h"
#include "WorkspaceResolver.h"

#include <QFuture>

namespace ombrix::LeftoverCommands {

namespace {

QList<Dump::Line> leftovers(const platform::Kernel& kernel,
                            const ProcessMonitor::Resolver& resolver) {
    QList<Dump::Line> lines = Dump::take(kernel, resolver);
    lines.removeIf([](const Dump::Line& line) { return !line.process.leftover; });
    return lines;
}

void write(std::FILE* out, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
}

} // namespace

void list(std::FILE* out) {
    list(platform::systemKernel(), &WorkspaceResolver::workspaceRoot, out);
}

void list(const platform::Kernel& kernel, const ProcessMonitor::Resolver& resolver,
          std::FILE* out) {
    for (const Dump::Line& line : leftovers(kernel, resolver)) {
        write(out, Dump::format(line));
    }
    std::fflush(out);
}

int end(std::FILE* out) {
    return end(platform::systemKernel(), out);
}

int end(const platform::Kernel& kernel, std::FILE* out, std::chrono::milliseconds grace) {
    // Their workspaces play no part here: no daemon is asked.
    const ProcessMonitor::Resolver none = [](const QUrl&, std::chrono::milliseconds) {
        return QtFuture::makeReadyFuture(std::optional<QString>());
    };
    const QList<Dump::Line> found = leftovers(kernel, none);
    QList<ProcessRef> targets;
    for (const Dump::Line& line : found) {
        targets.append({line.process.id, line.process.startTime});
    }
    const std::vector<Ending::Outcome> outcomes = Ending::endAll(kernel, kernel, targets, grace);
    int status = 0;
    for (qsizetype i = 0; i < found.size(); ++i) {
        const Ending::Outcome outcome = outcomes[size_t(i)];
        const DartProcess& p = found[i].process;
        write(out, (QString::number(p.id) + u'\t' + visibleText(p.name) + u'\t' +
                    QLatin1String(Ending::text(outcome)) + u'\n')
                       .toUtf8());
        if (Ending::leftRunning(outcome)) {
            status = 1;
        }
    }
    std::fflush(out);
    return status;
}

} // namespace ombrix::LeftoverCommands
