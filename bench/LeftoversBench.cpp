// leftovers_bench: the window with 500 leftovers, offscreen. Real processes
// (500 sleeps, half of them ignoring SIGTERM) stand behind the rows, and
// "End Processes" goes to the real monitor on the real kernel.
//
//   reference   the window taking in the 500-row sample (built from scratch)
//   open        "End Leftovers…" clicked until the confirmation has painted
//   stall       the longest the event loop went unanswered from the click on
//               "End Processes" until every process had ended
//   all ended   that click until the last of the 500 was gone: one grace
//               (5 s) for all of them, within 7 s
//
// The last line is "ratio: X", the worse of open and stall over the
// reference: at most 1 when neither holds the window longer than one refresh.

#include "Kernel.h"
#include "MonitorState.h"
#include "PathMaskSetting.h"
#include "ProcessListView.h"
#include "ProcessMonitor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <set>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using namespace ombrix;

constexpr int kCount = 500;

// Rows the bench sets; ending goes to a real monitor.
class BenchMonitor final : public MonitorState {
public:
    using MonitorState::setProcesses;
    void terminate(const ProcessRef&) override {}
    void endProcesses(const QList<ProcessRef>& processes) override { real.endProcesses(processes); }
    void forceQuit(const ProcessRef&) override {}

    ProcessMonitor real{[] {
        ProcessMonitor::Options options;
        options.pollLoop = false;
        return options;
    }()};
};

pid_t spawnSleep(bool ignoresTerm) {
    // An ignored signal stays ignored across exec.
    std::signal(SIGTERM, ignoresTerm ? SIG_IGN : SIG_DFL);
    char sleep[] = "/bin/sleep";
    char seconds[] = "600";
    char* argv[] = {sleep, seconds, nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, sleep, nullptr, nullptr, argv, environ) != 0) {
        pid = -1;
    }
    std::signal(SIGTERM, SIG_DFL);
    return pid;
}

template <typename T> T* find(const QString& name) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* found = top->objectName() == name ? qobject_cast<T*>(top) : nullptr) {
            return found;
        }
        if (auto* found = top->findChild<T*>(name)) {
            return found;
        }
    }
    return nullptr;
}

double ms(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const platform::Kernel& kernel = platform::systemKernel();

    QList<DartProcess> rows;
    std::set<pid_t> running;
    for (int i = 0; i < kCount; ++i) {
        const pid_t pid = spawnSleep(i % 2 == 1);
        const auto usage = pid > 0 ? kernel.usage(pid) : std::nullopt;
        if (!usage) {
            std::fprintf(stderr, "could not start process %d\n", i);
            return 1;
        }
        running.insert(pid);
        DartProcess p;
        p.id = pid;
        p.name = QStringLiteral("Flutter Tester");
        p.executableName = QStringLiteral("flutter_tester");
        p.command = QStringLiteral("flutter_tester --run-forever test/widget_%1_test.dart").arg(i);
        p.projectPath = QStringLiteral("/home/me/code/app_%1").arg(i % 7);
        p.memoryBytes = quint64(60) << 20;
        p.startTime = usage->startTime;
        p.leftover = true;
        rows.append(p);
    }

    PathMaskSetting setting;
    BenchMonitor monitor;
    ProcessListView view(monitor, setting, false);
    view.resize(1000, 700);
    view.show();
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    monitor.setProcesses(rows);
    QApplication::processEvents();
    view.grab();
    const double reference = ms(timer);

    timer.restart();
    find<QAbstractButton>(QStringLiteral("endLeftovers"))->click();
    QApplication::processEvents();
    QWidget* dialog = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == QStringLiteral("endLeftovers") && top->isVisible()) {
            dialog = top;
        }
    }
    if (dialog == nullptr) {
        std::fprintf(stderr, "the confirmation did not open\n");
        return 1;
    }
    dialog->grab();
    const double open = ms(timer);
    const QScrollBar* bar = dialog->findChild<QTreeWidget*>()->verticalScrollBar();
    const bool scrolls = bar->maximum() > 0;

    // Ticks every 5 ms; the longest gap between two is the longest stall.
    QElapsedTimer sinceTick;
    double stall = 0;
    QTimer meter;
    meter.setTimerType(Qt::PreciseTimer);
    QObject::connect(&meter, &QTimer::timeout, [&] {
        stall = std::max(stall, ms(sinceTick));
        sinceTick.restart();
    });
    QTimer reaper;
    QObject::connect(&reaper, &QTimer::timeout, [&] {
        for (pid_t pid; (pid = ::waitpid(-1, nullptr, WNOHANG)) > 0;) {
            running.erase(pid);
        }
    });
    meter.start(5);
    reaper.start(10);
    sinceTick.start();
    timer.restart();
    dialog->findChild<QAbstractButton*>(QStringLiteral("endProcesses"))->click();
    while (!running.empty() && timer.elapsed() < 20000) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const double allEnded = ms(timer);
    meter.stop();
    const std::size_t left = running.size();
    for (const pid_t pid : running) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }

    std::printf("%d leftovers, half of them ignoring SIGTERM\n", kCount);
    std::printf("reference, the window taking in the 500 rows: %.1f ms\n", reference);
    std::printf("open, the confirmation painted: %.1f ms (within 1000 ms), scrolls: %s\n", open,
                scrolls ? "yes" : "no");
    std::printf("all ended: %.0f ms (one 5000 ms grace; within 7000 ms), %zu left\n", allEnded,
                left);
    std::printf("stall, the longest the window went unanswered meanwhile: %.1f ms\n", stall);
    std::printf("ratio: %.3f\n", std::max(open, stall) / reference);
    return left == 0 ? 0 : 1;
}
