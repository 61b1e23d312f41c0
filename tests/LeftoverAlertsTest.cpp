#include "LeftoverAlerts.h"

#include "NamedRow.h"

#include <gtest/gtest.h>

namespace ombrix {
namespace {

// One table after another: at `atMs`, these pids are listed as leftovers
// (each at 1 MiB, started at its pid), and what is told then.
struct Tick {
    qint64 atMs;
    std::vector<Pid> leftovers;
    const char* told; // summary, or "" for nothing
    bool startUp = false;
    std::vector<Pid> growing = {};
    const char* body = nullptr; // checked where given
};
struct AlertCase {
    const char* name;
    std::vector<Tick> ticks;
    OMBRIX_NAMED_ROW(AlertCase)
};

const AlertCase kCases[] = {
    {"StartUpLeftoversAreNotTold", {{0, {10, 11}, "", true}, {2000, {10, 11}, ""}}},
    {"OneNewLeftover", {{0, {}, "", true}, {2000, {10}, "p10 was left running"}, {4000, {10}, ""}}},
    {"ABurstIsOneNoticeThenTheRestFolded",
     {{0, {}, "", true},
      {2000, {10, 11, 12}, "p10 was left running"},
      {4000, {10, 11, 12}, ""},
      {12000, {10, 11, 12}, "2 more left running"},
      {14000, {10, 11, 12}, ""}}},
    {"OneHeldBackGoesOutAsItself",
     {{0, {}, "", true},
      {2000, {10}, "p10 was left running"},
      {5000, {10, 11}, ""},
      {12000, {10, 11}, "p11 was left running"}}},
    {"EndedWhileHeldBackIsNotTold",
     {{0, {}, "", true},
      {2000, {10}, "p10 was left running"},
      {5000, {10, 11}, ""},
      {8000, {10}, ""},
      {12000, {10}, ""}}},
    {"GrowingIsToldOnceAndSharesTheSpacing",
     {{0, {}, "", true},
      {2000, {10}, "p10 was left running"},
      {4000, {10}, "", false, {20}},
      {12000, {10}, "p20 is growing", false, {20}},
      {30000, {10}, "", false, {20}}}},
    {"ABurstOfBothKindsIsFoldedTogether",
     {{0, {}, "", true},
      {2000, {10, 11, 12}, "p10 was left running", false, {20}},
      {12000, {10, 11, 12}, "3 more left running or growing", false, {20}}}},
    {"AFoldedBodyNamesFiveThenCounts",
     {{0, {}, "", true},
      {2000, {10, 11, 12, 13, 14, 15, 16, 17}, "p10 was left running"},
      {12000,
       {10, 11, 12, 13, 14, 15, 16, 17},
       "7 more left running",
       false,
       {},
       "p11, p12, p13, p14, p15 and 2 more \u00b7 7 MB"}}},
    {"SpacedApartEachIsItsOwn",
     {{0, {}, "", true},
      {2000, {10}, "p10 was left running"},
      {30000, {10, 11}, "p11 was left running"}}},
};

class LeftoverAlertsTest : public ::testing::TestWithParam<AlertCase> {};

TEST_P(LeftoverAlertsTest, TellsEachOnceAndSpacesThem) {
    LeftoverAlerts alerts([](const DartProcess& p) { return QStringLiteral("pid %1").arg(p.id); });
    for (const Tick& tick : GetParam().ticks) {
        QList<DartProcess> rows;
        for (Pid pid : tick.leftovers) {
            DartProcess p;
            p.id = pid;
            p.name = QStringLiteral("p%1").arg(pid);
            p.startTime = quint64(pid);
            p.memoryBytes = 1 << 20;
            p.leftover = true;
            rows.append(p);
        }
        for (Pid pid : tick.growing) {
            DartProcess p;
            p.id = pid;
            p.name = QStringLiteral("p%1").arg(pid);
            p.growth = Growth{300ull << 20, 600};
            rows.append(p);
        }
        const auto notice = alerts.update(rows, tick.atMs, tick.startUp);
        EXPECT_EQ(notice ? notice->summary : QString(), QString::fromUtf8(tick.told))
            << "at " << tick.atMs << " ms";
        if (tick.body) {
            EXPECT_EQ(notice ? notice->body : QString(), QString::fromUtf8(tick.body));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LeftoverAlertsTest, ::testing::ValuesIn(kCases),
                         ombrix::testing::RowName());

TEST(LeftoverAlerts, ANoticeSaysWhereAndHowMuchAndEndsOnlyItsProcess) {
    LeftoverAlerts alerts([](const DartProcess&) { return QStringLiteral("~/code/app"); });
    const auto analyzer = [](Pid id) {
        DartProcess a;
        a.id = id;
        a.name = QStringLiteral("Analyzer (VS Code)");
        a.startTime = 9;
        a.memoryBytes = 300ull << 20;
        a.leftover = true;
        return a;
    };
    const DartProcess p = analyzer(42);
    DartProcess q = analyzer(43);
    const auto notice = alerts.update({p, q}, 1000, false);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->body, QStringLiteral("~/code/app \u00b7 300 MB"));
    EXPECT_EQ(notice->targets, (QList<ProcessRef>{{42, 9}}));
    EXPECT_EQ(alerts.dueAt(), 11000) << "when the one held back may go";

    q.leftover = false;
    q.memoryBytes = 2ull << 30;
    q.growth = Growth{600ull << 20, 600};
    const auto growing = alerts.update({p, q}, 11000, false);
    ASSERT_TRUE(growing);
    EXPECT_EQ(growing->summary, "Analyzer (VS Code) is growing");
    EXPECT_EQ(growing->body, QStringLiteral("~/code/app \u00b7 2 GB (+600 MB in 10 minutes)"));
    EXPECT_EQ(growing->details, (ProcessRef{43, 9}));
    EXPECT_TRUE(growing->targets.isEmpty());
}

} // namespace
} // namespace ombrix
