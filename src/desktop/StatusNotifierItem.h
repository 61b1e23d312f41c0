#pragma once

// Our own item in a StatusNotifierItem panel (GNOME's AppIndicator extension,
// KDE Plasma, Xfce, …): an icon, a text label beside it where the host draws
// one (XAyatanaLabel), a tooltip, and a dbusmenu, at itemPath on the session
// bus. It registers with org.kde.StatusNotifierWatcher, again each time the
// watcher's name gets a new owner (the shell or its extension restarted).
// It owns no well-known name: GNOME's extension, given one, can drop the item
// while it first reads it.
//
// Nothing here waits on the host: every call goes out asynchronously, and a
// watcher that never answers holds nothing. Signals go out only when a value
// changed. Used on the thread that owns it.

#include "DBusMenuExporter.h"
#include "StatusNotifierTypes.h"

#include <QDBusConnection>
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <chrono>

class QDBusServiceWatcher;

namespace ombrix {

class StatusNotifierItem : public QObject {
    Q_OBJECT
public:
    static constexpr const char* watcherService = "org.kde.StatusNotifierWatcher";
    static constexpr const char* itemPath = "/StatusNotifierItem";

    enum class Status { Active, NeedsAttention };

    // `id` and `title` name the item to the host ("Id", "Title").
    StatusNotifierItem(QDBusConnection bus, QString id, QString title, QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    // Exports the item and its menu and starts registering; false when the
    // bus is not connected or the objects' paths are taken.
    bool start();

    // `themeName` is used where the icon theme has it; `drawn` always goes
    // along as pixels for hosts that cannot find the name.
    void setIcon(const QString& themeName, const QIcon& drawn);
    void setAttentionIcon(const QIcon& drawn);
    void setLabel(const QString& label, const QString& guide);
    // Plain text; the host is given it escaped for markup.
    void setToolTip(const QString& title, const QString& text);
    void setStatus(Status status);
    DBusMenuExporter& menu() { return m_menu; }

    // For a process about to end without its destructors: waits, at most
    // `timeout`, until what is queued (the answer to the menu call that chose
    // Quit) has left for the bus. Asks the bus daemon, never the host.
    void flush(std::chrono::milliseconds timeout) const;

    // What the host reads.
    QString id() const { return m_id; }
    QString title() const { return m_title; }
    QString statusText() const;
    QString iconName() const { return m_iconName; }
    const SniPixmaps& iconPixmaps() const;
    const SniPixmaps& attentionPixmaps() const;
    QString label() const { return m_label; }
    QString labelGuide() const { return m_guide; }
    SniToolTip toolTip() const;

    // The ARGB32 network-byte-order rendering of `icon` at the sizes panels use.
    static SniPixmaps pixmaps(const QIcon& icon);

signals:
    void activated(const QPoint& at); // a primary click (KDE, Xfce) or GNOME's double click
    void secondaryActivated(const QPoint& at); // a middle click
    void contextMenuRequested(const QPoint& at);
    void newLabel(const QString& label, const QString& guide);
    void newIcon();
    void newAttentionIcon();
    void newToolTip();
    void newStatus(const QString& status);

private:
    void registerWithWatcher();

    QDBusConnection m_bus;
    QString m_id;
    QString m_title;
    QDBusServiceWatcher* m_watcher = nullptr;
    DBusMenuExporter m_menu;
    QString m_iconName;
    SniPixmaps m_icon;
    SniPixmaps m_attention;
    QString m_label;
    QString m_guide;
    QString m_tipTitle;
    QString m_tipText;
    Status m_status = Status::Active;
};

} // namespace ombrix
