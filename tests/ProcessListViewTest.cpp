#include "ProcessListView.h"

#include "ByteCount.h"
#include "ChildProcess.h"
#include "EmptyState.h"
#include "EndLeftoversDialog.h"
#include "FakeMonitor.h"
#include "Kernel.h"
#include "MemoryPanel.h"
#include "MemoryRow.h"
#include "NamedRow.h"
#include "PathLabel.h"
#include "PathMaskSetting.h"
#include "ProcessList.h"
#include "ProcessMonitor.h"
#include "ProcessRow.h"
#include "TextLine.h"
#include "UsageBar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ombrix {
namespace {

using ::ombrix::testing::FakeMonitor;
using ::ombrix::testing::process;

// The view is read as a user sees it: the rows on screen, top to bottom (a row
// whose pid left is hidden until it is deleted), their cells by name.
QList<ProcessRow*> rowsOf(const QWidget& view) {
    QList<ProcessRow*> rows = view.findChildren<ProcessRow*>();
    rows.removeIf([](const ProcessRow* r) { return r->isHidden(); });
    std::sort(rows.begin(), rows.end(), [](auto* a, auto* b) { return a->y() < b->y(); });
    return rows;
}

ProcessRow* rowOf(const QWidget& view, Pid pid) {
    for (ProcessRow* row : rowsOf(view)) {
        if (row->pid() == pid) {
            return row;
        }
    }
    return nullptr;
}

template <typename Widget = TextLine> Widget* cell(const ProcessRow* row, const char* name) {
    return row->findChild<Widget*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

PathLabel* pathOf(const QWidget& view, Pid pid) {
    return cell<PathLabel>(rowOf(view, pid), "path");
}

QString figure(const QWidget& view, const char* name) {
    return view.findChild<TextLine*>(QLatin1String(name))->text();
}

QAbstractButton* pathToggle(const QWidget& view) {
    return view.findChild<QAbstractButton*>(QStringLiteral("pathToggle"));
}

class ProcessListViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix")).clear();
        setting = std::make_unique<PathMaskSetting>();
    }

    std::unique_ptr<ProcessListView> view(bool compact, ProcessListView::Actions actions = {}) {
        auto v = std::make_unique<ProcessListView>(monitor, *setting, compact, std::move(actions));
        v->resize(compact ? 540 : 900, 470);
        v->show();
        return v;
    }

    static QString home() { return QDir::homePath(); }

    FakeMonitor monitor;
    std::unique_ptr<PathMaskSetting> setting;
};

TEST_F(ProcessListViewTest, EmptyStateComesAndGoes) {
    auto v = view(false);
    auto* empty = v->findChild<EmptyState*>();
    auto* header = v->findChild<QWidget*>(QStringLiteral("columnHeader"));
    ASSERT_TRUE(empty && header);
    EXPECT_TRUE(empty->isVisible());
    EXPECT_FALSE(header->isVisible());
    EXPECT_EQ(figure(*v, "processCount"), "0");
    EXPECT_EQ(figure(*v, "totalCpu"), "0.0%");
    EXPECT_EQ(figure(*v, "totalMemory"), QString::fromStdString(platform::formatByteCount(0)));

    monitor.setProcesses({process(10, "Analyzer")});
    EXPECT_FALSE(empty->isVisible());
    EXPECT_TRUE(header->isVisible());
    EXPECT_TRUE(rowOf(*v, 10)->isVisible());

    monitor.setProcesses({});
    EXPECT_TRUE(empty->isVisible());
    EXPECT_EQ(rowOf(*v, 10), nullptr);
}

QList<DartProcess> numbered(int count) {
    QList<DartProcess> list;
    for (int i = 1; i <= count; ++i) {
        list.append(process(1000 + i, QStringLiteral("p%1").arg(i), 1.0 * i));
    }
    return list;
}

