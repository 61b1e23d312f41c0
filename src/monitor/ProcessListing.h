#pragma once

// The raw process table: one `ps` run and its parse.

#include "DartProcess.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace ombrix::platform {
class Kernel;
const Kernel& systemKernel();
} // namespace ombrix::platform

namespace ombrix {

struct ListedProcess {
    Pid pid = 0;
    QStringList args; // never empty
    friend bool operator==(const ListedProcess&, const ListedProcess&) = default;
};

class ProcessListing {
public:
    // The output of one ps run, or "" when it could not run or was not UTF-8.
    // Blocks until ps exits; call it off the UI thread.
    static QString listProcesses(const platform::Kernel& kernel = platform::systemKernel());
    // Lines of "  PID ARG ARG ..." into (pid, args); malformed lines are dropped.
    static QList<ListedProcess> parse(const QString& psOutput);
};

} // namespace ombrix
