#include "OmbrixApp.h"

#include "DesktopNotifier.h"
#include "DetailsWindows.h"
#include "Kernel.h"
#include "LeftoverAlerts.h"
#include "MainWindow.h"
#include "MenuBarLabel.h"
#include "PathMaskSetting.h"
#include "ProcessMonitor.h"
#include "ProcessText.h"
#include "TrayPanel.h"
#include "Updater.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

namespace ombrix {

OmbrixApp::OmbrixApp(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_hidePaths(std::make_unique<PathMaskSetting>()) {}

OmbrixApp::~OmbrixApp() = default;

void OmbrixApp::tellLeftovers() {
    const qint64 now = m_clock.elapsed();
    const MonitorState& state = monitor();
    if (auto notice =
            m_alerts->update(state.processes(), now, state.pressureHistory().size() <= 1)) {
        QList<DesktopNotifier::Action> actions;
        if (!notice->targets.isEmpty()) {
            actions.append({QStringLiteral("end"), tr("End")});
        }
        if (notice->details) {
            actions.append({QStringLiteral("details"), tr("Details")});
        }
        m_notifier->notify(
            notice->summary, notice->body, actions,
            [this, targets = notice->targets, details = notice->details](const QString& key) {
                if (key == QLatin1String("end")) {
                    monitor().endProcesses(targets);
                } else if (key == QLatin1String("details") && details) {
                    DetailsWindows::of(monitor()).open(*details, *m_hidePaths);
                }
            });
    }
    if (const auto due = m_alerts->dueAt()) {
        m_alertTimer.start(int(qMax<qint64>(0, *due - now)));
    }
}

MonitorState& OmbrixApp::monitor() {
    if (!m_monitor) {
        m_monitor =
            m_options.makeMonitor ? m_options.makeMonitor() : std::make_unique<ProcessMonitor>();
    }
    return *m_monitor;
}

void OmbrixApp::start() {
    if (m_window) {
        return;
    }
    m_window = std::make_unique<MainWindow>(
        monitor(), *m_hidePaths,
        MainWindow::Actions{[this] { checkForUpdates(); }, [this] { quit(); }});

    m_clock.start();
    const QString home = QString::fromStdString(platform::systemKernel().homeDirectory());
    m_alerts = std::make_unique<LeftoverAlerts>([this, home](const DartProcess& p) {
        return ProcessText::placeOrPid(p, home, m_hidePaths->hidden());
    });
    m_notifier = std::make_unique<DesktopNotifier>();
    m_alertTimer.setSingleShot(true);
    connect(&m_alertTimer, &QTimer::timeout, this, &OmbrixApp::tellLeftovers);
    connect(&monitor(), &MonitorState::processesChanged, this, &OmbrixApp::tellLeftovers);

    const bool tray = m_options.trayAvailable.value_or(QSystemTrayIcon::isSystemTrayAvailable());
    QApplication::setQuitOnLastWindowClosed(!tray);
    if (tray) {
        buildTray();
    } else {
        openWindow();
    }
}

void OmbrixApp::buildTray() {
    m_panel = std::make_unique<TrayPanel>(monitor(), *m_hidePaths,
                                          ProcessListView::Actions{
                                              [this] {
                                                  m_panel->hide();
                                                  openWindow();
                                              },
                                              [this] { checkForUpdates(); },
                                              [this] { quit(); },
                                          });

    m_trayMenu = std::make_unique<QMenu>();
    m_trayMenu->addAction(tr("Open Window"), this, &OmbrixApp::openWindow);
    m_trayMenu->addAction(tr("Check for Updates\u2026"), this, &OmbrixApp::checkForUpdates);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(tr("Quit"), this, &OmbrixApp::quit);

    connect(m_panel.get(), &TrayPanel::iconMenuRequested, this,
            [this](const QPoint& at) { m_trayMenu->popup(at); });

    m_tray = std::make_unique<QSystemTrayIcon>();
    m_tray->setContextMenu(m_trayMenu.get());
    m_label = std::make_unique<MenuBarLabel>(monitor(), *m_tray);
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    m_panel->toggle(m_tray->geometry(), QCursor::pos());
                }
            });
    m_tray->show();
}

void OmbrixApp::openWindow() {
    if (!m_window) {
        return;
    }
    m_window->show();
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->raise();
    m_window->activateWindow();
}

void OmbrixApp::checkForUpdates() {
    if (m_options.checkForUpdates) {
        m_options.checkForUpdates();
    } else {
        Updater::shared().checkForUpdates();
    }
}

void OmbrixApp::quit() {
    if (m_options.quit) {
        m_options.quit();
    } else {
        QCoreApplication::quit();
    }
}

} // namespace ombrix