// Whatever sequence of lists led there, scrolling to the end shows the last row whole.
TEST_F(ProcessListViewTest, EveryRowCanBeScrolledTo) {
    struct Case {
        const char* name;
        bool compact;
        QList<int> counts; // before the view exists, then one sample each
        int before = 0;
    };
    const Case cases[] = {
        {"window: few, none, many", false, {3, 0, 15}},
        {"panel: few, none, many", true, {3, 0, 15}},
        {"window: many at start", false, {}, 13},
        {"window: many, none, more", false, {14, 0, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        monitor.setProcesses(numbered(c.before));
        auto v = std::make_unique<ProcessListView>(monitor, *setting, c.compact);
        v->resize(c.compact ? QSize(540, 470) : QSize(960, 600));
        v->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(v.get()));
        QList<int> counts = c.counts;
        if (counts.isEmpty()) {
            counts = {c.before};
        }
        for (int count : counts) {
            monitor.setProcesses(numbered(count));
            QApplication::processEvents();
        }
        auto* scroll = v->findChild<QScrollArea*>();
        ASSERT_NE(scroll, nullptr);
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        QApplication::processEvents();
        auto* last = cell<QAbstractButton>(rowsOf(*v).last(), "terminate");
        const QRect inViewport(last->mapTo(scroll->viewport(), QPoint(0, 0)), last->size());
        EXPECT_TRUE(scroll->viewport()->rect().contains(inViewport))
            << "last button at " << inViewport.y() << ", viewport " << scroll->viewport()->height();
        monitor.setProcesses({});
    }
}

// SIGTERM goes only to the process whose button the user chose.
TEST_F(ProcessListViewTest, TerminateButtonsNeverInheritTheFocus) {
    auto v = view(false);
    v->resize(960, 600);
    v->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(v.get()));
    monitor.setProcesses(numbered(12));
    auto* sixth = cell<QAbstractButton>(rowOf(*v, 1006), "terminate");

    QTest::mouseClick(sixth, Qt::LeftButton);
    EXPECT_FALSE(sixth->hasFocus()) << "a click leaves the focus where it was";
    EXPECT_EQ(monitor.terminated, std::vector<Pid>{1006});

    // Reached with Tab: it stays with its process while rows re-order.
    sixth->setFocus(Qt::TabFocusReason);
    QList<DartProcess> reordered = numbered(12);
    std::reverse(reordered.begin(), reordered.end());
    monitor.setProcesses(reordered);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(monitor.terminated.back(), 1006);

    // Its row leaves: the focus goes to the list, never to another row's button.
    reordered.removeIf([](const DartProcess& p) { return p.id == 1006; });
    monitor.setProcesses(reordered);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), v->findChild<ProcessList*>());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(monitor.terminated.size(), 2u);
}

// Figures refresh every two seconds; their neighbours must not move with them.
TEST_F(ProcessListViewTest, StatisticsKeepTheirPlaceWhileFiguresChange) {
    for (bool compact : {false, true}) {
        auto v = view(compact);
        const QList<QList<DartProcess>> samples = {
            {process(1, "a", 99.3, 512ull << 20)},
            {process(1, "a", 103.0, 5ull << 30), process(2, "b", 0, 1)},
            {process(1, "a", 9.9, 1ull << 20)},
            {},
        };
        QList<int> cpuX, memoryX;
        for (const auto& sample : samples) {
            monitor.setProcesses(sample);
            QApplication::processEvents();
            cpuX << v->findChild<TextLine*>("totalCpu")->mapTo(v.get(), QPoint()).x();
            memoryX << v->findChild<TextLine*>("totalMemory")->mapTo(v.get(), QPoint()).x();
        }
        EXPECT_EQ(cpuX, QList<int>(samples.size(), cpuX.first())) << "compact " << compact;
        EXPECT_EQ(memoryX, QList<int>(samples.size(), memoryX.first())) << "compact " << compact;
    }
}

struct StatsCase {
    const char* name;
    QList<double> cpu;
    const char* totalCpu;
    OMBRIX_NAMED_ROW(StatsCase)
};

class Statistics : public ProcessListViewTest, public ::testing::WithParamInterface<StatsCase> {};

TEST_P(Statistics, CountCpuAndMemory) {
    QList<DartProcess> list;
    quint64 memory = 0;
    for (qsizetype i = 0; i < GetParam().cpu.size(); ++i) {
        list.append(process(Pid(100 + i), "p", GetParam().cpu[i], quint64(i + 1) * 1000000));
        memory += quint64(i + 1) * 1000000;
    }
    for (bool compact : {true, false}) {
        auto v = view(compact);
        monitor.setProcesses(list);
        EXPECT_EQ(figure(*v, "processCount"), QString::number(list.size()));
        EXPECT_EQ(figure(*v, "totalCpu"), QString::fromLatin1(GetParam().totalCpu));
        EXPECT_EQ(figure(*v, "totalMemory"),
                  QString::fromStdString(platform::formatByteCount(qint64(memory))));
        monitor.setProcesses({});
    }
}

