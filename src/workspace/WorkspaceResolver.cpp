#include "WorkspaceResolver.h"

#include "DaemonConnection.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QFutureWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPromise>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>
#include <mutex>
#include <utility>

namespace ombrix::WorkspaceResolver {
namespace {

using Root = std::optional<QString>;

std::atomic<int> g_liveExchanges{0};

// The caller's half of one exchange. Finishes the future exactly once; if the
// exchange never ran (worker stopped first) the destructor still gives "no
// root", so a waiting caller never sees a future without a result.
class Reply {
public:
    Reply() { m_promise.start(); }
    ~Reply() { finish(std::nullopt); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;

    QFuture<Root> future() { return m_promise.future(); }

    void finish(const Root& root) {
        if (m_finished.exchange(true)) {
            return;
        }
        m_promise.addResult(root);
        m_promise.finish();
    }

private:
    QPromise<Root> m_promise;
    std::atomic<bool> m_finished{false};
};

// One WebSocket exchange, raced against its timer. Lives on the worker thread,
// as a child of the worker's hub; deletes itself once finished.
class Exchange final : public QObject {
public:
    Exchange(QUrl url, QString secret, std::chrono::milliseconds timeout,
             std::shared_ptr<Reply> reply, QObject* hub)
        : QObject(hub)
        , m_url(std::move(url))
        , m_secret(std::move(secret))
        , m_timeout(timeout)
        , m_reply(std::move(reply)) {
        ++g_liveExchanges;
    }

    // Reached early only when the worker stops with the exchange in flight.
    ~Exchange() override {
        end(std::nullopt);
        --g_liveExchanges;
    }

    void start() {
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        m_timer->setTimerType(Qt::PreciseTimer);
        connect(m_timer, &QTimer::timeout, this, [this] { finish(std::nullopt); });
        const auto ms = std::clamp<std::chrono::milliseconds::rep>(m_timeout.count(), 0, INT_MAX);
        m_timer->start(static_cast<int>(ms));

        m_watcher = new QFutureWatcher<Root>(this);
        connect(m_watcher, &QFutureWatcherBase::canceled, this, [this] { finish(std::nullopt); });
        m_watcher->setFuture(m_reply->future());
        if (m_watcher->isCanceled()) {
            finish(std::nullopt);
            return;
        }

        const QJsonObject request{
            {QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
            {QStringLiteral("id"), QStringLiteral("1")},
            {QStringLiteral("method"), QStringLiteral("FileSystem.getIDEWorkspaceRoots")},
            {QStringLiteral("params"), QJsonObject{{QStringLiteral("secret"), m_secret}}},
        };
        m_connection = new DaemonConnection(
            m_url, QJsonDocument(request).toJson(QJsonDocument::Compact),
            [this](const std::optional<QString>& text) {
                finish(text ? firstRoot(*text) : std::nullopt);
            },
            this);
        m_connection->open();
    }

private:
    void finish(const Root& root) {
        if (end(root)) {
            deleteLater();
        }
    }

    // Closes first, then answers; false when already ended.
    bool end(const Root& root) {
        if (m_ended) {
            return false;
        }
        m_ended = true;
        if (m_timer) {
            m_timer->stop();
        }
        if (m_watcher) {
            m_watcher->disconnect(this);
        }
        if (m_connection) {
            m_connection->abort();
        }
        m_reply->finish(root);
        return true;
    }

    const QUrl m_url;
    const QString m_secret;
    const std::chrono::milliseconds m_timeout;
    const std::shared_ptr<Reply> m_reply;
    QTimer* m_timer = nullptr;
    QFutureWatcher<Root>* m_watcher = nullptr;
    DaemonConnection* m_connection = nullptr;
    bool m_ended = false;
};

// The one thread that runs every exchange. Exchanges still in flight when it
// stops are destroyed on it, so their sockets close where they were made.
class Worker final : public QThread {
public:
    Worker()
        : m_hub(new QObject) {
        setObjectName(QStringLiteral("WorkspaceResolver"));
        m_hub->moveToThread(this);
    }

