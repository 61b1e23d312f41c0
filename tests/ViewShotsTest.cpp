// Renders both forms of the view with realistic rows to PNG, for people to
// look at: always into <build>/shots, and also into $OMBRIX_SHOTS_DOCS_DIR
// (window.png, panel.png) when that is set.

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

void save(QWidget& w, const QString& name) {
    // Nested layouts settle one level per pass.
    for (int i = 0; i < 4; ++i) {
        QApplication::processEvents();
    }
    const QString dir = QStringLiteral(OMBRIX_BINARY_DIR "/shots");
    QDir().mkpath(dir);
    const QPixmap shot = w.grab();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(dir + "/" + name));
    const QString docs = qEnvironmentVariable("OMBRIX_SHOTS_DOCS_DIR");
    if (!docs.isEmpty() && (name == "window.png" || name == "panel.png")) {
        QDir().mkpath(docs);
        EXPECT_TRUE(shot.save(docs + "/" + name));
    }
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

    save(window, "window-empty.png");
    save(panel, "panel-empty.png");
    fill(monitor);
    save(window, "window.png");
    save(panel, "panel.png");
    setting.setHidden(true);
    save(window, "window-masked.png");
    save(panel, "panel-masked.png");
}

} // namespace
} // namespace ombrix