INSTANTIATE_TEST_SUITE_P(ProcessListView, Statistics,
                         ::testing::Values(StatsCase{"TwoSmall", {2.5, 4.0}, "6.5%"},
                                           StatsCase{
                                               "OverOneCoreUnclamped", {99.9, 80.2}, "180.1%"},
                                           StatsCase{"Single", {0.04}, "0.0%"},
                                           StatsCase{"Many", {300, 250, 0.5}, "550.5%"}),
                         ombrix::testing::RowName());

struct DetailCase {
    const char* name;
    std::optional<QString> project;
    std::optional<QString> workspace;
    std::optional<PathLabel::Kind> kind;
    QString shownName;
    QString shortPath;
    QString tip;
    OMBRIX_NAMED_ROW(DetailCase)
};

class DetailLine : public ProcessListViewTest, public ::testing::WithParamInterface<DetailCase> {};

TEST_P(DetailLine, ProjectWinsThenWorkspaceThenNothing) {
    const DetailCase& c = GetParam();
    auto v = view(false);
    DartProcess p = process(42, "Analyzer (VS Code)");
    p.executableName = "dart";
    p.projectPath = c.project;
    p.workspace = c.workspace;
    monitor.setProcesses({p});
    ProcessRow* row = rowOf(*v, 42);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(cell(row, "executable")->text(), "dart");
    PathLabel* label = cell<PathLabel>(row, "path");
    if (!c.kind) {
        EXPECT_FALSE(label->isVisibleTo(row));
        return;
    }
    ASSERT_TRUE(label->isVisibleTo(row));
    EXPECT_EQ(label->kind(), *c.kind);
    EXPECT_EQ(label->isClickable(), *c.kind == PathLabel::Kind::Project);
    EXPECT_EQ(label->name(), c.shownName);
    EXPECT_EQ(label->shortPath(), c.shortPath);
    EXPECT_EQ(label->toolTip(), c.tip);
}

INSTANTIATE_TEST_SUITE_P(
    ProcessListView, DetailLine,
    ::testing::Values(
        DetailCase{"ProjectOnly", QDir::homePath() + "/src/app", std::nullopt,
                   PathLabel::Kind::Project, "app", "~/src/app", QDir::homePath() + "/src/app"},
        DetailCase{"ProjectBeatsWorkspace", "/srv/app", "/srv/ws", PathLabel::Kind::Project, "app",
                   "/srv/app", "/srv/app"},
        DetailCase{"WorkspaceOnly", std::nullopt, QDir::homePath() + "/code/mono",
                   PathLabel::Kind::Workspace, "mono", "~/code/mono",
                   "IDE workspace that owns this process: " + QDir::homePath() + "/code/mono"},
        DetailCase{"Neither", std::nullopt, std::nullopt, std::nullopt, {}, {}, {}}),
    ombrix::testing::RowName());

// Every text a user or assistive technology could read from a widget tree.
QStringList readableTexts(QWidget* root) {
    QStringList texts{root->toolTip(), root->accessibleName(), root->accessibleDescription()};
    for (QWidget* w : root->findChildren<QWidget*>()) {
        texts << w->toolTip() << w->accessibleName() << w->accessibleDescription();
        if (auto* line = qobject_cast<TextLine*>(w); line && !line->isMasked()) {
            texts << line->text();
        }
    }
    return texts;
}

