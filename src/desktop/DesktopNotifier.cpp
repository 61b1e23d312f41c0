#include "DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace ombrix {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage call(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent)
    : DesktopNotifier(QDBusConnection::sessionBus(), parent) {}

DesktopNotifier::DesktopNotifier(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus)) {
    if (!m_bus.isConnected()) {
        return;
    }
    // Bound to the service's name: another client on the bus cannot act for it.
    m_bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                  SLOT(onClosed(uint, uint)));
    auto* watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(call(QStringLiteral("GetCapabilities")), callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        if (!reply.isError()) {
            m_markup = reply.value().contains(QStringLiteral("body-markup"));
        }
    });
}

void DesktopNotifier::notify(const QString& summary, const QString& body,
                             const QList<Action>& actions, ActionHandler onAction) {
    if (!m_bus.isConnected()) {
        return;
    }
    QStringList flat;
    for (const Action& action : actions) {
        flat << action.key << action.label;
    }
    QDBusMessage message = call(QStringLiteral("Notify"));
    message << QStringLiteral("Ombrix") << uint(0) << QStringLiteral("ombrix") << summary
            << (m_markup ? body.toHtmlEscaped() : body) << flat
            << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("ombrix")}} << -1;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, onAction = std::move(onAction)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<uint> reply = *w;
                if (!reply.isError() && onAction) {
                    m_handlers.insert(reply.value(), onAction);
                }
            });
}

void DesktopNotifier::onActionInvoked(uint id, const QString& key) {
    const ActionHandler handler = m_handlers.take(id); // once, even if the service repeats it
    if (handler) {
        handler(key);
    }
}

void DesktopNotifier::onClosed(uint id, uint) {
    m_handlers.remove(id);
}

} // namespace ombrix
