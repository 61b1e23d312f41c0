#include "OmbrixApp.h"

#include "MainWindow.h"
#include "MenuBarLabel.h"
#include "PathMaskSetting.h"
#include "ProcessMonitor.h"
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
