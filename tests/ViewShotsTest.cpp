// Renders both forms of the view with realistic rows to PNG, for people to
// look at: always into <build>/shots, and also into $OMBRIX_SHOTS_DOCS_DIR
// (window.png, panel.png, window-agents.png) when that is set. Each shot must show what a person
// would look for: the whole view, drawn, with the rows and the masking visible.

#include "Analyzers.h"
#include "FakeMonitor.h"
#include "PathMaskSetting.h"
#include "ProcessListView.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <gtest/gtest.h>

namespace ombrix {
namespace {

using ::ombrix::testing::FakeMonitor;

DartProcess row(Pid id, const char* name, const char* exe, double cpu, quint64 mb,
                std::optional<QString> project, std::optional<QString> workspace = {}) {
    DartProcess p;
    p.id = id;
    p.name = QString::fromUtf8(name);
    p.executableName = QString::fromUtf8(exe);
    p.command = p.executableName + " --sample";
    p.cpuPercent = cpu;
    p.memoryBytes = mb * 1024 * 1024;
    p.projectPath = std::move(project);
    p.workspace = std::move(workspace);
    return p;
}

void fill(FakeMonitor& monitor) {
    const QString home = QDir::homePath();
    monitor.setProcesses({
        row(48211, "Analyzer (VS Code)", "dart", 12.4, 1843, std::nullopt, home + "/code/shop_app"),
        row(48377, "Frontend Compiler (Flutter)", "dart", 63.0, 912, home + "/code/shop_app"),
        row(48290, "Flutter Run (linux)", "flutter", 4.1, 388, home + "/code/shop_app"),
        row(48402, "Dart Dev Service", "dart", 0.3, 122, home + "/code/shop_app"),
        row(47950, "Tooling Daemon (VS Code)", "dart", 0.0, 64, std::nullopt),
    });
    SystemMemory m;
    m.physical = 32ull << 30;
    m.app = 14ull << 30;
    m.wired = 3ull << 30;
    m.compressed = 1ull << 30;
    m.cachedFiles = 9ull << 30;
    m.swapUsed = 256ull << 20;
    monitor.setMemory(m);
    for (int i = 0; i < 40; ++i) {
        monitor.appendPressure(0.18 + 0.5 * ((i * 7) % 11) / 11.0 * (i > 20 ? 1.0 : 0.6));
    }
}

// A VS Code window and two agent sessions on one project; the first agent
// has ended and left its MCP server and that server's analyzer behind.
QList<DartProcess> agents() {
    const QString app = QDir::homePath() + "/code/weather_app";
    const auto by = [](DartProcess p, Pid pid, const char* name, StarterKind kind) {
        p.startedBy = IdeAncestor{pid, QString::fromUtf8(name), kind, QString()};
        p.analyzer = p.name.startsWith(QLatin1String("Analyzer"));
        return p;
    };
    QList<DartProcess> rows = {
        by(row(51200, "Analyzer (Claude Code)", "dart", 0.4, 2870, app), 51010, "Claude Code",
           StarterKind::Agent),
        by(row(52310, "Analyzer (Claude Code)", "dart", 31.0, 2810, app), 52100, "Claude Code",
           StarterKind::Agent),
        by(row(48211, "Analyzer (VS Code)", "dart", 6.2, 1843, app), 47800, "VS Code",
           StarterKind::Ide),
        by(row(51190, "MCP Server (Claude Code)", "dart", 0.0, 96, app), 51010, "Claude Code",
           StarterKind::Agent),
        by(row(52290, "MCP Server (Claude Code)", "dart", 0.1, 98, app), 52100, "Claude Code",
           StarterKind::Agent),
    };
    for (qsizetype i = 0; i < rows.size(); ++i) {
        rows[i].startTime = quint64(rows[i].id);
    }
    rows[3].leftover = true;
    rows[0].leftover = true;
    rows[0].family = ProcessRef{rows[3].id, rows[3].startTime};
    Analyzers::mark(rows, QDir::homePath());
    return rows;
}

// Saves what `w` shows and hands the picture back for checking.
QImage save(QWidget& w, const QString& name) {
    // Nested layouts settle one level per pass.
    for (int i = 0; i < 4; ++i) {
        QApplication::processEvents();
    }
    const QString dir = QStringLiteral(OMBRIX_BINARY_DIR "/shots");
    QDir().mkpath(dir);
    const QPixmap shot = w.grab();
    EXPECT_TRUE(shot.save(dir + "/" + name)) << name.toStdString();
    const QString docs = qEnvironmentVariable("OMBRIX_SHOTS_DOCS_DIR");
    if (!docs.isEmpty() &&
        (name == "window.png" || name == "panel.png" || name == "window-agents.png")) {
        QDir().mkpath(docs);
        EXPECT_TRUE(shot.save(docs + "/" + name));
    }
    return shot.toImage().convertToFormat(QImage::Format_RGB32);
}

// Share of the pixels of `a` that differ from `b` (or, without `b`, from the top-left one).
double changed(const QImage& a, const QImage& b = {}) {
    if (!b.isNull() && a.size() != b.size()) {
        return 1.0;
    }
    qsizetype differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            differing += a.pixel(x, y) != (b.isNull() ? a.pixel(0, 0) : b.pixel(x, y));
        }
    }
    return a.isNull() ? 0.0 : double(differing) / (double(a.width()) * a.height());
}

