// How long the full window takes to take in one sample of 200 rows, offscreen.
//
//   double applyTwoHundredRowsMs();      // steady state: rows exist, every figure changed
//   double applyTwoHundredNewRowsMs();   // first sample: all 200 rows are built
//
// Both need a QApplication (offscreen is fine) and return the median of several
// runs, in milliseconds. A run is: publish the sample, let the view update its
// rows and stats, flush the posted layout requests, and paint the window once.

#include "BenchMonitor.h"
#include "PathMaskSetting.h"
#include "ProcessListView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <algorithm>
#include <vector>

namespace ombrix::bench {

namespace {

QList<DartProcess> sample(int generation) {
    QList<DartProcess> rows;
    const QString home = QDir::homePath();
    for (int i = 0; i < 200; ++i) {
        DartProcess p;
        p.id = 10000 + i;
        p.name = QStringLiteral("Analyzer (VS Code) #%1").arg(i);
        p.executableName = QStringLiteral("dart");
        p.command = QStringLiteral("dart language-server --client-id=vscode --protocol=lsp");
        if (i % 3 == 0) {
            p.workspace = home + QStringLiteral("/code/workspace_%1").arg(i);
        } else {
            p.projectPath = home + QStringLiteral("/code/project_%1/packages/app").arg(i);
        }
        p.cpuPercent = double((i * 7 + generation * 13) % 1000) / 10.0;
        p.memoryBytes = quint64(50 + (i * 37 + generation) % 2000) << 20;
        rows.append(p);
    }
    return rows;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double timeOne(BenchMonitor& monitor, ProcessListView& view, const QList<DartProcess>& rows) {
    QElapsedTimer timer;
    timer.start();
    monitor.setProcesses(rows);
    QApplication::processEvents();
    view.grab(); // one full paint of what is on screen
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

double applyTwoHundredRowsMs() {
    PathMaskSetting setting;
    BenchMonitor monitor;
    ProcessListView view(monitor, setting, false);
    view.resize(1000, 700);
    view.show();
    monitor.setProcesses(sample(0));
    QApplication::processEvents();
    std::vector<double> runs;
    for (int g = 1; g <= 15; ++g) {
        runs.push_back(timeOne(monitor, view, sample(g)));
    }
    return median(runs);
}

double applyTwoHundredNewRowsMs() {
    PathMaskSetting setting;
    std::vector<double> runs;
    for (int g = 0; g < 7; ++g) {
        BenchMonitor monitor;
        ProcessListView view(monitor, setting, false);
        view.resize(1000, 700);
        view.show();
        QApplication::processEvents();
        runs.push_back(timeOne(monitor, view, sample(g)));
    }
    return median(runs);
}

} // namespace ombrix::bench

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The reference is the same sample applied to a view that has to build
    // every row: the ratio is what keeping rows per pid saves.
    const double kept = ombrix::bench::applyTwoHundredRowsMs();
    const double built = ombrix::bench::applyTwoHundredNewRowsMs();
    std::printf("apply 200 rows (rows kept): %.2f ms\n", kept);
    std::printf("apply 200 rows (first sample, reference): %.2f ms\n", built);
    std::printf("ratio: %.3f\n", built > 0 ? kept / built : 0.0);
    return 0;
}
