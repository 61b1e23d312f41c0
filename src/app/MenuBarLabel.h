#pragma once

// The tray item's face: the "memorychip" symbol, with the total memory of the
// watched processes as its tooltip (a tray item has no room for a title),
// and a second line counting the leftovers while there are any. Refreshed whenever the monitor
// publishes a different process list.

#include <QIcon>
#include <QObject>
#include <QString>

class QSystemTrayIcon;

namespace ombrix {

class MonitorState;

class MenuBarLabel : public QObject {
    Q_OBJECT
public:
    // Both must outlive the label.
    MenuBarLabel(MonitorState& monitor, QSystemTrayIcon& tray, QObject* parent = nullptr);

    // What the tray shows as text now: the byte-count text of the total.
    QString title() const;
    // The tooltip: the title, then the leftovers' line when there are any.
    QString toolTip() const;

    // The tray's icon: the theme's symbolic icon of this name when installed,
    // else a drawing that keeps its contrast on dark and light panels.
    static constexpr const char* symbolicIconName = "ombrix-tray-symbolic";
    static QIcon trayIcon();

private:
    void refresh();

    MonitorState& m_monitor;
    QSystemTrayIcon& m_tray;
};

} // namespace ombrix
