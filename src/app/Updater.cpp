#include "Updater.h"

#include "UpdateDialog.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>

namespace ombrix {

namespace {

QString seconds(std::chrono::milliseconds duration) {
    return QString::number(double(duration.count()) / 1000.0, 'g', 3);
}

QString describeSize(qint64 bytes) {
    return QStringLiteral("%1 KiB").arg(bytes / 1024);
}

} // namespace

Updater::Updater(Config config, QObject* parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_presenter([](const UpdateOutcome& outcome) { presentUpdateOutcome(outcome); })
    , m_deadline(new QTimer(this)) {
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        abortWith(QStringLiteral("The update server did not answer within %1 seconds.")
                      .arg(seconds(m_config.timeout)));
    });
}

Updater::~Updater() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

Updater::Config Updater::defaultConfig() {
    Config config;
    config.feed = QUrl(QStringLiteral(OMBRIX_APPCAST_URL));
    config.currentVersion = QStringLiteral(OMBRIX_VERSION);
    return config;
}

Updater& Updater::shared() {
    static Updater* const instance = [] {
        auto* updater = new Updater(defaultConfig());
        // Network objects belong to the thread that runs the event loop.
        if (QCoreApplication* app = QCoreApplication::instance();
            app && updater->thread() != app->thread()) {
            updater->moveToThread(app->thread());
        }
        return updater;
    }();
    return *instance;
}

bool Updater::checkForUpdates() {
    if (m_reply) {
        return false;
    }
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
    }
    m_body.clear();
    m_abortReason.clear();

    QNetworkRequest request(m_config.feed);
    request.setTransferTimeout(int(m_config.timeout.count()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Ombrix/%1").arg(m_config.currentVersion));
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &Updater::onMetaData);
    connect(m_reply, &QIODevice::readyRead, this, &Updater::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &Updater::onFinished);
    // The transfer timeout only notices silence; a server that trickles bytes
    // forever is stopped by this deadline on the whole exchange.
    m_deadline->start(m_config.timeout);
    return true;
}

void Updater::onMetaData() {
    if (!m_reply) {
        return;
    }
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_config.maxBytes) {
        abortWith(QStringLiteral("The update feed is too large (%1; at most %2 are accepted).")
                      .arg(describeSize(length.toLongLong()), describeSize(m_config.maxBytes)));
    }
}

void Updater::onReadyRead() {
    if (!m_reply) {
        return;
    }
    m_body += m_reply->readAll();
    if (m_body.size() > m_config.maxBytes) {
        abortWith(QStringLiteral("The update feed is too large (more than %1).")
                      .arg(describeSize(m_config.maxBytes)));
    }
}

void Updater::abortWith(const QString& reason) {
    if (!m_reply || !m_abortReason.isEmpty()) {
        return;
    }
    m_abortReason = reason;
    m_reply->abort();
    // abort() normally reports finished at once; never leave the check hanging if it did not.
    if (m_reply) {
        onFinished();
    }
}

UpdateOutcome Updater::evaluate() {
    if (!m_abortReason.isEmpty()) {
        return failedCheck(m_config.currentVersion, m_abortReason);
    }
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 300) {
        const QString phrase =
            m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
        return failedCheck(m_config.currentVersion,
                           QStringLiteral("The update server answered %1%2.")
                               .arg(status)
                               .arg(phrase.isEmpty() ? QString() : QLatin1Char(' ') + phrase));
    }
    switch (m_reply->error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return failedCheck(m_config.currentVersion,
                           QStringLiteral("The update server did not answer within %1 seconds.")
                               .arg(seconds(m_config.timeout)));
    default:
        return failedCheck(m_config.currentVersion, m_reply->errorString());
    }
    m_body += m_reply->readAll();
    if (m_body.size() > m_config.maxBytes) {
        return failedCheck(m_config.currentVersion,
                           QStringLiteral("The update feed is too large (more than %1).")
                               .arg(describeSize(m_config.maxBytes)));
    }
    return decide(parseAppcast(m_body), m_config.currentVersion);
}

void Updater::onFinished() {
    if (!m_reply) {
        return;
    }
    m_deadline->stop();
    m_reply->disconnect(this);
    m_lastOutcome = evaluate();
    m_reply->deleteLater();
    m_reply = nullptr;
    m_body.clear();
    m_body.squeeze();
    emit checkFinished();
    if (m_presenter) {
        m_presenter(m_lastOutcome);
    }
}

} // namespace ombrix
