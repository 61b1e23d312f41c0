#include "MemoryPanel.h"

#include "ByteCount.h"
#include "MemoryRow.h"
#include "NamedRow.h"
#include "PressureGraph.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace ombrix {
namespace {

constexpr quint64 MB = 1024 * 1024;

QString bytes(quint64 n) {
    return QString::fromStdString(platform::formatByteCount(qint64(n)));
}

TEST(MemoryPanel, SevenFiguresInTwoColumns) {
    MemoryPanel panel;
    const SystemMemory m{.physical = 16384 * MB,
                         .app = 5000 * MB,
                         .wired = 2000 * MB,
                         .compressed = 700 * MB,
                         .cachedFiles = 3000 * MB,
                         .swapUsed = 12 * MB};
    panel.setMemory(m);

    const QList<std::pair<QString, quint64>> expectedRows{
        {"Physical Memory", m.physical}, {"Memory Used", 7700 * MB},
        {"Cached Files", m.cachedFiles}, {"Swap Used", m.swapUsed},
        {"App Memory", m.app},           {"Wired Memory", m.wired},
        {"Compressed", m.compressed},
    };
    const QList<MemoryRow*> rows = panel.rows();
    ASSERT_EQ(rows.size(), expectedRows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i]->label(), expectedRows[i].first);
        EXPECT_EQ(rows[i]->value(), bytes(expectedRows[i].second))
            << rows[i]->label().toStdString();
        EXPECT_EQ(rows[i]->labelWidth(), i < 4 ? 92 : 80);
    }
}

TEST(MemoryPanel, MemoryUsedIgnoresCacheAndSwap) {
    MemoryPanel panel;
    SystemMemory m{.app = 1 * MB, .wired = 2 * MB, .compressed = 3 * MB};
    panel.setMemory(m);
    EXPECT_EQ(panel.row("Memory Used")->value(), bytes(6 * MB));
    m.cachedFiles = 100 * MB;
    m.swapUsed = 100 * MB;
    panel.setMemory(m);
    EXPECT_EQ(panel.row("Memory Used")->value(), bytes(6 * MB));
    m.compressed = 4 * MB;
    panel.setMemory(m);
    EXPECT_EQ(panel.row("Memory Used")->value(), bytes(7 * MB));
}

TEST(MemoryPanel, ZeroSnapshotReadsZeroAndNormal) {
    MemoryPanel panel;
    for (MemoryRow* row : panel.rows()) {
        EXPECT_EQ(row->value(), bytes(0)) << row->label().toStdString();
    }
    EXPECT_EQ(panel.graph()->toolTip(), QStringLiteral("Memory pressure: normal"));
    EXPECT_EQ(panel.graph()->accessibleName(), QStringLiteral("Memory pressure 0 percent"));
}

struct LevelCase {
    const char* name;
    qint32 level;
    const char* tip;
    OMBRIX_NAMED_ROW(LevelCase)
};

class PressureTip : public ::testing::TestWithParam<LevelCase> {};

TEST_P(PressureTip, ByLevel) {
    MemoryPanel panel;
    SystemMemory m;
    m.pressureLevel = GetParam().level;
    panel.setMemory(m);
    EXPECT_EQ(panel.graph()->toolTip(), QString::fromLatin1(GetParam().tip));
}

INSTANTIATE_TEST_SUITE_P(MemoryPanel, PressureTip,
                         ::testing::Values(LevelCase{"Normal", 1, "Memory pressure: normal"},
                                           LevelCase{"Warning", 2, "Memory pressure: warning"},
                                           LevelCase{"Critical", 4, "Memory pressure: critical"},
                                           LevelCase{"Zero", 0, "Memory pressure: normal"},
                                           LevelCase{"Three", 3, "Memory pressure: normal"},
                                           LevelCase{"Negative", -1, "Memory pressure: normal"}),
                         ombrix::testing::RowName());

TEST(MemoryPanel, SizeDoesNotFollowTheFigures) {
    MemoryPanel panel;
    panel.show();
    const QSize before = panel.size();
    SystemMemory m;
    m.physical = ~quint64(0) / 2;
    m.app = m.physical;
    m.wired = m.physical;
    m.cachedFiles = 1023;
    panel.setMemory(m);
    panel.setHistory({0.3, 0.9});
    QApplication::processEvents();
    EXPECT_EQ(panel.size(), before);
    EXPECT_EQ(panel.sizeHint(), before);
    // 10 + 115.5 + 10 | 10 + 92 + 8 + 58 + 10 | 10 + 80 + 8 + 58 + 10, two dividers.
    EXPECT_NEAR(panel.width(), 135.5 + 178 + 166 + 2, 1.0);
}

TEST(MemoryRow, DefaultLabelWidth) {
    MemoryRow row(QStringLiteral("Label"), QStringLiteral("1 KB"));
    EXPECT_EQ(row.labelWidth(), 90);
    EXPECT_EQ(row.sizeHint().width(), 90 + 8 + 58);
}

} // namespace
} // namespace ombrix
