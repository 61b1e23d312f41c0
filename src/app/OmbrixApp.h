#pragma once

// The shell of the run: owns the one ProcessMonitor (created when the scenes
// are first built, never in dump mode), the shared path-mask setting, the main
// window, the tray item and its panel, and the desktop notifications of new
// leftovers. It decides nothing about processes.
//
// The tray item is our own StatusNotifierItem while a StatusNotifierItem host
// is registered on the session bus (GNOME's AppIndicator extension, KDE,
// Xfce): a label with the total, a menu of the processes. Without one it is
// Qt's tray icon (XEmbed), or, with no tray at all, the window; this is
// decided again whenever a host comes or goes (TrayHost.h), so the program
// never runs on out of reach.
//
// Call order: construct, then start() once the QApplication exists. The dump
// is decided before either (DumpRequest.h), so it never needs a display.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QSystemTrayIcon;

namespace ombrix {

class DesktopNotifier;
class LeftoverAlerts;
class MainWindow;
class MenuBarLabel;
class PathMaskSetting;
class MonitorState;
class StatusNotifierItem;
class TrayPanel;
namespace TrayHost {
enum class Face;
}

class OmbrixApp : public QObject {
    Q_OBJECT
public:
    struct Options {
        // Builds the monitor on first use; empty: the real, polling one.
        std::function<std::unique_ptr<MonitorState>()> makeMonitor;
        // Whether the desktop has an XEmbed system tray, and no StatusNotifierItem
        // watcher is looked for; empty: ask the session bus, then the desktop.
        std::optional<bool> trayAvailable;
        // Both update commands; empty: the shared Updater.
        std::function<void()> checkForUpdates;
        // The panel's and the menu's "Quit"; empty: QCoreApplication::quit().
        std::function<void()> quit;
    };

    explicit OmbrixApp(Options options = {}, QObject* parent = nullptr);
    ~OmbrixApp() override;

    // Builds the window and the tray item (on the session bus, once the
    // watcher has answered, within 2 s). Without a system tray the window
    // opens (otherwise nothing would be on screen) and closing it quits; with
    // one, the program lives in the tray and closing only hides.
    void start();

    // The monitor, created on the first call.
    MonitorState& monitor();
    bool hasMonitor() const { return m_monitor != nullptr; }

    void openWindow();
    void checkForUpdates();
    void quit();

    MainWindow* mainWindow() const { return m_window.get(); }
    TrayPanel* panel() const { return m_panel.get(); }
    QSystemTrayIcon* trayIcon() const { return m_tray.get(); }
    StatusNotifierItem* statusNotifierItem() const { return m_item.get(); }
    MenuBarLabel* label() const { return m_label.get(); }
    QMenu* trayMenu() const { return m_trayMenu.get(); }

    // What choosing the menu entry `key` does (TrayMenu's keys).
    void choose(const QString& key);

private:
    void buildPanel();
    void buildTray();
    bool useStatusNotifier();
    void followHost(bool hostRegistered);
    void showFace();
    void tellLeftovers();

    Options m_options;
    std::unique_ptr<PathMaskSetting> m_hidePaths;
    // Declared before the views, so destroyed after them: they hold references to it.
    std::unique_ptr<MonitorState> m_monitor;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<TrayPanel> m_panel;
    std::unique_ptr<QMenu> m_trayMenu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    std::unique_ptr<StatusNotifierItem> m_item;
    std::optional<TrayHost::Face> m_face;
    std::unique_ptr<MenuBarLabel> m_label;
    bool m_attentionShown = false; // on the XEmbed icon
    std::unique_ptr<DesktopNotifier> m_notifier;
    std::unique_ptr<LeftoverAlerts> m_alerts;
    QElapsedTimer m_clock; // monotonic, for the notices' spacing
    QTimer m_alertTimer;   // a notice held back by the spacing
};

} // namespace ombrix
