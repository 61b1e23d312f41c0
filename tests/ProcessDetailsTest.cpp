#include "DetailsWindows.h"
#include "FakeMonitor.h"
#include "PathMaskSetting.h"
#include "ProcessRow.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <pthread.h>

namespace ombrix {
namespace {

constexpr quint64 MiB = 1ull << 20;

class ProcessDetailsTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix")).clear();
        setting = std::make_unique<PathMaskSetting>();
        DetailsWindows::of(monitor).setReaders(
            {[](const DartProcess&) {
                 ProcessFacts f;
                 f.executable = "/opt/dart-sdk/bin/dart";
                 f.workingDirectory = "/home/ann/secret/app/lib";
                 f.parent = ProcessFacts::Named{901, "code"};
                 f.user = "ann";
                 return f;
             },
             [](ProcessFacts& f) {
                 f.inSdk = true; // a version file that did not read as one
             }});
        analyzer = testing::process(42, QStringLiteral("Analyzer (VS Code)"), 12.5);
        analyzer.startTime = 7;
        analyzer.startedBy = IdeAncestor{900, "VS Code", StarterKind::Ide, "/usr/share/code/code"};
        // A control character and a byte that is not UTF-8, as argv may carry them.
        analyzer.command = QString::fromUtf8("dart /home/ann/secret/app/bin/x.dart \x1b[2J \xff");
        analyzer.projectPath = QStringLiteral("/home/ann/secret/app");
        for (int minute = 0; minute <= 3; ++minute) {
            analyzer.memoryBytes = (100 + 10 * quint64(minute)) * MiB;
            monitor.publish({analyzer}, 60'000 * minute);
        }
    }

    ProcessDetailsWindow* openDetails() {
        ProcessDetailsWindow* w = DetailsWindows::of(monitor).open({42, 7}, *setting);
        EXPECT_TRUE(w &&
                    QTest::qWaitFor([&] { return w->report().contains("Dart SDK: unknown"); }));
        return w;
    }

    testing::FakeMonitor monitor;
    std::unique_ptr<PathMaskSetting> setting;
    DartProcess analyzer;
};

TEST_F(ProcessDetailsTest, ReportHoldsEveryFactMasksPathsAndSurvivesTheEnd) {
    ProcessDetailsWindow* w = openDetails();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->windowTitle(), "Analyzer (VS Code) (42)");
    EXPECT_EQ(DetailsWindows::of(monitor).open({42, 7}, *setting), w) << "one window per process";
    const QString expected =
        QStringLiteral("Analyzer (VS Code) (42)\n"
                       "Status: Running\n"
                       "Executable: /opt/dart-sdk/bin/dart\n"
                       "Command line: dart /home/ann/secret/app/bin/x.dart \\x1b[2J \ufffd\n"
                       "Working directory: /home/ann/secret/app/lib\n"
                       "Project: /home/ann/secret/app\n"
                       "Dart SDK: unknown\n"
                       "Started by: VS Code (900), /usr/share/code/code\n"
                       "Workspace: none\n"
                       "Parent: code (901)\n"
                       "Started: unknown\n"
                       "User: ann\n"
                       "CPU: 12.5%\n"
                       "Memory: 130 MB, lowest 100 MB, highest 130 MB over the last 3 min\n"
                       "\n"
                       "Memory at one-minute steps (oldest first):\n"
                       "  -3 min    100 MB\n"
                       "  -2 min    110 MB\n"
                       "  -1 min    120 MB\n"
                       "  now       130 MB\n");
    EXPECT_EQ(w->report(), expected);

    setting->toggle();
    const QString masked = w->report();
    EXPECT_FALSE(masked.contains("secret")) << masked.toStdString();
    EXPECT_TRUE(masked.contains("Working directory: \u2026/app/lib\n"));
    EXPECT_TRUE(masked.contains("Project: app\n"));

    w->findChild<QPushButton*>(QStringLiteral("copyDetails"))->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), masked);

    monitor.publish({}, 240'000);
    EXPECT_TRUE(w->ended());
    EXPECT_TRUE(w->report().startsWith("Analyzer (VS Code) (42)\nStatus: Ended\n"));
    EXPECT_TRUE(w->report().contains("  now       130 MB\n")) << "it keeps what it had";
    auto* end = w->findChild<QPushButton*>(QStringLiteral("end"));
    EXPECT_FALSE(end->isEnabled());
    delete w;
    EXPECT_EQ(DetailsWindows::of(monitor).open({42, 7}, *setting), nullptr) << "it has ended";
}

