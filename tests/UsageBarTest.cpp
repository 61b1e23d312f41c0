#include "UsageBar.h"

#include "CellFill.h"
#include "NamedRow.h"

#include <QApplication>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace ombrix {
namespace {

using namespace ombrix::testing::cells;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct SegmentCase {
    const char* name;
    double fraction;
    int count;
    int lit;
    OMBRIX_NAMED_ROW(SegmentCase)
};

class FilledSegments : public ::testing::TestWithParam<SegmentCase> {};

TEST_P(FilledSegments, Cases) {
    EXPECT_EQ(UsageBar::filledSegments(GetParam().fraction, GetParam().count), GetParam().lit);
}

INSTANTIATE_TEST_SUITE_P(
    UsageBar, FilledSegments,
    ::testing::Values(SegmentCase{"Tiny", 0.001, 10, 1}, SegmentCase{"FourHundredths", 0.04, 10, 1},
                      SegmentCase{"HalfACellRoundsUpToOne", 0.05, 10, 1},
                      SegmentCase{"JustBelowOneAndAHalf", 0.149, 10, 1},
                      SegmentCase{"OneAndAHalfRoundsUp", 0.15, 10, 2},
                      SegmentCase{"Half", 0.5, 10, 5}, SegmentCase{"NinetyFour", 0.94, 10, 9},
                      SegmentCase{"NinetyFive", 0.95, 10, 10}, SegmentCase{"Over", 2.5, 10, 10},
                      SegmentCase{"Zero", 0.0, 10, 0}, SegmentCase{"Negative", -0.3, 10, 0},
                      SegmentCase{"NaN", nan, 10, 0}, SegmentCase{"Infinite", inf, 10, 0},
                      SegmentCase{"MinusInfinite", -inf, 10, 0}, SegmentCase{"Huge", 1e308, 10, 10},
                      SegmentCase{"GraphQuarter", 0.25, 6, 2}, SegmentCase{"GraphHalf", 0.5, 6, 3},
                      SegmentCase{"GraphThreeQuarters", 0.75, 6, 5},
                      SegmentCase{"GraphNinetyTwo", 0.92, 6, 6},
                      SegmentCase{"GraphSmall", 0.05, 6, 1}, SegmentCase{"NoCells", 0.5, 0, 0},
                      SegmentCase{"NegativeCount", 0.5, -4, 0}),
    ombrix::testing::RowName());

struct PercentCase {
    const char* name;
    double fraction;
    long long percent;
    OMBRIX_NAMED_ROW(PercentCase)
};

class UsagePercent : public ::testing::TestWithParam<PercentCase> {};

TEST_P(UsagePercent, TruncatesTowardZero) {
    EXPECT_EQ(UsageBar::percent(GetParam().fraction), GetParam().percent);
}

INSTANTIATE_TEST_SUITE_P(
    UsageBar, UsagePercent,
    ::testing::Values(PercentCase{"Truncated", 0.129, 12}, PercentCase{"Over", 2.5, 250},
                      PercentCase{"Full", 1.0, 100}, PercentCase{"ThreeTimes", 3.0, 300},
                      PercentCase{"SmallNegative", -0.005, 0}, PercentCase{"Negative", -0.5, -50},
                      PercentCase{"NaN", nan, 0},
                      PercentCase{"Huge", 1e300, std::numeric_limits<long long>::max()},
                      PercentCase{"HugeNegative", -inf, std::numeric_limits<long long>::min()}),
    ombrix::testing::RowName());

struct BarCase {
    const char* name;
    double fraction;
    std::array<Fill, 10> columns;
    const char* accessible;
    OMBRIX_NAMED_ROW(BarCase)
};

class UsageBarColumns : public ::testing::TestWithParam<BarCase> {};

TEST_P(UsageBarColumns, ColouredByPositionNotValue) {
    for (bool compact : {true, false}) {
        UsageBar bar(compact);
        bar.setFraction(GetParam().fraction);
        for (int c = 0; c < 10; ++c) {
            EXPECT_EQ(bar.columnColor(c), fillColor(GetParam().columns[c], bar.palette()))
                << "column " << c;
        }
        EXPECT_EQ(bar.accessibleName(), QString::fromLatin1(GetParam().accessible));
    }
}

INSTANTIATE_TEST_SUITE_P(
    UsageBar, UsageBarColumns,
    ::testing::Values(BarCase{"Empty", 0, {U, U, U, U, U, U, U, U, U, U}, "0 percent"},
                      BarCase{"Tiny", 0.001, {G, U, U, U, U, U, U, U, U, U}, "0 percent"},
                      BarCase{"Half", 0.5, {G, G, G, G, Y, U, U, U, U, U}, "50 percent"},
                      BarCase{"Full", 1.0, {G, G, G, G, Y, Y, Y, O, O, R}, "100 percent"},
                      BarCase{"Triple", 3.0, {G, G, G, G, Y, Y, Y, O, O, R}, "300 percent"},
                      BarCase{"Negative", -1.0, {U, U, U, U, U, U, U, U, U, U}, "-100 percent"}),
    ombrix::testing::RowName());

TEST(UsageBar, GeometryIsFixedWhateverTheFraction) {
    EXPECT_EQ(UsageBar::barSize(true), QSizeF(43.5, 7.5));
    EXPECT_EQ(UsageBar::barSize(false), QSizeF(53.5, 9.5));
    for (double f : {0.0, 0.5, 7.0}) {
        UsageBar compact(true), full(false);
        compact.setFraction(f);
        full.setFraction(f);
        EXPECT_EQ(compact.sizeHint(), QSize(44, 8)); // rounded up, never cut
        EXPECT_EQ(full.sizeHint(), QSize(54, 10));
    }
}

} // namespace
} // namespace ombrix
