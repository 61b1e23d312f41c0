#include "GrowthRule.h"

namespace ombrix::GrowthRule {

std::optional<Growth> growth(const UsageSeries& series, const Params& params) {
    if (series.isEmpty()) {
        return std::nullopt;
    }
    const qint64 now = series.lastMs();
    if (now - series.firstSeenMs() < params.watchedMs) {
        return std::nullopt;
    }
    const qint64 split = now - params.windowMs;
    const auto recent = series.lowestMemory(split, now + 1);
    const auto earlier = series.lowestMemory(split - params.windowMs, split);
    if (!recent || !earlier || *recent <= *earlier) {
        return std::nullopt;
    }
    const quint64 rise = *recent - *earlier;
    if (rise < params.minBytes || double(rise) < params.minFraction * double(*earlier)) {
        return std::nullopt;
    }
    return Growth{rise, 2 * params.windowMs / 1000};
}

QString span(qint64 seconds) {
    if (seconds >= 60 && seconds % 60 == 0) {
        const qint64 minutes = seconds / 60;
        return minutes == 1 ? QStringLiteral("1 minute")
                            : QStringLiteral("%1 minutes").arg(minutes);
    }
    return seconds == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(seconds);
}

} // namespace ombrix::GrowthRule
