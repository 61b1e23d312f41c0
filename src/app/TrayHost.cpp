#include "TrayHost.h"

#include "StatusNotifierItem.h"

#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace ombrix {

namespace {

constexpr const char* watcherPath = "/StatusNotifierWatcher";

} // namespace

bool TrayHost::hostRegistered(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
        return false;
    }
    const QVariant answer = reply.arguments().constFirst();
    if (answer.metaType() != QMetaType::fromType<QDBusVariant>()) {
        return false;
    }
    const QVariant value = answer.value<QDBusVariant>().variant();
    return value.metaType() == QMetaType::fromType<bool>() && value.toBool();
}

TrayHost::Face TrayHost::face(bool hostRegistered, bool xembedTray) {
    if (hostRegistered) {
        return Face::Item;
    }
    return xembedTray ? Face::TrayIcon : Face::Window;
}

TrayHostWatch::TrayHostWatch(QDBusConnection bus, std::chrono::milliseconds grace, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus)) {
    const QString service = QLatin1String(StatusNotifierItem::watcherService);
    m_grace.setSingleShot(true);
    m_grace.setInterval(grace);
    connect(&m_grace, &QTimer::timeout, this, [this] { emit answered(false); });
    auto* owner =
        new QDBusServiceWatcher(service, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owner, &QDBusServiceWatcher::serviceOwnerChanged, this, &TrayHostWatch::ask);
    for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
        m_bus.connect(service, QLatin1String(watcherPath), service, QLatin1String(signal), this,
                      SLOT(hostsChanged()));
    }
}

void TrayHostWatch::hostsChanged() {
    ask();
}

void TrayHostWatch::ask() {
    const QString service = QLatin1String(StatusNotifierItem::watcherService);
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, QLatin1String(watcherPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << service << QStringLiteral("IsStatusNotifierHostRegistered");
    const quint64 asked = ++m_asked;
    m_grace.start();
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, asked](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                if (asked != m_asked) {
                    return;
                }
                m_grace.stop();
                emit answered(TrayHost::hostRegistered(done->reply()));
            });
}

} // namespace ombrix
