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
#include "StatusNotifierItem.h"
#include "TrayHost.h"
#include "TrayMenu.h"
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

    m_label = std::make_unique<MenuBarLabel>(monitor());
    connect(m_label.get(), &MenuBarLabel::changed, this, &OmbrixApp::showFace);
    m_trayMenu = std::make_unique<QMenu>();

    if (!m_options.trayAvailable) {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected()) {
            // Nothing shows until the watcher answers, or at most 2 s.
            auto* hosts = new TrayHostWatch(bus, std::chrono::seconds(2), this);
            connect(hosts, &TrayHostWatch::answered, this, &OmbrixApp::followHost);
            hosts->ask();
            return;
        }
    }
    followHost(false);
}

void OmbrixApp::followHost(bool hostRegistered) {
    using TrayHost::Face;
    const auto xembed = [this] {
        return m_options.trayAvailable.value_or(QSystemTrayIcon::isSystemTrayAvailable());
    };
    Face face = TrayHost::face(hostRegistered, !hostRegistered && xembed());
    if (face == Face::Item && !useStatusNotifier()) {
        face = TrayHost::face(false, xembed());
    }
    if (face == m_face) {
        return; // a window the user has put away stays away
    }
    m_face = face;
    // The item stays exported while no host draws it: it registers again with
    // a new watcher, and a host that comes back finds it with the same ids.
    QApplication::setQuitOnLastWindowClosed(face == Face::Window);
    if (face == Face::Item) {
        m_tray.reset(); // the host takes over from the XEmbed icon or the window
    } else if (face == Face::TrayIcon) {
        buildTray();
    } else {
        m_tray.reset();
        openWindow();
    }
}

void OmbrixApp::buildPanel() {
    if (m_panel) {
        return;
    }
    m_panel = std::make_unique<TrayPanel>(monitor(), *m_hidePaths,
                                          ProcessListView::Actions{
                                              [this] {
                                                  m_panel->hide();
                                                  openWindow();
                                              },
                                              [this] { checkForUpdates(); },
                                              [this] { quit(); },
                                          });
    connect(m_panel.get(), &TrayPanel::iconMenuRequested, this,
            [this](const QPoint& at) { m_trayMenu->popup(at); });
}

void OmbrixApp::buildTray() {
    if (m_tray) {
        return;
    }
    buildPanel();
    m_tray = std::make_unique<QSystemTrayIcon>();
    m_tray->setContextMenu(m_trayMenu.get());
    m_tray->setIcon(MenuBarLabel::trayIcon());
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    m_panel->toggle(m_tray->geometry(), QCursor::pos());
                }
            });
    showFace();
    m_tray->show();
}

bool OmbrixApp::useStatusNotifier() {
    if (m_item) {
        return true;
    }
    auto item = std::make_unique<StatusNotifierItem>(
        QDBusConnection::sessionBus(), QStringLiteral("ombrix"), QApplication::applicationName());
    item->setIcon(QLatin1String(MenuBarLabel::symbolicIconName), MenuBarLabel::drawnIcon());
    item->setAttentionIcon(MenuBarLabel::attentionIcon());
    item->setLabel(m_label->title(), MenuBarLabel::titleGuide());
    if (!item->start()) {
        return false;
    }
    m_item = std::move(item);
    buildPanel();
    connect(m_item.get(), &StatusNotifierItem::activated, this,
            [this](const QPoint& at) { m_panel->toggle(QRect(), at); });
    connect(m_item.get(), &StatusNotifierItem::secondaryActivated, this, &OmbrixApp::openWindow);
    connect(m_item.get(), &StatusNotifierItem::contextMenuRequested, this,
            [this](const QPoint& at) { m_trayMenu->popup(at); });
    connect(&m_item->menu(), &DBusMenuExporter::chosen, this, &OmbrixApp::choose);
    showFace();
    return true;
}

void OmbrixApp::showFace() {
    const QList<MenuEntry>& entries = m_label->menu();
    if (m_item) {
        m_item->setLabel(m_label->title(), MenuBarLabel::titleGuide());
        m_item->setToolTip(QApplication::applicationName(), m_label->toolTip());
        m_item->setStatus(m_label->attention() ? StatusNotifierItem::Status::NeedsAttention
                                               : StatusNotifierItem::Status::Active);
        m_item->menu().setEntries(entries);
    }
    if (m_tray) {
        m_tray->setToolTip(m_label->toolTip());
        if (m_label->attention() != m_attentionShown) {
            m_attentionShown = m_label->attention();
            m_tray->setIcon(m_attentionShown ? MenuBarLabel::attentionIcon()
                                             : MenuBarLabel::trayIcon());
        }
    }
    TrayMenu::fill(*m_trayMenu, entries, [this](const QString& key) { choose(key); });
}

void OmbrixApp::choose(const QString& key) {
    if (key == QLatin1String(TrayMenu::checkForUpdatesKey)) {
        checkForUpdates();
    } else if (key == QLatin1String(TrayMenu::quitKey)) {
        quit();
    } else if (key == QLatin1String(TrayMenu::endLeftoversKey)) {
        openWindow();
        m_window->view().confirmEndLeftovers();
    } else if (const auto process = TrayMenu::processOf(key)) {
        openWindow();
        // Once the shown window has laid its rows out.
        QTimer::singleShot(0, m_window.get(),
                           [this, ref = *process] { m_window->view().showProcess(ref); });
    } else if (key == QLatin1String(TrayMenu::openWindowKey) ||
               key == QLatin1String(TrayMenu::moreKey)) {
        openWindow();
    }
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