    QObject* hub() const { return m_hub; }

protected:
    void run() override {
        exec();
        delete m_hub;
    }

private:
    QObject* m_hub;
};

std::mutex g_workerMutex;
Worker* g_worker = nullptr;
bool g_programEnding = false;

void stopWorker() {
    Worker* worker = nullptr;
    {
        std::lock_guard lock(g_workerMutex);
        worker = std::exchange(g_worker, nullptr);
    }
    if (!worker) {
        return;
    }
    worker->quit();
    // Waiting on itself would never return; the OS reclaims it at exit.
    if (QThread::currentThread() == worker) {
        return;
    }
    worker->wait();
    delete worker;
}

// Stops the worker at static destruction when nothing stopped it earlier
// (no QCoreApplication, or exit() while the application object still lived).
struct WorkerReaper {
    ~WorkerReaper() {
        {
            std::lock_guard lock(g_workerMutex);
            g_programEnding = true;
        }
        stopWorker();
    }
} g_reaper;

// The running worker, started on first use; null once the program is ending.
// The caller holds g_workerMutex for as long as it uses the result, so that
// stopWorker() cannot delete the worker under it.
Worker* lockedWorker() {
    if (!g_worker && !g_programEnding) {
        g_worker = new Worker;
        g_worker->start();
        // A QThread must not outlive the QCoreApplication's event machinery.
        if (QCoreApplication::instance()) {
            qAddPostRoutine(stopWorker);
        }
    }
    return g_worker;
}

} // namespace

QString secret(const QUrl& dtd) {
    const QString path = dtd.path(QUrl::FullyDecoded);
    qsizetype begin = 0;
    qsizetype end = path.size();
    while (begin < end && path[begin] == u'/') {
        ++begin;
    }
    while (end > begin && path[end - 1] == u'/') {
        --end;
    }
    return path.sliced(begin, end - begin);
}

std::optional<QString> firstRoot(const QString& reply) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(reply.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonValue result = document.object().value(QStringLiteral("result"));
    if (!result.isObject()) {
        return std::nullopt;
    }
    const QJsonValue roots = result.toObject().value(QStringLiteral("ideWorkspaceRoots"));
    if (!roots.isArray()) {
        return std::nullopt;
    }
    const QJsonArray array = roots.toArray();
    if (array.isEmpty()) {
        return std::nullopt;
    }
    for (const QJsonValue& root : array) {
        if (!root.isString()) {
            return std::nullopt;
        }
    }

    const QUrl url(array.first().toString());
    if (!url.isValid() || url.scheme() != u"file") {
        return std::nullopt;
    }
    // Another machine's path means nothing here.
    if (!url.host().isEmpty() && url.host() != u"localhost") {
        return std::nullopt;
    }
    const QString encoded = url.path(QUrl::FullyEncoded);
    if (!encoded.startsWith(u'/')) {
        return std::nullopt;
    }

    // Dot segments are resolved after decoding, so "%2E%2E" climbs too; a
    // segment that decodes to "/" or NUL names no file and is refused rather
    // than silently pointing elsewhere.
    QStringList segments;
    for (const QStringView part : QStringView(encoded).split(u'/', Qt::SkipEmptyParts)) {
        const QString segment = QUrl::fromPercentEncoding(part.toUtf8());
        if (segment.contains(u'/') || segment.contains(QChar(0))) {
            return std::nullopt;
        }
        if (segment == u".") {
            continue;
        }
        if (segment == u"..") {
            if (!segments.isEmpty()) {
                segments.removeLast();
            }
            continue;
        }
        segments.append(segment);
    }
    return u'/' + segments.join(u'/');
}

QFuture<std::optional<QString>> workspaceRoot(const QUrl& dtd, std::chrono::milliseconds timeout) {
    auto reply = std::make_shared<Reply>();
    QFuture<Root> future = reply->future();
    QString key = secret(dtd);
    if (key.isEmpty()) {
        reply->finish(std::nullopt);
        return future;
    }
    std::lock_guard lock(g_workerMutex);
    Worker* thread = lockedWorker();
    if (!thread) {
        reply->finish(std::nullopt);
        return future;
    }
    QObject* hub = thread->hub();
    // Should the worker stop before this runs, dropping `reply` still answers.
    QMetaObject::invokeMethod(
        hub,
        [hub, url = dtd, key = std::move(key), timeout, reply = std::move(reply)]() mutable {
            auto* exchange = new Exchange(url, std::move(key), timeout, std::move(reply), hub);
            exchange->start();
        },
        Qt::QueuedConnection);
    return future;
}

LiveObjects liveObjects() {
    std::unique_lock lock(g_workerMutex);
    Worker* thread = g_worker;
    if (!thread || QThread::currentThread() == thread) {
        return {};
    }
    LiveObjects live;
    QObject* hub = thread->hub();
    // Held across the blocking call so the worker cannot be stopped under us.
    QMetaObject::invokeMethod(
        hub,
        [hub, &live] {
            live.exchanges = g_liveExchanges.load();
            live.sockets = int(hub->findChildren<QAbstractSocket*>().size());
            live.timers = int(hub->findChildren<QTimer*>().size());
        },
        Qt::BlockingQueuedConnection);
    return live;
}

} // namespace ombrix::WorkspaceResolver
