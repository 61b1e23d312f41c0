#pragma once

// Shows a folder, selected, in the user's file manager without ever blocking
// the caller: the freedesktop FileManager1.ShowItems call goes out
// asynchronously, and when no file manager answers on the session bus (no bus,
// no such service, an error reply or no reply in time) the folder itself is
// opened with the desktop's URL handler instead. Nothing checks that the folder
// exists; what the file manager does with a missing one is its own affair.

#include <QDBusConnection>
#include <QObject>
#include <QUrl>
#include <functional>

namespace ombrix {

class FolderRevealer : public QObject {
    Q_OBJECT
public:
    using Opener = std::function<void(const QUrl&)>;

    // The session bus and QDesktopServices::openUrl.
    explicit FolderRevealer(QObject* parent = nullptr);
    // The session bus, with another fallback.
    explicit FolderRevealer(Opener fallback, QObject* parent = nullptr);
    FolderRevealer(QDBusConnection bus, Opener fallback, QObject* parent = nullptr);

    // Returns at once. An empty path is ignored.
    void reveal(const QString& path);

    static constexpr int callTimeoutMs = 5000;

signals:
    // After each reveal: whether a file manager took it, or the fallback ran.
    void finished(const QUrl& url, bool shownByFileManager);

private:
    void openInstead(const QUrl& url);

    QDBusConnection m_bus;
    Opener m_fallback;
};

} // namespace ombrix
