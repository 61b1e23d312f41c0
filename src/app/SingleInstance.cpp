#include "SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>

namespace ombrix {

SingleInstance::SingleInstance(QDBusConnection bus, std::function<void(const QString&)> raise,
                               QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_raise(std::move(raise)) {}

SingleInstance::Claim SingleInstance::claim(std::chrono::milliseconds timeout) {
    if (!m_bus.isConnected() || m_bus.interface() == nullptr) {
        return Claim::Alone;
    }
    // Before the name, so that a launch that finds the name finds the object.
    if (!m_bus.registerObject(QLatin1String(path), this, QDBusConnection::ExportScriptableSlots)) {
        return Claim::Alone;
    }
    const QString name = QLatin1String(service);
    // Twice: an owner that ends while we ask leaves the name free.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto taken =
            m_bus.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                               QDBusConnectionInterface::DontAllowReplacement);
        if (!taken.isValid()) {
            break;
        }
        if (taken.value() == QDBusConnectionInterface::ServiceRegistered) {
            m_owner = true;
            return Claim::Owner;
        }
        QDBusMessage activate = QDBusMessage::createMethodCall(name, QLatin1String(path), name,
                                                               QStringLiteral("Activate"));
        // The launcher's token lets a Wayland compositor give the window the focus.
        activate << qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
        const QDBusMessage answer = m_bus.call(activate, QDBus::Block, int(timeout.count()));
        if (answer.type() == QDBusMessage::ReplyMessage) {
            return Claim::Raised;
        }
        if (answer.errorName() != QDBusError::errorString(QDBusError::ServiceUnknown)) {
            break;
        }
    }
    m_bus.unregisterObject(QLatin1String(path));
    return Claim::Alone;
}

void SingleInstance::release() {
    if (m_owner) {
        m_owner = false;
        m_bus.interface()->unregisterService(QLatin1String(service));
    }
}

void SingleInstance::Activate(const QString& activationToken) {
    if (m_raise) {
        m_raise(activationToken);
    }
}

} // namespace ombrix
