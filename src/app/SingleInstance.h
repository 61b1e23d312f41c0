#pragma once

// One Ombrix per user session. The first launch owns the well-known name
// `service` on the session bus and answers Activate by raising its window; a
// later launch finds the name taken, asks its owner, and ends with status 0.
// Without a session bus, or with an owner that does not answer, a launch runs
// on its own as if it were alone. Only the window comes here: the
// command-line commands neither take nor ask for the name (main.cpp).
// Used on the thread that owns it.

#include <QDBusConnection>
#include <QObject>
#include <chrono>
#include <functional>

namespace ombrix {

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "app.ombrix.Ombrix")
public:
    static constexpr const char* service = "app.ombrix.Ombrix";
    static constexpr const char* path = "/app/ombrix/Ombrix";

    enum class Claim {
        Owner,  // the name is ours: raise() answers later launches
        Raised, // the running one was asked to raise its window: end
        Alone,  // no bus, or an owner that cannot be asked: run anyway
    };

    // `raise` runs on a later launch's Activate, from the event loop, with
    // that launch's Wayland activation token (empty when it had none).
    SingleInstance(QDBusConnection bus, std::function<void(const QString&)> raise,
                   QObject* parent = nullptr);

    // Blocks for at most `timeout` on a running owner that does not answer.
    Claim claim(std::chrono::milliseconds timeout);

    // Lets the name go at once, so that a launch during our exit runs rather
    // than asking a program that no longer answers.
    void release();

public slots:
    Q_SCRIPTABLE void Activate(const QString& activationToken);

private:
    QDBusConnection m_bus;
    std::function<void(const QString&)> m_raise;
    bool m_owner = false;
};

} // namespace ombrix
