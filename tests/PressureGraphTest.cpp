// The memory pressure graph: which history it shows, which cells light up
// and in which colours, and what it reads out.

#include "PressureGraph.h"

#include "CellFill.h"
#include "NamedRow.h"
#include "SystemColors.h"
#include "UsageBar.h"

#include <QApplication>
#include <gtest/gtest.h>
#include <limits>

namespace ombrix {
namespace {

using namespace ombrix::testing::cells;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct ColumnCase {
    const char* name;
    QList<double> samples;
    int columns;
    QList<std::optional<double>> values;
    OMBRIX_NAMED_ROW(ColumnCase)
};

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
    ombrix::testing::RowName());

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
    OMBRIX_NAMED_ROW(GraphCase)
};

class PressureCells : public ::testing::TestWithParam<GraphCase> {};

TEST_P(PressureCells, LitFromTheBottomColouredByHeight) {
    PressureGraph graph;
    graph.setSamples({0.0, GetParam().sample});
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(graph.cellColor(25, r), fillColor(GetParam().cells[r], graph.palette()))
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
                         ombrix::testing::RowName());

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
    OMBRIX_NAMED_ROW(LabelCase)
};

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
    ombrix::testing::RowName());

} // namespace
} // namespace ombrix
