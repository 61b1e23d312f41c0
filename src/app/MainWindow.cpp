#include "MainWindow.h"

#include "ProcessListView.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

namespace ombrix {

MainWindow::MainWindow(MonitorState& monitor, PathMaskSetting& hidePaths, Actions actions,
                       QWidget* parent)
    : QMainWindow(parent)
    , m_view(new ProcessListView(monitor, hidePaths, false)) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QApplication::applicationName());
    setMinimumSize(minimumWindowSize);
    resize(960, 600);
    setCentralWidget(m_view);

    QMenu* app = menuBar()->addMenu(QApplication::applicationName());
    app->addAction(tr("About %1").arg(QApplication::applicationName()), this,
                   &MainWindow::showAbout);
    QAction* update = app->addAction(tr("Check for Updates\u2026"));
    connect(update, &QAction::triggered, this, [run = actions.checkForUpdates] {
        if (run) {
            run();
        }
    });
    app->addSeparator();
    QAction* quit = app->addAction(tr("Quit"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, [run = actions.quit] {
        if (run) {
            run();
        }
    });
}

void MainWindow::showAbout() {
    QMessageBox::about(this, tr("About %1").arg(QApplication::applicationName()),
                       tr("<b>%1</b> %2<p>Watches the Dart and Flutter tooling processes on "
                          "this machine: what they are, which project they serve and what "
                          "they cost.</p>")
                           .arg(QApplication::applicationName(),
                                QApplication::applicationVersion().toHtmlEscaped()));
}

} // namespace ombrix
