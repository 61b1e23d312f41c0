#include "GrowthRule.h"

#include "FakeMonitor.h"
#include "NamedRow.h"
#include "UsageHistory.h"

#include <functional>
#include <gtest/gtest.h>

namespace ombrix {
namespace {

constexpr quint64 MiB = 1ull << 20;
constexpr qint64 minute = 60'000;

// One process sampled every 2 s on an injected clock for `minutes`, its memory
// a function of the minute; the rule's verdict after the last sample.
struct RuleCase {
    const char* name;
    double minutes;
    std::function<double(double minute)> mib;
    std::optional<quint64> grewMiB;
    qint64 jumpBeforeLastMs = 0; // the clock leaps (a suspend) before the last sample
    double restartsAt = -1;      // from this minute the pid is another process
    OMBRIX_NAMED_ROW(RuleCase)
};

const RuleCase kRules[] = {
    {"Steady", 15, [](double) { return 1024.0; }, std::nullopt},
    {"SpikeTakenBack", 15, [](double m) { return m > 10 && int(m * 3) % 3 == 0 ? 4096.0 : 1024.0; },
     std::nullopt},
    {"SlowRise", 15, [](double m) { return 1024 + 10 * m; }, std::nullopt},
    {"LargeButProportionallySlow", 15, [](double m) { return 10240 + 60 * m; }, std::nullopt},
    {"FastRise", 15, [](double m) { return 1024 + 100 * m; }, 500},
    {"FastRiseThenFlat", 25, [](double m) { return 1024 + 100 * std::min(m, 14.0); }, std::nullopt},
    {"TooYoung", 9.9, [](double m) { return 1024 + 100 * m; }, std::nullopt},
    {"SuspendLeavesAWindowEmpty", 15, [](double m) { return 1024 + 100 * m; }, std::nullopt,
     30 * minute},
    {"EndedAndPidReused", 15, [](double m) { return 1024 + 100 * m; }, std::nullopt, 0, 8},
};

class GrowthRuleTest : public ::testing::TestWithParam<RuleCase> {};

TEST_P(GrowthRuleTest, MarksARisingFloorOnly) {
    const RuleCase& c = GetParam();
    testing::FakeMonitor monitor;
    DartProcess p = testing::process(42, QStringLiteral("Analyzer"));
    qint64 at = 1'000'000;
    const int samples = int(c.minutes * 30) + 1;
    for (int i = 0; i < samples; ++i) {
        const double m = i / 30.0;
        p.startTime = c.restartsAt >= 0 && m >= c.restartsAt ? 2 : 1;
        p.memoryBytes = quint64(c.mib(m) * double(MiB));
        if (i == samples - 1) {
            at += c.jumpBeforeLastMs;
        }
        monitor.publish({p}, at);
        at += 2000;
    }
    const std::optional<Growth> growth = monitor.processes().first().growth;
    ASSERT_EQ(growth.has_value(), c.grewMiB.has_value());
    if (growth) {
        EXPECT_EQ(growth->bytes, *c.grewMiB * MiB);
        EXPECT_EQ(growth->seconds, 600);
    }
    EXPECT_EQ(monitor.history().count(), 1) << "an ended process leaves no series";
}

INSTANTIATE_TEST_SUITE_P(Cases, GrowthRuleTest, ::testing::ValuesIn(kRules),
                         ombrix::testing::RowName());

TEST(UsageHistory, KeepsAnHourThinsPastTenMinutesAndStaysBounded) {
    UsageHistory history;
    DartProcess p = testing::process(7, QStringLiteral("Dart"), 3.5, 100 * MiB);
    qint64 at = 0;
    for (; at <= 90 * minute; at += 2100) {
        history.record({p}, at);
    }
    history.record({p}, at - 500); // an extra sample soon after the last: it takes its place
    const qint64 last = history.series({7, 0})->lastMs();
    history.record({p}, 0); // a clock that went back counts as standing still
    EXPECT_EQ(history.series({7, 0})->lastMs(), last);
    const auto points = history.series({7, 0})->points();
    ASSERT_FALSE(points.empty());
    EXPECT_LE(points.size(), 10 * 60 / 2 + 50 * 6 + 2);
    EXPECT_GE(points.front().atMs, points.back().atMs - 60 * minute);
    for (size_t i = 1; i < points.size(); ++i) {
        const qint64 step = points[i].atMs - points[i - 1].atMs;
        EXPECT_GE(step, points[i].atMs < points.back().atMs - 10 * minute ? 10'000 : 2000);
    }
    EXPECT_EQ(points.back().memoryBytes, 100 * MiB);
    EXPECT_FLOAT_EQ(float(points.back().cpuPercent), 3.5f);
    EXPECT_EQ(history.series({7, 0})->firstSeenMs(), 0)
        << "watched since, though that point is gone";

    history.record({}, at);
    EXPECT_EQ(history.series({7, 0}), nullptr);
}

// Samples in turn, each the pids listed (100 and above another user's); the
// pids that have a series afterwards, with room for three.
struct BoundCase {
    const char* name;
    std::vector<std::vector<Pid>> samples;
    std::vector<Pid> tracked;
    OMBRIX_NAMED_ROW(BoundCase)
};
const BoundCase kBounds[] = {
    {"AnotherUsersGetNone", {{100, 1, 101, 102, 2}}, {1, 2}},
    {"NewcomersWaitForRoom", {{1, 2, 3}, {4, 1, 2, 3}}, {1, 2, 3}},
    {"AnEndedOneMakesRoomInTheSameSample", {{1, 2, 3}, {2, 4, 5, 3}}, {2, 3, 4}},
};
class HistoryBoundTest : public ::testing::TestWithParam<BoundCase> {};

TEST_P(HistoryBoundTest, KeepsOnlyOursAndNoMoreThanTheLimit) {
    UsageHistory history({}, 3);
    qint64 at = 0;
    for (const std::vector<Pid>& pids : GetParam().samples) {
        QList<DartProcess> rows;
        for (const Pid pid : pids) {
            rows.append(testing::process(pid, {}));
            rows.back().ownedByUser = pid < 100;
        }
        history.record(rows, at += 2000);
    }
    std::vector<Pid> tracked;
    for (Pid pid = 0; pid < 200; ++pid) {
        if (const UsageSeries* series = history.series({pid, 0})) {
            tracked.push_back(pid);
            EXPECT_EQ(series->lastMs(), at) << pid << " goes on while tracked";
        }
    }
    EXPECT_EQ(tracked, GetParam().tracked);
}
INSTANTIATE_TEST_SUITE_P(Cases, HistoryBoundTest, ::testing::ValuesIn(kBounds),
                         ombrix::testing::RowName());

TEST(GrowthRule, SpanReadsAsTheUserSaysIt) {
    EXPECT_EQ(GrowthRule::span(600), "10 minutes");
    EXPECT_EQ(GrowthRule::span(60), "1 minute");
    EXPECT_EQ(GrowthRule::span(90), "90 seconds");
}

} // namespace
} // namespace ombrix
