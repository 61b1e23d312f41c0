#pragma once

// Whether a StatusNotifierItem host draws items on the session bus now, and
// what carries the program accordingly. A watcher that owns its name is not
// enough: GNOME's extension disabled, or a panel ended for good, can leave
// no host, or no watcher at all, and an item then shows nowhere.
//
// TrayHostWatch asks the watcher's IsStatusNotifierHostRegistered at once and
// again whenever the watcher's name changes owner or a host registers or
// unregisters. It never waits on the watcher: an answer that has not come
// within `grace` counts as no host until it comes. Used on the thread that
// owns it.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QTimer>
#include <chrono>

namespace ombrix {

namespace TrayHost {

enum class Face {
    Item,     // our StatusNotifierItem
    TrayIcon, // Qt's tray icon in an XEmbed tray
    Window,   // no tray: the main window, and closing it quits
};

// Whether `reply` (to the Get of IsStatusNotifierHostRegistered) says yes;
// an error, no answer or any other type says no.
bool hostRegistered(const QDBusMessage& reply);

Face face(bool hostRegistered, bool xembedTray);

} // namespace TrayHost

class TrayHostWatch : public QObject {
    Q_OBJECT
public:
    TrayHostWatch(QDBusConnection bus, std::chrono::milliseconds grace, QObject* parent = nullptr);

    // Asks again; answered() follows from the event loop.
    void ask();

signals:
    // After each question: whether a host draws items now.
    void answered(bool hostRegistered);

private slots:
    void hostsChanged();

private:
    QDBusConnection m_bus;
    QTimer m_grace;
    quint64 m_asked = 0; // only the latest question's answer counts
};

} // namespace ombrix
