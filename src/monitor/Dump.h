#pragma once

// The "--dump" mode: one table of the watched processes
// ("pid\tname\tcpu\tmemory\tproject"), printed once. Blocks the calling
// thread for `interval`, then for the longer of `searchGrace` and the
// daemons' waits at most; needs a QCoreApplication, nothing more.

#include "ProcessMonitor.h"

#include <chrono>
#include <cstdio>

namespace ombrix::platform {
class Kernel;
}

namespace ombrix::Dump {

// The two usage readings are this far apart.
inline constexpr std::chrono::microseconds interval{500'000};
// How long past the interval the project searches may take.
inline constexpr std::chrono::milliseconds searchGrace{2000};
// How long one tooling daemon's answer is waited for.
inline constexpr std::chrono::milliseconds daemonWait{5000};

// The real machine and daemon client.
void print(std::FILE* out = stdout);
void print(const platform::Kernel& kernel, const ProcessMonitor::Resolver& resolver,
           std::FILE* out);

// The processes both readings measured, in listing order, each with its last
// field; what print() prints, for callers that choose among them.
struct Line {
    DartProcess process;
    QString place; // the project, "workspace: <root>" or "-"
};
QList<Line> take(const platform::Kernel& kernel, const ProcessMonitor::Resolver& resolver);
// The table line of one process, ended by a line feed.
QByteArray format(const Line& line);

} // namespace ombrix::Dump