TEST_F(ProcessListViewTest, MaskingHidesPathsEverywhereButKeepsNames) {
    auto v = view(false);
    DartProcess project = process(1, "Frontend Compiler (Flutter)");
    project.projectPath = home() + "/secret-client/app";
    DartProcess workspace = process(2, "Analyzer (VS Code)");
    workspace.workspace = home() + "/secret-workspace/mono";
    monitor.setProcesses({project, workspace});

    setting->setHidden(true);
    for (Pid pid : {1, 2}) {
        PathLabel* label = pathOf(*v, pid);
        EXPECT_TRUE(label->isMasked());
        EXPECT_TRUE(label->toolTip().isEmpty());
        EXPECT_FALSE(label->name().isEmpty());
        EXPECT_EQ(label->accessibleName(), label->name());
    }
    for (const QString& text : readableTexts(v.get())) {
        EXPECT_FALSE(text.contains("secret-")) << text.toStdString();
    }
    // A new sample while masked stays masked.
    project.cpuPercent = 3;
    monitor.setProcesses({project, workspace});
    EXPECT_TRUE(pathOf(*v, 1)->toolTip().isEmpty());
    EXPECT_TRUE(pathOf(*v, 1)->isMasked());

    setting->setHidden(false);
    EXPECT_EQ(pathOf(*v, 1)->toolTip(), *project.projectPath);
    EXPECT_FALSE(pathOf(*v, 1)->isMasked());
}

struct CpuCase {
    const char* name;
    double cpu;
    const char* text;
    bool orange;
    int lit;
    OMBRIX_NAMED_ROW(CpuCase)
};

class CpuCell : public ProcessListViewTest, public ::testing::WithParamInterface<CpuCase> {};

TEST_P(CpuCell, TextColourAndBar) {
    auto v = view(true);
    monitor.setProcesses({process(7, "p", GetParam().cpu)});
    ProcessRow* row = rowOf(*v, 7);
    EXPECT_EQ(cell(row, "cpu")->text(), QString::fromLatin1(GetParam().text));
    EXPECT_EQ(cell(row, "cpu")->role(), GetParam().orange ? ColorRole::Orange : ColorRole::Primary);
    EXPECT_EQ(cell<UsageBar>(row, "cpuBar")->litColumns(), GetParam().lit);
}

INSTANTIATE_TEST_SUITE_P(ProcessListView, CpuCell,
                         ::testing::Values(CpuCase{"Idle", 0, "0.0%", false, 0},
                                           CpuCase{"PrintsFiftyButBelow", 49.99, "50.0%", false, 5},
                                           CpuCase{"ExactlyFifty", 50, "50.0%", true, 5},
                                           CpuCase{"SeveralCores", 250, "250.0%", true, 10}),
                         ombrix::testing::RowName());

TEST_F(ProcessListViewTest, MemoryBarsScaleToTheLargest) {
    auto v = view(false);
    monitor.setProcesses({process(1, "big", 0, 1000000000), process(2, "mid", 0, 500000000),
                          process(3, "tiny", 0, 1), process(4, "none", 0, 0)});
    auto lit = [&](Pid pid) { return cell<UsageBar>(rowOf(*v, pid), "memoryBar")->litColumns(); };
    EXPECT_EQ(lit(1), 10);
    EXPECT_EQ(lit(2), 5);
    EXPECT_EQ(lit(3), 1);
    EXPECT_EQ(lit(4), 0);
    EXPECT_EQ(cell(rowOf(*v, 1), "memory")->text(),
              QString::fromStdString(platform::formatByteCount(1000000000)));

    monitor.setProcesses({process(1, "big", 0, 0), process(2, "mid", 0, 0)});
    EXPECT_EQ(lit(1), 0);
    EXPECT_EQ(lit(2), 0);
}

TEST_F(ProcessListViewTest, RowsAreKeptPerPidAndFollowTheOrder) {
    auto v = view(false);
    monitor.setProcesses({process(1, "a", 1), process(2, "b", 2), process(3, "c", 3)});
    ProcessRow* one = rowOf(*v, 1);
    ProcessRow* two = rowOf(*v, 2);
    QPointer<ProcessRow> three = rowOf(*v, 3);
    one->setToolTip("hovered state survives");

    monitor.setProcesses({process(2, "b", 9), process(4, "d", 1), process(1, "a", 5)});
    EXPECT_EQ(rowOf(*v, 1), one);
    EXPECT_EQ(rowOf(*v, 2), two);
    EXPECT_EQ(rowOf(*v, 3), nullptr);
    EXPECT_EQ(one->toolTip(), "hovered state survives");
    EXPECT_EQ(cell(one, "cpu")->text(), "5.0%");
    const QList<ProcessRow*> shown = rowsOf(*v);
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(shown[0], two);
    EXPECT_EQ(shown[2], one);
    EXPECT_LT(two->y(), shown[1]->y());
    EXPECT_LT(shown[1]->y(), one->y());
    EXPECT_EQ(shown[1]->pid(), 4);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(three.isNull()) << "the row of a pid that left is deleted";
}

