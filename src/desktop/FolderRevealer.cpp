#include "FolderRevealer.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QTimer>

namespace ombrix {

FolderRevealer::FolderRevealer(QObject* parent)
    : FolderRevealer(
          QDBusConnection::sessionBus(), [](const QUrl& url) { QDesktopServices::openUrl(url); },
          parent) {}

FolderRevealer::FolderRevealer(Opener fallback, QObject* parent)
    : FolderRevealer(QDBusConnection::sessionBus(), std::move(fallback), parent) {}

FolderRevealer::FolderRevealer(QDBusConnection bus, Opener fallback, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_fallback(std::move(fallback)) {}

void FolderRevealer::reveal(const QString& path) {
    if (path.isEmpty()) {
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    if (!m_bus.isConnected()) {
        // Later, not now: the caller is usually inside a click handler.
        QTimer::singleShot(0, this, [this, url] { openInstead(url); });
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{url.toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, url](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                if (w->isError()) {
                    openInstead(url);
                } else {
                    emit finished(url, true);
                }
            });
}

void FolderRevealer::openInstead(const QUrl& url) {
    if (m_fallback) {
        m_fallback(url);
    }
    emit finished(url, false);
}

} // namespace ombrix
