#pragma once

// Which leftovers and growing processes to tell the desktop about, and when.
// Each process (pid and start time) is told once as a leftover and once when
// it starts growing. One notice at most every `spacing`, for both kinds: the
// first goes out as itself, those that come meanwhile wait and then go out
// together as "N more left running" (or "N more growing", or "N more left
// running or growing"; one alone goes out as itself). Leftovers already there
// at start-up are shown by the views and never told. A family of leftovers
// is told once, under its first leftover's name, and "End" ends all of it.
//
// No clock of its own: the caller passes monotonic milliseconds.

#include "DartProcess.h"

#include <QList>
#include <QSet>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

namespace ombrix {

class LeftoverAlerts {
public:
    struct Notice {
        QString summary;
        QString body;
        QList<ProcessRef> targets;         // what its "End" ends; empty: no action
        std::optional<ProcessRef> details; // whose details its "Details" opens
    };
    // Where a process works, or its pid: the body's first part.
    using Place = std::function<QString(const DartProcess&)>;

    explicit LeftoverAlerts(Place place,
                            std::chrono::milliseconds spacing = std::chrono::seconds(10));

    // `rows`: the table just published; `startUp`: it is the first one sampled.
    // Gives the notice to show now, if any.
    std::optional<Notice> update(const QList<DartProcess>& rows, qint64 nowMs, bool startUp);
    // When update() next has something to give, for a notice held back.
    std::optional<qint64> dueAt() const;

private:
    struct Waiting {
        DartProcess process;
        qint64 since = 0;
        bool growing = false;
        Growth growth = {}; // as first told: it may have stopped since
        // A leftover's family, told with it: the processes it left behind too.
        QList<ProcessRef> family = {};
        quint64 familyBytes = 0;
    };
    std::optional<Notice> take(qint64 nowMs);
    Notice single(const Waiting& waiting) const;

    Place m_place;
    qint64 m_spacing;
    QSet<QPair<Pid, quint64>> m_told;
    QSet<QPair<Pid, quint64>> m_toldGrowing; // while listed
    QList<Waiting> m_waiting;
    std::optional<qint64> m_lastAt;
};

} // namespace ombrix