TEST_F(ProcessDetailsTest, RowMenuOffersWhatTheRowDoes) {
    ProcessRow row(false);
    row.resize(800, 40);
    std::vector<ProcessRef> details;
    QObject::connect(&row, &ProcessRow::detailsRequested,
                     [&](const ProcessRef& p) { details.push_back(p); });
    for (const bool stubborn : {false, true}) {
        analyzer.ignoredTerminate = stubborn;
        row.setProcess(analyzer, analyzer.memoryBytes, false);
        row.showMenu({0, 0});
        auto* menu = row.findChild<QMenu*>(QStringLiteral("rowMenu"));
        ASSERT_TRUE(menu);
        QStringList entries;
        for (QAction* a : menu->actions()) {
            if (!a->isSeparator()) {
                entries << a->text();
            }
        }
        EXPECT_EQ(entries,
                  (QStringList{"Details\u2026", "Copy Command Line", "Copy PID", "Reveal Project",
                               stubborn ? "Force Quit" : "End Process"}));
        menu->actions().at(2)->trigger();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "42");
        menu->actions().at(0)->trigger();
        delete menu;
    }
    QTest::keyClick(&row, Qt::Key_Return);
    EXPECT_EQ(details, (std::vector<ProcessRef>(3, {42, 7})));

    // A newcomer takes the pid, and the row, while the menu is open.
    std::vector<ProcessRef> killed;
    QObject::connect(&row, &ProcessRow::forceQuitRequested,
                     [&](ProcessRef p) { killed.push_back(p); });
    row.showMenu({0, 0});
    DartProcess newcomer = analyzer;
    newcomer.startTime = 8;
    row.setProcess(newcomer, newcomer.memoryBytes, false);
    row.findChild<QMenu*>(QStringLiteral("rowMenu"))->actions().constLast()->trigger();
    EXPECT_EQ(killed, (std::vector<ProcessRef>{{42, 7}})) << "the process the menu was opened on";
}

// A fact that appears later lands in its place, with hidden facts above it.
TEST_F(ProcessDetailsTest, GrowingLandsBelowMemoryWithTheSdkHidden) {
    DetailsWindows::of(monitor).setReaders({[](const DartProcess&) { return ProcessFacts{}; }, {}});
    ProcessDetailsWindow* w = DetailsWindows::of(monitor).open({42, 7}, *setting);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->report().contains("Dart SDK"); }));
    analyzer.growth = Growth{300 * MiB, 600};
    monitor.setProcesses({analyzer});
    emit monitor.historyChanged();
    w->layout()->activate();
    const auto y = [values = w->findChildren<QLabel*>()](const char* fact) {
        return (*std::find_if(values.begin(), values.end(),
                              [&](QLabel* l) { return l->accessibleName().startsWith(fact); }))
            ->y();
    };
    EXPECT_GT(y("Growing: "), y("Memory: "));
}

// One read per process however often its window opens, even while it hangs;
// a window opens even when no thread can be started.
TEST_F(ProcessDetailsTest, FactsAreReadOncePerProcessAndWithoutAThread) {
    std::atomic<int> reads{0};
    std::promise<void> release;
    auto released = release.get_future().share();
    const auto facts = [&reads](const DartProcess&) {
        ProcessFacts f;
        f.user = QString::number(++reads);
        return f;
    };
    DetailsWindows::of(monitor).setReaders({facts, [released](ProcessFacts&) { released.wait(); }});
    ProcessDetailsWindow* w = nullptr;
    for (int opened = 0; opened < 3; ++opened) {
        delete w;
        w = DetailsWindows::of(monitor).open({42, 7}, *setting);
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->report().contains("User: 1\n"); }));
    }
    release.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->report().contains(u'\u2026'); }));
    delete w;
    pthread_attr_t normal, huge; // stacks larger than the address space
    ASSERT_EQ(pthread_getattr_default_np(&normal), 0);
    pthread_attr_init(&huge);
    pthread_attr_setstacksize(&huge, size_t(1) << 48);
    pthread_setattr_default_np(&huge);
    w = DetailsWindows::of(monitor).open({42, 7}, *setting);
    pthread_setattr_default_np(&normal);
    pthread_attr_destroy(&huge);
    pthread_attr_destroy(&normal);
    EXPECT_TRUE(w->report().contains("User: unknown\n")) << w->report().toStdString();
}

} // namespace
} // namespace ombrix