TEST(ViewShots, WindowAndPanel) {
    QSettings(QStringLiteral("Ombrix"), QStringLiteral("Ombrix")).clear();
    PathMaskSetting setting;
    FakeMonitor monitor;
    ProcessListView window(monitor, setting, false);
    window.resize(900, 400);
    window.show();
    ProcessListView panel(monitor, setting, true);
    panel.resize(540, 470);
    panel.show();

    struct Shot {
        QWidget* view;
        QSize size;
        const char* name;
        QImage empty = {}, filled = {}, masked = {}, leftovers = {};
    };
    Shot shots[] = {{&window, {900, 400}, "window"}, {&panel, {540, 470}, "panel"}};
    const auto take = [](Shot& s, const char* suffix) {
        return save(*s.view, QString::fromLatin1(s.name) + suffix + ".png");
    };
    for (Shot& s : shots) {
        s.empty = take(s, "-empty");
    }
    fill(monitor);
    for (Shot& s : shots) {
        s.filled = take(s, "");
    }
    setting.setHidden(true);
    for (Shot& s : shots) {
        s.masked = take(s, "-masked");
    }
    setting.setHidden(false);
    QList<DartProcess> rows = monitor.processes();
    rows[0].leftover = true; // the analyzer of a closed window, and its daemon
    rows[4].leftover = true;
    rows[1].ignoredTerminate = true;
    monitor.setProcesses(rows);
    for (Shot& s : shots) {
        s.leftovers = take(s, "-leftovers");
    }
    for (const Shot& s : shots) {
        SCOPED_TRACE(s.name);
        const QSize expected = s.size * s.view->devicePixelRatio();
        EXPECT_EQ(s.empty.size(), expected);
        EXPECT_EQ(s.filled.size(), expected);
        EXPECT_EQ(s.masked.size(), expected);
        // Not blank: the empty view shows its header and placeholder, the
        // rows cover a good part of the view, and masking redraws the paths.
        EXPECT_GT(changed(s.empty), 0.01);
        EXPECT_GT(changed(s.filled, s.empty), 0.05);
        EXPECT_GT(changed(s.masked, s.filled), 0.002);
        EXPECT_EQ(s.leftovers.size(), expected) << "the leftover line fits in the same view";
        EXPECT_GT(changed(s.leftovers, s.filled), 0.002);
    }
    monitor.setProcesses(agents());
    EXPECT_GT(changed(save(window, "window-agents.png"), shots[0].filled), 0.05);
}

} // namespace
} // namespace ombrix