TEST_F(ProcessListViewTest, ColumnCaptionsLineUpWithCells) {
    for (bool compact : {true, false}) {
        auto v = view(compact);
        monitor.setProcesses({process(12345, "p", 12, 100)});
        QApplication::processEvents();
        ProcessRow* row = rowOf(*v, 12345);
        auto* header = v->findChild<QWidget*>(QStringLiteral("columnHeader"));
        auto captionX = [&](const QString& text) {
            for (auto* line : header->findChildren<TextLine*>()) {
                if (line->text() == text) {
                    return line->mapTo(v.get(), QPoint(0, 0)).x();
                }
            }
            return -1;
        };
        auto cellX = [&](QWidget* w) { return w->mapTo(v.get(), QPoint(0, 0)).x(); };
        EXPECT_EQ(captionX("PID"), cellX(cell(row, "pid")));
        EXPECT_EQ(captionX("PROCESS"), cellX(cell(row, "name")));
        EXPECT_EQ(captionX("CPU"), cellX(cell<UsageBar>(row, "cpuBar")));
        EXPECT_EQ(captionX("MEMORY"), cellX(cell<UsageBar>(row, "memoryBar")));
        EXPECT_EQ(cell(row, "pid")->width(), compact ? 42 : 52);
        EXPECT_EQ(cell<QAbstractButton>(row, "terminate")->width(), 16);
        EXPECT_EQ(cell(row, "pid")->alignment() & Qt::AlignRight, Qt::AlignRight);
        monitor.setProcesses({});
    }
}

TEST_F(ProcessListViewTest, FormsDifferInPanelAndFooter) {
    int opened = 0, updates = 0, quits = 0;
    auto panel = view(true, {[&] { ++opened; }, [&] { ++updates; }, [&] { ++quits; }});
    auto window = view(false);
    EXPECT_EQ(panel->findChild<MemoryPanel*>(), nullptr);
    auto* memory = window->findChild<MemoryPanel*>();
    ASSERT_NE(memory, nullptr);
    EXPECT_TRUE(memory->isVisible());

    for (const char* name : {"Open Window", "Check for Updates", "Quit"}) {
        EXPECT_EQ(window->findChild<QAbstractButton*>(name), nullptr);
        auto* button = panel->findChild<QAbstractButton*>(name);
        ASSERT_NE(button, nullptr) << name;
        EXPECT_EQ(button->text(), QString::fromLatin1(name));
        QTest::mouseClick(button, Qt::LeftButton);
    }
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(quits, 1);

    SystemMemory m;
    m.physical = 8ull << 30;
    m.pressureLevel = 4;
    monitor.setMemory(m);
    monitor.appendPressure(0.5);
    EXPECT_EQ(memory->row("Physical Memory")->value(),
              QString::fromStdString(platform::formatByteCount(qint64(m.physical))));
}

TEST_F(ProcessListViewTest, OneSettingForBothViewsAndItPersists) {
    auto panel = view(true);
    auto window = view(false);
    DartProcess p = process(5, "Flutter Run (linux)");
    p.projectPath = "/work/app";
    monitor.setProcesses({p});
    EXPECT_EQ(pathToggle(*panel)->toolTip(), "Hide project paths");

    QTest::mouseClick(pathToggle(*panel), Qt::LeftButton);
    EXPECT_TRUE(pathOf(*window, 5)->isMasked());
    EXPECT_TRUE(pathOf(*panel, 5)->isMasked());
    EXPECT_EQ(pathToggle(*window)->toolTip(), "Show project paths");
    EXPECT_EQ(pathToggle(*panel)->toolTip(), "Show project paths");
    EXPECT_TRUE(PathMaskSetting().hidden()) << "a restart reads the stored choice";

    QTest::mouseClick(pathToggle(*window), Qt::LeftButton);
    EXPECT_FALSE(pathOf(*panel, 5)->isMasked());
    EXPECT_FALSE(PathMaskSetting().hidden());
}

