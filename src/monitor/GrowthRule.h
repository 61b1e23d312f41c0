#pragma once

// Whether a process is growing: watched for at least `watchedMs`, and the
// lowest memory of its last `windowMs` exceeds the lowest of the `windowMs`
// before by at least `minBytes` and by at least `minFraction` of that earlier
// lowest. Floors, not peaks, so a spike the collector takes back does not
// count. Pure; the windows end at the series' newest point, so a clock that
// jumps ahead (a suspend) leaves a window empty, and an empty window never
// makes a process growing.

#include "DartProcess.h"
#include "UsageHistory.h"

#include <QString>
#include <optional>

namespace ombrix::GrowthRule {

struct Params {
    qint64 watchedMs = 10 * 60 * 1000;
    qint64 windowMs = 5 * 60 * 1000;
    quint64 minBytes = 256ull << 20;
    double minFraction = 0.2;
};

// The rise of the floor over both windows, when it is growing.
std::optional<Growth> growth(const UsageSeries& series, const Params& params);

// "10 minutes", "1 minute", "90 seconds": the span a Growth covers.
QString span(qint64 seconds);

} // namespace ombrix::GrowthRule
