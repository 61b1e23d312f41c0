#include "TrayMenu.h"

#include "FakeMonitor.h"
#include "NamedRow.h"

#include <gtest/gtest.h>

using namespace ombrix;
using ombrix::testing::process;

namespace {

// One line per entry: "---" for a separator, "(off)" after an insensitive one.
QStringList shown(const QList<MenuEntry>& entries) {
    QStringList lines;
    for (const MenuEntry& e : entries) {
        lines << (e.separator ? QStringLiteral("---")
                              : e.label + (e.enabled ? QString() : QStringLiteral(" (off)")));
    }
    return lines;
}

DartProcess with(DartProcess p, std::optional<QString> project, bool leftover = false) {
    p.projectPath = std::move(project);
    p.leftover = leftover;
    return p;
}

const QStringList commands = {"---", "Open Window", "Check for Updates\u2026", "---", "Quit"};

struct Row {
    const char* name;
    QList<DartProcess> processes;
    QStringList expected; // before the commands
    OMBRIX_NAMED_ROW(Row)
};

class TrayMenuTest : public ::testing::TestWithParam<Row> {};

TEST_P(TrayMenuTest, ListsTheTableThenTheCommands) {
    const Row& row = GetParam();
    EXPECT_EQ(shown(TrayMenu::entries(row.processes)), row.expected + commands);
}

QList<DartProcess> many(int count) {
    QList<DartProcess> out;
    for (int i = 0; i < count; ++i) {
        out << process(100 + i, QStringLiteral("Dart %1").arg(i), 0, 1024);
    }
    return out;
}

QStringList manyLines(int count) {
    QStringList out;
    for (int i = 0; i < count; ++i) {
        out << QStringLiteral("Dart %1 \u00b7 1 KB").arg(i);
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrayMenuTest,
    ::testing::Values(Row{"NothingWatched", {}, {"No Dart Processes (off)"}},
                      Row{"ProjectFolderOrNone",
                          {with(process(1, "Analyzer", 0, 1342177280), "/home/me/src/weather_app"),
                           process(2, "DDS", 0, 300 << 20)},
                          {"Analyzer \u00b7 weather_app \u00b7 1.25 GB", "DDS \u00b7 300 MB"}},
                      Row{"LeftoversAreMarkedAndCounted",
                          {process(1, "DDS", 0, 1 << 20),
                           with(process(2, "Analyzer", 0, 300 << 20), "/p/app", true)},
                          {"DDS \u00b7 1 MB", "Analyzer \u00b7 app \u00b7 300 MB \u00b7 Leftover",
                           "---", "1 leftover \u00b7 300 MB (off)", "End Leftovers\u2026"}},
                      Row{"DuplicatesAreMarked",
                          {[] {
                              DartProcess p = process(3, "Analyzer (Claude Code)", 0, 1 << 20);
                              p.duplicateOf = AlsoAnalyzedBy{{2, 0}, "Analyzer (VS Code)"};
                              return p;
                          }()},
                          {"Analyzer (Claude Code) \u00b7 1 MB \u00b7 Duplicate"}},
                      Row{"TenShowAsThemselves", many(10), manyLines(10)},
                      Row{"PastTenTheRestAreCounted", many(13), manyLines(10) << "3 more\u2026"},
                      Row{"ABreakInANameStaysOnOneLine",
                          {process(1, "evil\nname", 0, 1024)},
                          {"evil name \u00b7 1 KB"}}),
    ombrix::testing::RowName{});

TEST(TrayMenu, AProcessEntryNamesItsProcessNotItsPid) {
    DartProcess p = process(42, "Analyzer");
    p.startTime = 777;
    const QList<MenuEntry> entries = TrayMenu::entries({p});
    EXPECT_EQ(TrayMenu::processOf(entries.front().key), (ProcessRef{42, 777}));
    for (const char* key : {"quit", "process:42", "process:x:1", "process:1:2:3"}) {
        EXPECT_FALSE(TrayMenu::processOf(QString::fromLatin1(key))) << key;
    }
}

} // namespace
