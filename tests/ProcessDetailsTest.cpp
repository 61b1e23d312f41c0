#include "DetailsWindows.h"
#include "FakeMonitor.h"
#include "PathMaskSetting.h"
#include "ProcessRow.h"

#include <QApplication>
#include <QClipboard>
#include <QFormLayout>
#include <QLabel>
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
                 f.ide = ProcessFacts::Named{900, "VS Code"};
                 f.parent = ProcessFacts::Named{901, "code"};
                 f.user = "ann";
                 return f;
             },
             [](ProcessFacts& f) {
                 f.inSdk = true; // a version file that did not read as one
             }});
        analyzer = testing::process(42, QStringLiteral("Analyzer (VS Code)"), 12.5);
        analyzer.startTime = 7;
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
                       "IDE window: VS Code (900)\n"
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

    // The menu outlives its process; a newcomer takes the pid and the row.
    std::vector<ProcessRef> ended;
    QObject::connect(&row, &ProcessRow::terminateRequested,
                     [&](const ProcessRef& p) { ended.push_back(p); });
    analyzer.ignoredTerminate = false;
    row.setProcess(analyzer, analyzer.memoryBytes, false);
    row.showMenu({0, 0});
    auto* menu = row.findChild<QMenu*>(QStringLiteral("rowMenu"));
    DartProcess newcomer = analyzer;
    newcomer.startTime = 8;
    row.setProcess(newcomer, newcomer.memoryBytes, false);
    menu->actions().constLast()->trigger();
    EXPECT_EQ(ended, (std::vector<ProcessRef>{{42, 7}})) << "the process the menu was opened on";
}

// Hidden facts keep their rows, so a fact that appears later must still land
// in its place: "Growing" right below "Memory", with the SDK line hidden.
TEST_F(ProcessDetailsTest, FactsKeepTheirOrderWhenSomeAreHidden) {
    DetailsWindows::of(monitor).setReaders({[](const DartProcess&) { return ProcessFacts{}; },
                                            [](ProcessFacts& f) { f.inSdk = false; }});
    ProcessDetailsWindow* w = DetailsWindows::of(monitor).open({42, 7}, *setting);
    ASSERT_TRUE(w);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->report().contains("Dart SDK"); }));
    analyzer.growth = Growth{300 * MiB, 600};
    monitor.setProcesses({analyzer});
    emit monitor.historyChanged();

    auto* form = w->findChild<QFormLayout*>();
    ASSERT_TRUE(form);
    QStringList shown;
    for (int row = 0; row < form->rowCount(); ++row) {
        auto* label = qobject_cast<QLabel*>(form->itemAt(row, QFormLayout::LabelRole)->widget());
        if (label && label->isVisibleTo(w)) {
            shown << label->text();
        }
    }
    ASSERT_GE(shown.size(), 2);
    EXPECT_EQ(shown.mid(shown.size() - 2), (QStringList{"Memory:", "Growing:"}))
        << shown.join(' ').toStdString();
}

// Facts are read off the UI thread, one read per process however often its
// window opens, and a window opens even when no thread can be started.
TEST_F(ProcessDetailsTest, FactsAreReadOncePerProcessAndWithoutAThread) {
    std::atomic<int> reads{0};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    DetailsWindows::of(monitor).setReaders({[&reads](const DartProcess&) {
                                                ++reads;
                                                ProcessFacts f;
                                                f.user = "ann";
                                                return f;
                                            },
                                            [released](ProcessFacts&) { released.wait(); }});
    ProcessDetailsWindow* w = nullptr;
    for (int opened = 0; opened < 3; ++opened) {
        delete w;
        w = DetailsWindows::of(monitor).open({42, 7}, *setting);
        ASSERT_TRUE(w);
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->report().contains("User: ann"); }))
            << "what the stuck read found, also in a window opened after it";
    }
    EXPECT_EQ(reads.load(), 1);
    release.set_value();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->report().contains(u'\u2026'); }));
    delete w;

    // Stacks larger than the address space: no thread can be started.
    pthread_attr_t attr;
    ASSERT_EQ(pthread_getattr_default_np(&attr), 0);
    size_t stack = 0;
    pthread_attr_getstacksize(&attr, &stack);
    pthread_attr_setstacksize(&attr, size_t(1) << 48);
    ASSERT_EQ(pthread_setattr_default_np(&attr), 0);
    w = DetailsWindows::of(monitor).open({42, 7}, *setting);
    pthread_attr_setstacksize(&attr, stack);
    pthread_setattr_default_np(&attr);
    pthread_attr_destroy(&attr);
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->report().contains("User: unknown\n")) << w->report().toStdString();
    EXPECT_EQ(reads.load(), 1);
}

} // namespace
} // namespace ombrix
