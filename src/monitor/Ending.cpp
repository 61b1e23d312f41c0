#include "Ending.h"

#include <algorithm>

namespace ombrix::Ending {

namespace {

// Often enough that the command ends soon after its last process, seldom
// enough that 500 of them cost little: one stat read each per round.
constexpr std::int64_t pollMicros = 50'000;

// Marks the Pending ones that have ended as Ended, until none is left or the
// clock reaches `deadline`. One that cannot be read stays Pending: it may be
// readable again by then.
void await(const platform::ProcessTable& table, const platform::Clock& clock,
           const QList<ProcessRef>& processes, std::vector<Outcome>& outcomes,
           std::int64_t deadline) {
    for (;;) {
        bool any = false;
        for (qsizetype i = 0; i < processes.size(); ++i) {
            if (outcomes[size_t(i)] == Outcome::Pending) {
                if (table.liveness(processes[i].id, processes[i].startTime) ==
                    platform::Liveness::Ended) {
                    outcomes[size_t(i)] = Outcome::Ended;
                } else {
                    any = true;
                }
            }
        }
        const std::int64_t left = deadline - clock.monotonicNanos();
        if (!any || left <= 0) {
            return;
        }
        clock.sleepMicroseconds(std::min(pollMicros, left / 1000 + 1));
    }
}

} // namespace

const char* text(Outcome outcome) {
    switch (outcome) {
    case Outcome::Pending:
        return "pending";
    case Outcome::Ended:
        return "ended";
    case Outcome::Killed:
        return "killed";
    case Outcome::Gone:
        return "gone";
    case Outcome::NotPermitted:
        return "not permitted";
    case Outcome::StillRunning:
        return "still running";
    case Outcome::Unknown:
        return "unknown";
    }
    return "";
}

bool leftRunning(Outcome outcome) {
    return outcome == Outcome::Pending || outcome == Outcome::NotPermitted ||
           outcome == Outcome::StillRunning || outcome == Outcome::Unknown;
}

std::vector<Outcome> terminateAll(const platform::ProcessTable& table,
                                  const QList<ProcessRef>& processes) {
    std::vector<Outcome> outcomes;
    outcomes.reserve(size_t(processes.size()));
    for (const ProcessRef& ref : processes) {
        switch (table.terminate(ref.id, ref.startTime)) {
        case platform::Signalled::Sent:
            outcomes.push_back(Outcome::Pending);
            break;
        case platform::Signalled::Gone:
            outcomes.push_back(Outcome::Gone);
            break;
        case platform::Signalled::NotPermitted:
            outcomes.push_back(Outcome::NotPermitted);
            break;
        case platform::Signalled::Unknown:
            outcomes.push_back(Outcome::Unknown);
            break;
        }
    }
    return outcomes;
}

void killRemaining(const platform::ProcessTable& table, const QList<ProcessRef>& processes,
                   std::vector<Outcome>& outcomes) {
    for (qsizetype i = 0; i < processes.size(); ++i) {
        Outcome& outcome = outcomes[size_t(i)];
        if (outcome != Outcome::Pending) {
            continue;
        }
        const ProcessRef& ref = processes[i];
        const platform::Liveness now = table.liveness(ref.id, ref.startTime);
        if (now != platform::Liveness::Running) {
            outcome = now == platform::Liveness::Ended ? Outcome::Ended : Outcome::Unknown;
            continue;
        }
        // The kernel's identity check again: one that ended meanwhile and
        // left its pid to another gets nothing.
        switch (table.forceQuit(ref.id, ref.startTime)) {
        case platform::Signalled::Sent:
            outcome = Outcome::Killed;
            break;
        case platform::Signalled::Gone:
            outcome = Outcome::Ended;
            break;
        case platform::Signalled::NotPermitted:
            outcome = Outcome::NotPermitted;
            break;
        case platform::Signalled::Unknown:
            outcome = Outcome::Unknown;
            break;
        }
    }
}

std::vector<Outcome> endAll(const platform::ProcessTable& table, const platform::Clock& clock,
                            const QList<ProcessRef>& processes, std::chrono::milliseconds grace,
                            std::chrono::milliseconds killWait) {
    const std::int64_t start = clock.monotonicNanos();
    std::vector<Outcome> outcomes = terminateAll(table, processes);
    await(table, clock, processes, outcomes, start + std::chrono::nanoseconds(grace).count());
    killRemaining(table, processes, outcomes);
    // SIGKILL is not instant either: a process in the middle of a system call ends after it.
    std::vector<Outcome> dying(outcomes.size(), Outcome::Ended);
    for (size_t i = 0; i < outcomes.size(); ++i) {
        if (outcomes[i] == Outcome::Killed) {
            dying[i] = Outcome::Pending;
        }
    }
    await(table, clock, processes, dying,
          clock.monotonicNanos() + std::chrono::nanoseconds(killWait).count());
    for (size_t i = 0; i < outcomes.size(); ++i) {
        if (dying[i] == Outcome::Pending) {
            const ProcessRef& ref = processes[qsizetype(i)];
            switch (table.liveness(ref.id, ref.startTime)) {
            case platform::Liveness::Running:
                outcomes[i] = Outcome::StillRunning;
                break;
            case platform::Liveness::Unknown:
                outcomes[i] = Outcome::Unknown;
                break;
            case platform::Liveness::Ended:
                break; // just after the wait
            }
        }
    }
    return outcomes;
}

} // namespace ombrix::Ending