TEST_F(ProcessListViewTest, ProjectLinkRevealsWorkspaceLabelDoesNot) {
    auto v = view(false);
    QStringList revealed;
    v->setRevealHandler([&](const QString& path) { revealed.append(path); });
    DartProcess project = process(1, "p");
    project.projectPath = "/srv/My Project";
    DartProcess workspace = process(2, "w");
    workspace.workspace = "/srv/ws";
    monitor.setProcesses({project, workspace});
    QApplication::processEvents();

    QTest::mouseClick(pathOf(*v, 1), Qt::LeftButton, {}, QPoint(4, 4));
    QTest::mouseClick(pathOf(*v, 2), Qt::LeftButton, {}, QPoint(4, 4));
    EXPECT_EQ(revealed, QStringList{"/srv/My Project"});
}

struct HostileCase {
    const char* name;
    QString text;
    OMBRIX_NAMED_ROW(HostileCase)
};

QString repeated(const QString& unit, int times) {
    return unit.repeated(times);
}

class HostileText : public ProcessListViewTest,
                    public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileText, ElidesOnOneLineWithoutGrowing) {
    auto v = view(false);
    monitor.setProcesses({process(1, "plain")});
    QApplication::processEvents();
    const QSize hintBefore = v->sizeHint();
    const int rowHeight = rowOf(*v, 1)->height();

    DartProcess p = process(1, GetParam().text);
    p.command = GetParam().text;
    p.executableName = GetParam().text;
    p.projectPath = "/srv/" + GetParam().text + "/" + GetParam().text;
    monitor.setProcesses({p});
    QApplication::processEvents();
    ProcessRow* row = rowOf(*v, 1);
    TextLine* name = cell(row, "name");
    const int cpuX = cell<UsageBar>(row, "cpuBar")->x();
    EXPECT_EQ(v->sizeHint(), hintBefore);
    EXPECT_EQ(row->height(), rowHeight);
    EXPECT_LE(name->sizeHint().width(), TextLine::maxHintWidth);
    EXPECT_LE(cell<PathLabel>(row, "path")->geometry().right(), cpuX);
    EXPECT_LE(name->geometry().right(), cpuX);
    EXPECT_EQ(name->toolTip(), GetParam().text) << "the tooltip keeps the command";
    const QString shown = name->displayedText(name->width());
    EXPECT_FALSE(shown.contains('\n'));
    EXPECT_FALSE(v->grab().isNull());
    setting->setHidden(true);
    EXPECT_FALSE(v->grab().isNull());
}

INSTANTIATE_TEST_SUITE_P(
    ProcessListView, HostileText,
    ::testing::Values(HostileCase{"VeryLong", repeated("analysis_server_", 800)},
                      HostileCase{"RightToLeft", repeated(QString::fromUtf8("מנתח קוד "), 60)},
                      HostileCase{"Emoji", repeated(QString::fromUtf8("🎯🧪👩‍💻"), 400)},
                      HostileCase{"Replacement", repeated(QString(QChar(0xFFFD)), 3000)},
                      HostileCase{"LoneSurrogate", QString(QChar(0xD800)) + "x" + QChar(0xDC00)},
                      HostileCase{"LineBreaks", "first\nsecond\r\nthird\u2028fourth"},
                      HostileCase{"Empty", ""}),
    ombrix::testing::RowName());

TEST_F(ProcessListViewTest, LongNameElidesInTheMiddle) {
    auto v = view(true);
    const QString name = "START" + QString(2000, 'm') + "END";
    monitor.setProcesses({process(1, name)});
    QApplication::processEvents();
    TextLine* line = cell(rowOf(*v, 1), "name");
    const QString shown = line->displayedText(line->width());
    EXPECT_TRUE(shown.startsWith("START"));
    EXPECT_TRUE(shown.endsWith("END"));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
}

