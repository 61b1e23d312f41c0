#pragma once

// The tray item's face, composed from the monitor: the title (the total
// memory of the watched processes, drawn beside the icon where the panel
// draws a label, else the tooltip's first line), the tooltip (the title, then
// the leftovers' line while there are any), whether the item wants attention
// (while there are leftovers), and the menu's entries. changed() follows
// every published process list that changes any of them.

#include "DBusMenuExporter.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>

namespace ombrix {

class MonitorState;

class MenuBarLabel : public QObject {
    Q_OBJECT
public:
    // `monitor` must outlive the label.
    explicit MenuBarLabel(MonitorState& monitor, QObject* parent = nullptr);

    QString title() const;
    QString toolTip() const;
    bool attention() const;
    const QList<MenuEntry>& menu() const { return m_menu; }

    // The widest title, so that a panel keeps the label's room steady.
    static QString titleGuide() { return QStringLiteral("1,023.9 MB"); }

    // The tray's icon: the theme's symbolic icon of this name when installed,
    // else a drawing that keeps its contrast on dark and light panels.
    static constexpr const char* symbolicIconName = "ombrix-tray-symbolic";
    static QIcon trayIcon();
    // The drawing with a badge, for an item that wants attention.
    static QIcon attentionIcon();
    // The drawing alone, for panels that are given pixels.
    static QIcon drawnIcon();

signals:
    void changed();

private:
    void refresh();

    MonitorState& m_monitor;
    QString m_title;
    QString m_toolTip;
    bool m_attention = false;
    QList<MenuEntry> m_menu;
};

} // namespace ombrix
