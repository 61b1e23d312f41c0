#pragma once

// Desktop notifications through the session's org.freedesktop.Notifications.
// Nothing here blocks: every call goes out without waiting for its answer,
// and with no notification service (or no session bus) nothing is shown and
// nothing fails. An action the user picks is handed back once, and only when
// it comes from the service that showed the notification. Used on the thread
// that owns it.

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

namespace ombrix {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    struct Action {
        QString key;   // what comes back
        QString label; // what the user reads
    };
    using ActionHandler = std::function<void(const QString& key)>;

    explicit DesktopNotifier(QObject* parent = nullptr);
    DesktopNotifier(QDBusConnection bus, QObject* parent = nullptr);

    // `summary` is shown as plain text; `body` too, escaped where the service
    // reads markup.
    void notify(const QString& summary, const QString& body, const QList<Action>& actions = {},
                ActionHandler onAction = {});

    static constexpr int callTimeoutMs = 5000;

private slots:
    void onActionInvoked(uint id, const QString& key);
    void onClosed(uint id, uint reason);

private:
    QDBusConnection m_bus;
    bool m_markup = true; // until the service says otherwise: escaping is the safe guess
    QHash<uint, ActionHandler> m_handlers;
};

} // namespace ombrix
