#pragma once

// Ending a list of processes the user chose: SIGTERM to all of them at once,
// one grace period shared by all, then SIGKILL to each that still runs and
// still is the process named (pid and start time). The window spreads the
// steps over its event loop; the command line blocks through them.

#include "DartProcess.h"
#include "Kernel.h"

#include <QList>
#include <chrono>
#include <vector>

namespace ombrix::Ending {

enum class Outcome {
    Pending,      // signalled, not yet seen to end
    Ended,        // ended after SIGTERM
    Killed,       // needed SIGKILL, and ended
    Gone,         // ended, or its pid went to another process, before any signal
    NotPermitted, // the kernel refused a signal
    StillRunning, // outlived SIGKILL too
    // Its stat could not be read while some process held its pid, so whether
    // it still runs is not known; it got no signal its identity check did not allow.
    Unknown,
};

// "ended", "killed", "gone", "not permitted", "still running", "unknown"
// ("pending" for Pending).
const char* text(Outcome outcome);
// Whether the process may still be running afterwards.
bool leftRunning(Outcome outcome);

// SIGTERM to each; one outcome per process, in order: Pending, Gone,
// NotPermitted or Unknown.
std::vector<Outcome> terminateAll(const platform::ProcessTable& table,
                                  const QList<ProcessRef>& processes);
// Once the grace is over: each Pending one that has ended becomes Ended, the
// others get SIGKILL and become Killed (Ended, if it ended just before), or
// Unknown without SIGKILL when that cannot be told.
void killRemaining(const platform::ProcessTable& table, const QList<ProcessRef>& processes,
                   std::vector<Outcome>& outcomes);

// The whole sequence, blocking: the grace ends early once every one has
// ended; a process that outlives `killWait` after SIGKILL is StillRunning.
std::vector<Outcome> endAll(const platform::ProcessTable& table, const platform::Clock& clock,
                            const QList<ProcessRef>& processes, std::chrono::milliseconds grace,
                            std::chrono::milliseconds killWait = std::chrono::seconds(1));

} // namespace ombrix::Ending