// Breaks and tabs in a project path are drawn as the spaces they stand for,
// in the name and in the path alike.
TEST_F(ProcessListViewTest, ControlsInAPathShowAsSpaces) {
    const struct {
        const char* name;
        QString control;
    } rows[] = {{"vertical tab", "\v"}, {"form feed", "\f"}, {"tab", "\t"}, {"line feed", "\n"}};
    auto v = view(false);
    for (const auto& row : rows) {
        DartProcess hostile = process(1, "Analyzer");
        hostile.projectPath = "/srv/left" + row.control + "right/my" + row.control + "app";
        DartProcess plain = process(2, "Analyzer");
        plain.projectPath = "/srv/left right/my app";
        monitor.setProcesses({hostile, plain});
        QApplication::processEvents();
        PathLabel* shown = pathOf(*v, 1);
        PathLabel* expected = pathOf(*v, 2);
        ASSERT_EQ(shown->size(), expected->size()) << row.name;
        EXPECT_EQ(shown->sizeHint().width(), expected->sizeHint().width()) << row.name;
        EXPECT_TRUE(shown->grab().toImage() == expected->grab().toImage()) << row.name;
    }
}

TEST_F(ProcessListViewTest, TerminateButtonSendsSigtermAtOnce) {
    // A real monitor on the real kernel, listing a child it takes for a Dart VM.
    testing::Child child("/bin/sleep", {"dart", "30"});
    ASSERT_GT(child.pid(), 0);
    ProcessMonitor real({&platform::systemKernel(), {}, false});
    ProcessListView v(real, *setting, false);
    v.resize(900, 400);
    v.show();
    ProcessRow* row = nullptr;
    QFuture<void> pending = real.sample();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if ((row = rowOf(v, child.pid())) != nullptr) {
                return true;
            }
            if (pending.isFinished()) { // listed before its exec: look again
                pending = real.sample();
            }
            return false;
        },
        10000));
    auto* terminate = cell<QAbstractButton>(row, "terminate");
    EXPECT_EQ(terminate->toolTip(), "Quit process (SIGTERM)");

    QTest::mouseClick(terminate, Qt::LeftButton);
    std::optional<int> status;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (status = child.tryWait()).has_value(); }, 5000))
        << "the child is still running";
    EXPECT_TRUE(WIFSIGNALED(*status));
    EXPECT_EQ(WTERMSIG(*status), SIGTERM);
}

// --- leftovers --------------------------------------------------------------------

DartProcess leftover(Pid id, QString name, quint64 memory, std::optional<QString> project = {}) {
    DartProcess p = process(id, std::move(name), 0, memory);
    p.leftover = true;
    p.startTime = 7000 + quint64(id);
    p.projectPath = std::move(project);
    return p;
}

TEST_F(ProcessListViewTest, LeftoversAreMarkedAndCountedInBothForms) {
    for (const bool compact : {true, false}) {
        SCOPED_TRACE(compact ? "panel" : "window");
        auto v = view(compact);
        auto* bar = v->findChild<QWidget*>(QStringLiteral("leftoverBar"));
        monitor.setProcesses({process(11, "Dart", 0, 5)});
        const QSize plainHint = rowOf(*v, 11)->sizeHint();
        EXPECT_FALSE(bar->isVisible()) << "no line while there are none";

        const QString project = home() + "/code/a_very_long_project_name_for_the_panel";
        DartProcess both = leftover(10, "Analyzer (VS Code)", 300ull << 20, project);
        both.growth = Growth{600ull << 20, 600};
        monitor.setProcesses({both, process(11, "Dart", 0, 5)});
        ProcessRow* row = rowOf(*v, 10);
        auto* marker = cell(row, "leftover");
        auto* growing = cell(row, "growing");
        EXPECT_EQ(growing->text(), "Growing");
        EXPECT_EQ(growing->toolTip(), "Grew by 600 MB in 10 minutes");
        EXPECT_EQ(growing->width(), int(std::ceil(growing->naturalWidth())));
        EXPECT_LE(marker->geometry().right(), growing->x());
        EXPECT_LE(growing->geometry().right(), pathOf(*v, 10)->x());
        EXPECT_FALSE(cell(rowOf(*v, 11), "growing")->isVisible());
        EXPECT_TRUE(marker->isVisible());
        EXPECT_EQ(marker->text(), "Leftover");
        EXPECT_EQ(marker->toolTip(), "Its parent has ended; nothing will stop it.");
        EXPECT_FALSE(cell(rowOf(*v, 11), "leftover")->isVisible());
        // Whole, on the row, beside the executable and before the path, and the name untouched.
        EXPECT_EQ(row->sizeHint(), plainHint);
        EXPECT_TRUE(row->rect().contains(marker->geometry()));
        EXPECT_GE(marker->width(), int(marker->naturalWidth()));
        EXPECT_LE(cell(row, "executable")->geometry().right(), marker->x());
        EXPECT_LE(marker->geometry().right(), pathOf(*v, 10)->x());
        EXPECT_EQ(cell(row, "name")->displayedText(cell(row, "name")->width()),
                  "Analyzer (VS Code)");
        EXPECT_TRUE(bar->isVisible());
        EXPECT_EQ(figure(*v, "leftoverSummary"), "1 leftover \u00b7 300 MB");
        EXPECT_EQ(v->findChild<QPushButton*>(QStringLiteral("endLeftovers"))->text(),
                  "End Leftovers\u2026");

        monitor.setProcesses({process(11, "Dart", 0, 5)});
        EXPECT_FALSE(bar->isVisible());
        both.growth.reset();
        monitor.setProcesses({both});
        EXPECT_FALSE(cell(rowOf(*v, 10), "growing")->isVisible()) << "gone with its condition";
    }
}

