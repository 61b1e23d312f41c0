#pragma once

// The raw process table: one `ps` run and its parse.

#include "DartProcess.h"
#include "Kernel.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace ombrix {

struct ListedProcess {
    Pid pid = 0;
    QStringList args; // never empty
    friend bool operator==(const ListedProcess&, const ListedProcess&) = default;
};

namespace ProcessListing {

// The output of one ps run, or "" when it could not run or was not UTF-8.
// Blocks until ps exits; call it off the UI thread.
QString listProcesses(const platform::ProcessTable& table = platform::systemKernel());
// Lines of "  PID ARG ARG ..." into (pid, args); malformed lines are dropped.
QList<ListedProcess> parse(const QString& psOutput);
// One line of that output (no line break in it), or nothing when malformed.
std::optional<ListedProcess> parseLine(QStringView line);
// Calls `f(line)` for each non-empty line of `psOutput`, in order.
template <typename F> void forEachLine(QStringView psOutput, F f) {
    for (qsizetype at = 0; at < psOutput.size();) {
        qsizetype end = psOutput.indexOf(u'\n', at);
        if (end < 0) {
            end = psOutput.size();
        }
        if (end > at) {
            f(psOutput.sliced(at, end - at));
        }
        at = end + 1;
    }
}
} // namespace ProcessListing

} // namespace ombrix
