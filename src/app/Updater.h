#pragma once

// The one update checker of the run. checkForUpdates() fetches the appcast
// compiled in at build time, compares its newest release with the running
// version and presents the outcome (by default in a small non-modal dialog).
//
// Bounded: the whole check ends after `timeout` whether or not the server
// keeps sending, and a response larger than `maxBytes` is aborted. While a
// check runs, further requests are ignored rather than queued.
//
// Lives on the application's thread; every member is called there.

#include "Appcast.h"

#include <QByteArray>
#include <QObject>
#include <QUrl>
#include <chrono>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace ombrix {

class Updater : public QObject {
    Q_OBJECT
public:
    struct Config {
        QUrl feed;
        QString currentVersion;
        std::chrono::milliseconds timeout{10'000};
        qint64 maxBytes = 2 * 1024 * 1024;
    };
    using Presenter = std::function<void(const UpdateOutcome&)>;

    explicit Updater(Config config, QObject* parent = nullptr);
    ~Updater() override;

    // Created on first use with the build's feed and version; never destroyed.
    static Updater& shared();
    static Config defaultConfig();

    // Starts a check unless one is running; true when this call started one.
    bool checkForUpdates();
    bool isChecking() const { return m_reply != nullptr; }

    const Config& config() const { return m_config; }
    const UpdateOutcome& lastOutcome() const { return m_lastOutcome; }
    void setPresenter(Presenter presenter) { m_presenter = std::move(presenter); }

signals:
    void checkFinished(); // lastOutcome() holds the result

private:
    void onMetaData();
    void onReadyRead();
    void onFinished();
    void abortWith(const QString& reason);
    UpdateOutcome evaluate();

    Config m_config;
    Presenter m_presenter;
    QNetworkAccessManager* m_network = nullptr;
    QNetworkReply* m_reply = nullptr; // the check in flight
    QByteArray m_body;
    QString m_abortReason;
    QTimer* m_deadline = nullptr;
    UpdateOutcome m_lastOutcome;
};

} // namespace ombrix