TEST_F(ProcessListViewTest, EndLeftoversConfirmsTheListAsItWasShown) {
    auto v = view(false);
    monitor.setProcesses({leftover(10, "Analyzer (VS Code)", 300ull << 20, home() + "/code/app"),
                          process(11, "Dart"), leftover(12, "Tooling Daemon", 64ull << 20)});
    auto* end = v->findChild<QPushButton*>(QStringLiteral("endLeftovers"));
    const auto open = [&] {
        end->click();
        auto* dialog = v->findChild<EndLeftoversDialog*>();
        EXPECT_TRUE(dialog && QTest::qWaitForWindowExposed(dialog));
        return dialog;
    };
    EndLeftoversDialog* dialog = open();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->windowTitle(), "End Leftovers");
    // Later samples do not change what the user is asked about.
    monitor.setProcesses({leftover(13, "Newcomer", 1)});
    auto* list = dialog->findChild<QTreeWidget*>();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    const QStringList first = {list->topLevelItem(0)->text(0), list->topLevelItem(0)->text(1),
                               list->topLevelItem(0)->text(2), list->topLevelItem(0)->text(3)};
    EXPECT_EQ(first, (QStringList{"Analyzer (VS Code)", "10", "~/code/app", "300 MB"}));
    EXPECT_EQ(list->topLevelItem(1)->text(2), "");

    QTest::keyClick(dialog, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->findChild<EndLeftoversDialog*>() == nullptr; }));
    EXPECT_TRUE(monitor.ended.isEmpty()) << "Enter is Cancel";

    monitor.setProcesses({leftover(10, "Analyzer (VS Code)", 1), leftover(12, "Daemon", 1)});
    dialog = open();
    ASSERT_TRUE(dialog);
    dialog->findChild<QPushButton*>(QStringLiteral("endProcesses"))->click();
    EXPECT_EQ(monitor.ended, (QList<ProcessRef>{{10, 7010}, {12, 7012}}));
}

TEST_F(ProcessListViewTest, ForceQuitTakesTheTerminateButtonsPlaceAndFocus) {
    auto v = view(false);
    v->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(v.get()));
    DartProcess stubborn = process(10, "Analyzer");
    monitor.setProcesses({stubborn, process(11, "Dart")});
    ProcessRow* row = rowOf(*v, 10);
    auto* terminate = cell<QAbstractButton>(row, "terminate");
    auto* force = cell<QAbstractButton>(row, "forceQuit");
    EXPECT_FALSE(force->isVisible());
    terminate->setFocus(Qt::TabFocusReason);

    stubborn.ignoredTerminate = true;
    monitor.setProcesses({stubborn, process(11, "Dart")});
    EXPECT_TRUE(force->isVisible());
    EXPECT_FALSE(terminate->isVisible());
    EXPECT_EQ(force->geometry(), terminate->geometry());
    EXPECT_EQ(force->accessibleName(), "Force quit process (SIGKILL)");
    EXPECT_EQ(force->toolTip(), "It did not stop after SIGTERM");
    EXPECT_TRUE(force->hasFocus()) << "the focus stays with this process";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(monitor.forceQuitted, std::vector<Pid>{10});
    EXPECT_TRUE(monitor.terminated.empty());
}

} // namespace
} // namespace ombrix
