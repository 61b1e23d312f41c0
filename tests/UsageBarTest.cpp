#include "UsageBar.h"

#include "PressureGraph.h"
#include "SystemColors.h"

#include <QApplication>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace ombrix {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct SegmentCase {
    const char* name;
    double fraction;
    int count;
    int lit;
};
void PrintTo(const SegmentCase& row, std::ostream* os) {
    *os << row.name;
}

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
    [](const auto& info) { return std::string(info.param.name); });

struct PercentCase {
    const char* name;
    double fraction;
    long long percent;
};
void PrintTo(const PercentCase& row, std::ostream* os) {
    *os << row.name;
}

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
    [](const auto& info) { return std::string(info.param.name); });

enum class Fill { Unlit, Green, Yellow, Orange, Red };

QColor expected(Fill f, const QPalette& pal) {
    switch (f) {
    case Fill::Green:
        return SystemColors::color(ColorRole::Green, pal);
    case Fill::Yellow:
        return SystemColors::color(ColorRole::Yellow, pal);
    case Fill::Orange:
        return SystemColors::color(ColorRole::Orange, pal);
    case Fill::Red:
        return SystemColors::color(ColorRole::Red, pal);
    case Fill::Unlit:
        break;
    }
    return SystemColors::color(ColorRole::Secondary, pal, 0.2);
}

struct BarCase {
    const char* name;
    double fraction;
    std::array<Fill, 10> columns;
    const char* accessible;
};
void PrintTo(const BarCase& row, std::ostream* os) {
    *os << row.name;
}

constexpr auto U = Fill::Unlit, G = Fill::Green, Y = Fill::Yellow, O = Fill::Orange, R = Fill::Red;

class UsageBarColumns : public ::testing::TestWithParam<BarCase> {};

TEST_P(UsageBarColumns, ColouredByPositionNotValue) {
    for (bool compact : {true, false}) {
        UsageBar bar(compact);
        bar.setFraction(GetParam().fraction);
        for (int c = 0; c < 10; ++c) {
            EXPECT_EQ(bar.columnColor(c), expected(GetParam().columns[c], bar.palette()))
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
    [](const auto& info) { return std::string(info.param.name); });

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

struct ColumnCase {
    const char* name;
    QList<double> samples;
    int columns;
    QList<std::optional<double>> values;
};
void PrintTo(const ColumnCase& row, std::ostream* os) {
    *os << row.name;
}

class PressureColumns : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(PressureColumns, NewestAtTheRight) {
    EXPECT_EQ(PressureGraph::columnValues(GetParam().samples, GetParam().columns),
              GetParam().values);
}

const std::optional<double> none;

INSTANTIATE_TEST_SUITE_P(
    PressureGraph, PressureColumns,
    ::testing::Values(ColumnCase{"Empty", {}, 3, {none, none, none}},
                      ColumnCase{"Fewer", {0.1}, 3, {none, none, 0.1}},
                      ColumnCase{"Exact", {0.1, 0.2, 0.3}, 3, {0.1, 0.2, 0.3}},
                      ColumnCase{"MoreKeepsNewest", {0.1, 0.2, 0.3, 0.4}, 3, {0.2, 0.3, 0.4}},
                      ColumnCase{"NoColumns", {0.1}, 0, {}},
                      ColumnCase{"NegativeColumns", {0.1}, -2, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PressureGraph, PanelGridAndEmptyHistory) {
    PressureGraph graph;
    EXPECT_EQ(PressureGraph::gridSize(graph.grid()), QSizeF(115.5, 25.5));
    EXPECT_EQ(graph.sizeHint(), QSize(116, 26));
    EXPECT_EQ(graph.accessibleName(), QStringLiteral("Memory pressure 0 percent"));
    for (int c = 0; c < 26; ++c) {
        EXPECT_EQ(graph.litCells(c), 0);
        for (int r = 0; r < 6; ++r) {
            EXPECT_EQ(graph.cellColor(c, r), UsageBar::unlitColor(graph.palette()));
        }
    }
}

struct GraphCase {
    const char* name;
    double sample;
    // Cells of the newest column from the top.
    std::array<Fill, 6> cells;
};
void PrintTo(const GraphCase& row, std::ostream* os) {
    *os << row.name;
}

class PressureCells : public ::testing::TestWithParam<GraphCase> {};

TEST_P(PressureCells, LitFromTheBottomColouredByHeight) {
    PressureGraph graph;
    graph.setSamples({0.0, GetParam().sample});
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(graph.cellColor(25, r), expected(GetParam().cells[r], graph.palette()))
            << "row " << r;
        EXPECT_EQ(graph.cellColor(24, r), UsageBar::unlitColor(graph.palette()));
    }
}

INSTANTIATE_TEST_SUITE_P(PressureGraph, PressureCells,
                         ::testing::Values(GraphCase{"Zero", 0.0, {U, U, U, U, U, U}},
                                           GraphCase{"Small", 0.05, {U, U, U, U, U, G}},
                                           GraphCase{"Quarter", 0.25, {U, U, U, U, G, G}},
                                           GraphCase{"Half", 0.5, {U, U, U, G, G, G}},
                                           GraphCase{"ThreeQuarters", 0.75, {U, Y, Y, G, G, G}},
                                           GraphCase{"NinetyTwo", 0.92, {O, Y, Y, G, G, G}},
                                           GraphCase{"Over", 1.7, {O, Y, Y, G, G, G}},
                                           GraphCase{"Negative", -0.4, {U, U, U, U, U, U}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PressureGraph, RedOnlyInTallGrids) {
    PressureGraph graph(PressureGraph::Grid{4, 10, 3, 1.5});
    graph.setSamples({1.0});
    EXPECT_EQ(graph.cellColor(3, 0), SystemColors::color(ColorRole::Red, graph.palette()));
    EXPECT_EQ(graph.cellColor(3, 1), SystemColors::color(ColorRole::Orange, graph.palette()));
}

TEST(PressureGraph, HistoryFillsFromTheRight) {
    PressureGraph graph;
    graph.setSamples({0.5, 0.5, 0.5});
    for (int c = 0; c < 26; ++c) {
        EXPECT_EQ(graph.litCells(c), c >= 23 ? 3 : 0) << "column " << c;
    }
    QList<double> long_;
    for (int i = 0; i < 40; ++i) {
        long_.append(i < 14 ? 1.0 : 0.0);
    }
    long_.last() = 0.437;
    graph.setSamples(long_);
    EXPECT_EQ(graph.litCells(0), 0) << "the 14 oldest samples are off the graph";
    EXPECT_EQ(graph.litCells(25), 3);
    EXPECT_EQ(graph.accessibleName(), QStringLiteral("Memory pressure 43 percent"));
}

struct LabelCase {
    const char* name;
    QList<double> samples;
    const char* text;
};
void PrintTo(const LabelCase& row, std::ostream* os) {
    *os << row.name;
}

class PressureLabel : public ::testing::TestWithParam<LabelCase> {};

TEST_P(PressureLabel, ReadsTheNewestSample) {
    EXPECT_EQ(PressureGraph::accessibleText(GetParam().samples),
              QString::fromLatin1(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    PressureGraph, PressureLabel,
    ::testing::Values(LabelCase{"Empty", {}, "Memory pressure 0 percent"},
                      LabelCase{"AlmostAll", {0.2, 0.999}, "Memory pressure 99 percent"},
                      LabelCase{"All", {0.999, 1.0}, "Memory pressure 100 percent"},
                      LabelCase{"NaN", {nan}, "Memory pressure 0 percent"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace ombrix
