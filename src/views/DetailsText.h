#pragma once

// The details of one process as text: the facts shown in its details window,
// line by line, and the plain-text block "Copy Details" puts on the
// clipboard for a bug report (every fact, then memory at one-minute steps).
// Outside text is escaped as the dump escapes it; while paths are masked the
// project and workspace paths show only their last component, wherever they
// appear. Pure.

#include "DartProcess.h"
#include "ProcessFacts.h"
#include "UsageHistory.h"

#include <QList>
#include <QPair>
#include <QString>
#include <optional>
#include <vector>

namespace ombrix::DetailsText {

struct Input {
    DartProcess process;               // its last row
    bool ended = false;                // no longer listed
    std::optional<ProcessFacts> facts; // none while still being read
    bool versionRead = false;          // facts.sdkVersion is final
    std::vector<UsagePoint> points;    // oldest first
    std::optional<qint64> nowUnixMs;   // for "how long ago"
    bool masked = false;
};

// "Also analyzed by Analyzer (VS Code) (31)": the tooltip of a duplicate's mark too.
QString alsoAnalyzedBy(const AlsoAnalyzedBy& by);
// What an analyzer of the whole home folder is told.
QString homeFolderTip();

// The label of the command line, which the window shows in a box of its own.
QString commandLabel();

// "Analyzer (VS Code) (4242)"
QString title(const DartProcess& process);
// Label and value, in the order shown. Unreadable facts read "unknown".
QList<QPair<QString, QString>> facts(const Input& input);
// Memory at each whole minute back from the newest point, oldest first:
// (minutes before the newest, bytes).
QList<QPair<qint64, quint64>> minuteSteps(const std::vector<UsagePoint>& points);
// Title, facts, then the minute steps.
QString report(const Input& input);

// "5 min", "2 h 5 min", "3 d 4 h"; "under a minute" below one.
QString duration(qint64 ms);

} // namespace ombrix::DetailsText
