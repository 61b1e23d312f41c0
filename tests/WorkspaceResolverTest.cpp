#include "WorkspaceResolver.h"

#include "NamedRow.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <net/if.h>
#include <optional>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace resolver = ombrix::WorkspaceResolver;
using namespace std::chrono_literals;
using Root = std::optional<QString>;

// A timeout no test lives to see: a call that ends at all has ended before it.
constexpr auto farTimeout = 10min;

const QString goodReply = QStringLiteral(
    R"({"jsonrpc":"2.0","id":"1","result":{"ideWorkspaceRoots":["file:///Users/me/ws/"]}})");

// Spins the test thread's loop (where the fake daemons live) until `done` or `limit`.
bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limit.count()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

struct Outcome {
    bool finished = false;
    Root root;
    qint64 elapsedMs = 0;
};

Outcome resolve(const QUrl& url, std::chrono::milliseconds timeout,
                std::chrono::milliseconds limit = 10s) {
    QElapsedTimer clock;
    clock.start();
    QFuture<Root> future = resolver::workspaceRoot(url, timeout);
    Outcome outcome;
    outcome.finished = spinUntil([&] { return future.isFinished(); }, limit);
    outcome.elapsedMs = clock.elapsed();
    if (outcome.finished && future.resultCount() == 1) {
        outcome.root = future.result();
    }
    return outcome;
}

// A WebSocket daemon on 127.0.0.1 that records what it is sent.
class FakeDaemon : public QObject {
public:
    enum class Mode { Answer, Binary, Silent, Late };

    explicit FakeDaemon(Mode mode, QString reply = goodReply, int lateMs = 0)
        : m_mode(mode)
        , m_reply(std::move(reply))
        , m_lateMs(lateMs) {
        connect(&m_server, &QWebSocketServer::newConnection, this, &FakeDaemon::accept);
        m_server.listen(QHostAddress::LocalHost, 0);
    }

    QUrl url(const QString& path, const QString& scheme = QStringLiteral("ws")) const {
        return QUrl(
            QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(m_server.serverPort()).arg(path));
    }

    int connections = 0;
    int open = 0;
    int binaries = 0;
    QStringList texts;
    QList<int> closeCodes;
    QStringList closeReasons;
    QList<QUrl> requestUrls;

private:
    void accept() {
        while (QWebSocket* socket = m_server.nextPendingConnection()) {
            ++connections;
            ++open;
            requestUrls << socket->requestUrl();
            connect(socket, &QWebSocket::binaryMessageReceived, this, [this] { ++binaries; });
            connect(socket, &QWebSocket::textMessageReceived, this,
                    [this, socket](const QString& text) { answer(socket, text); });
            connect(socket, &QWebSocket::disconnected, this, [this, socket] {
                closeCodes << socket->closeCode();
                closeReasons << socket->closeReason();
                --open;
                socket->deleteLater();
            });
        }
    }

    void answer(QWebSocket* socket, const QString& text) {
        texts << text;
        switch (m_mode) {
        case Mode::Answer:
            socket->sendTextMessage(m_reply);
            break;
        case Mode::Binary:
            socket->sendBinaryMessage(m_reply.toUtf8());
            break;
        case Mode::Silent:
            break;
        case Mode::Late:
            QTimer::singleShot(m_lateMs, socket,
                               [socket, reply = m_reply] { socket->sendTextMessage(reply); });
            break;
        }
    }

    QWebSocketServer m_server{QStringLiteral("fake-dtd"), QWebSocketServer::NonSecureMode};
    Mode m_mode;
    QString m_reply;
    int m_lateMs;
};

// An unmasked frame as a server sends it; `head` is its first byte.
QByteArray serverFrame(int head, const QByteArray& payload) {
    QByteArray frame(1, char(head));
    if (payload.size() < 126) {
        frame += char(payload.size());
    } else {
        frame += char(126);
        frame += char(payload.size() >> 8);
        frame += char(payload.size() & 0xff);
    }
    return frame + payload;
}

// A plain TCP peer: silent, speaking garbage, or a WebSocket that streams without
// end, floods pings, or sends a script of frames and records the client's frames.
class RawDaemon : public QObject {
public:
    enum class Mode {
        Silent,
        Garbage,
        HttpRejects,
        EndlessFrame,
        EndlessFragments,
        PingFlood,
        Script
    };

    // In Script mode part k goes out once the client has sent k frames.
    explicit RawDaemon(Mode mode, QByteArrayList script = {})
        : m_mode(mode)
        , m_script(std::move(script)) {
        connect(&m_server, &QTcpServer::newConnection, this, &RawDaemon::accept);
        m_server.listen(QHostAddress::LocalHost, 0);
    }

    QUrl url(const QString& scheme = QStringLiteral("ws")) const {
        return QUrl(
            QStringLiteral("%1://127.0.0.1:%2/secret").arg(scheme).arg(m_server.serverPort()));
    }

    int connections = 0;
    int open = 0;
    qint64 streamed = 0;

private:
    void accept() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            ++connections;
            ++open;
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                --open;
                socket->deleteLater();
            });
            if (m_mode == Mode::Garbage) {
                socket->write("\x16\x03garbage\r\n\r\n");
            }
            // What a plain HTTP server does with a request it cannot use.
            if (m_mode == Mode::HttpRejects) {
                connect(socket, &QTcpSocket::readyRead, this, [socket] {
                    socket->readAll();
                    socket->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n"
                                  "Connection: close\r\n\r\n");
                    socket->disconnectFromHost();
                });
            }
            if (m_mode >= Mode::EndlessFrame) {
                connect(socket, &QTcpSocket::readyRead, this,
                        [this, socket] { handshake(socket); });
            }
        }
    }

    void handshake(QTcpSocket* socket) {
        if (socket->property("upgraded").toBool()) {
            // A flooding daemon never reads: our pongs pile up on the client's side.
            if (m_mode == Mode::Script) {
                readClientFrames(socket);
            }
            return;
        }
        QByteArray& request = m_requests[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n")) {
            return;
        }
        QByteArray key;
        for (const QByteArray& line : request.split('\n')) {
            if (line.toLower().startsWith("sec-websocket-key:")) {
                key = line.mid(line.indexOf(':') + 1).trimmed();
            }
        }
        const QByteArray accept =
            QCryptographicHash::hash(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11",
                                     QCryptographicHash::Sha1)
                .toBase64();
        socket->write("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                      "Connection: Upgrade\r\nSec-WebSocket-Accept: " +
                      accept + "\r\n\r\n");
        socket->setProperty("upgraded", true);
        if (m_mode == Mode::Script) {
            return (void)socket->write(m_script.value(0));
        }
        auto* pump = new QTimer(socket);
        if (m_mode == Mode::EndlessFrame) {
            // One text frame that claims a gibibyte: within Qt's own limit, far beyond ours.
            socket->write(QByteArray::fromHex("817f0000000040000000"));
        }
        connect(pump, &QTimer::timeout, socket, [this, socket, first = true]() mutable {
            if (socket->bytesToWrite() > (1 << 20)) {
                return;
            }
            QByteArray chunk(m_mode == Mode::EndlessFrame ? 1 << 20 : 64 * 1024, 'a');
            if (m_mode == Mode::PingFlood) {
                chunk = serverFrame(0x89, QByteArray(125, 'p')).repeated(512);
            }
            if (m_mode == Mode::EndlessFragments) {
                // Unfinished fragments: a text frame, then continuations, never FIN.
                chunk.prepend(QByteArray::fromHex(first ? "017e0000" : "007e0000"));
                chunk[2] = char(0xff);
                chunk[3] = char(0xff);
                chunk.truncate(4 + 0xffff);
                first = false;
            }
            streamed += socket->write(chunk);
        });
        pump->start(1);
    }

    QTcpServer m_server;
    Mode m_mode;
    // The client's frames after the upgrade: opcode and unmasked payload.
    void readClientFrames(QTcpSocket* socket) {
        m_client += socket->readAll();
        while (m_client.size() >= 6) {
            qsizetype length = m_client[1] & 0x7f;
            qsizetype header = 6;
            if (length == 126) {
                if (m_client.size() < 8) {
                    return;
                }
                length = (uchar(m_client[2]) << 8) | uchar(m_client[3]);
                header = 8;
            }
            if (m_client.size() < header + length) {
                return;
            }
            QByteArray payload = m_client.mid(header, length);
            for (qsizetype i = 0; i < length; ++i) {
                payload[i] = char(payload[i] ^ m_client[header - 4 + i % 4]);
            }
            clientFrames << std::pair(m_client[0] & 0x0f, payload);
            m_client.remove(0, header + length);
            socket->write(m_script.value(clientFrames.size()));
        }
    }

public:
    QList<std::pair<int, QByteArray>> clientFrames;

private:
    QHash<QTcpSocket*, QByteArray> m_requests;
    QByteArrayList m_script;
    QByteArray m_client;
};

int openFds() {
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

int threadCount() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("Threads:")) {
            return line.mid(8).trimmed().toInt();
        }
    }
    return -1;
}

bool workerIdle() {
    const resolver::LiveObjects live = resolver::liveObjects();
    return live.exchanges == 0 && live.sockets == 0 && live.timers == 0;
}

TEST(WorkspaceResolver, CorrectDaemonGetsTheExactRequestAndAGoingAwayClose) {
    FakeDaemon daemon(FakeDaemon::Mode::Answer);
    const Outcome outcome = resolve(daemon.url(QStringLiteral("/s3cr%C3%A9t=/")), 3s);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.root, Root(QStringLiteral("/Users/me/ws")));

    ASSERT_TRUE(spinUntil([&] { return daemon.open == 0 && daemon.connections == 1; }, 3s));
    ASSERT_EQ(daemon.texts.size(), 1);
    EXPECT_EQ(daemon.binaries, 0);
    QJsonParseError error{};
    const QJsonDocument request = QJsonDocument::fromJson(daemon.texts[0].toUtf8(), &error);
    ASSERT_TRUE(request.isObject()) << qPrintable(daemon.texts[0]);
    EXPECT_EQ(daemon.texts[0].toUtf8(), request.toJson(QJsonDocument::Compact)) << "not compact";
    const QJsonObject object = request.object();
    EXPECT_EQ(object.keys(), (QStringList{"id", "jsonrpc", "method", "params"}));
    EXPECT_TRUE(object["id"].isString());
    EXPECT_EQ(object["id"].toString(), "1");
    EXPECT_EQ(object["jsonrpc"].toString(), "2.0");
    EXPECT_EQ(object["method"].toString(), "FileSystem.getIDEWorkspaceRoots");
    EXPECT_EQ(object["params"].toObject(),
              (QJsonObject{{"secret", QString::fromUtf8("s3cr\xc3\xa9t=")}}));
    EXPECT_EQ(daemon.closeCodes, QList<int>{QWebSocketProtocol::CloseCodeGoingAway});
    EXPECT_EQ(daemon.closeReasons, QStringList{QString()});
}

TEST(WorkspaceResolver, UrlIsUsedUnchangedAndEscapesDecodeIntoTheSecret) {
    FakeDaemon daemon(FakeDaemon::Mode::Answer);
    const Outcome outcome = resolve(daemon.url(QStringLiteral("/My%20Secret/with%2Fslash//")), 3s);
    EXPECT_EQ(outcome.root, Root(QStringLiteral("/Users/me/ws")));
    ASSERT_TRUE(spinUntil([&] { return daemon.open == 0 && daemon.texts.size() == 1; }, 3s));
    EXPECT_EQ(daemon.requestUrls.value(0).path(QUrl::FullyEncoded), "/My%20Secret/with%2Fslash//");
    const QJsonObject params =
        QJsonDocument::fromJson(daemon.texts[0].toUtf8()).object()["params"].toObject();
    EXPECT_EQ(params["secret"].toString(), "My Secret/with/slash");
}

struct FailureCase {
    const char* name;
    FakeDaemon::Mode mode;
    QString reply;
    OMBRIX_NAMED_ROW(FailureCase)
};

class DaemonFailure : public testing::TestWithParam<FailureCase> {};

// Each reply yields no root at once (not at the timeout), and the daemon sees 1001.
TEST_P(DaemonFailure, GivesNoRootPromptlyAndCloses) {
    const FailureCase& c = GetParam();
    FakeDaemon daemon(c.mode, c.reply);
    const Outcome outcome = resolve(daemon.url(QStringLiteral("/secret")), farTimeout);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.root, std::nullopt);
    ASSERT_TRUE(spinUntil([&] { return daemon.open == 0 && daemon.connections == 1; }, 3s));
    EXPECT_EQ(daemon.texts.size(), 1);
    EXPECT_EQ(daemon.closeCodes, QList<int>{QWebSocketProtocol::CloseCodeGoingAway});
}

QString oversizedReply() {
    // Valid in every other way, so only the size cap can refuse it.
    return QStringLiteral(R"({"result":{"ideWorkspaceRoots":["file:///%1"]}})")
        .arg(QString(int(resolver::maxReplyBytes), u'a'));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, DaemonFailure,
    testing::Values(FailureCase{"Binary", FakeDaemon::Mode::Binary, goodReply},
                    FailureCase{"JsonRpcError", FakeDaemon::Mode::Answer,
                                QStringLiteral(R"({"jsonrpc":"2.0","id":"1","error":)"
                                               R"({"code":-32000,"message":"no"}})")},
                    FailureCase{"NonObject", FakeDaemon::Mode::Answer, QStringLiteral("[1,2]")},
                    FailureCase{"NotJson", FakeDaemon::Mode::Answer, QStringLiteral("hello")},
                    FailureCase{"Oversized", FakeDaemon::Mode::Answer, oversizedReply()}),
    ombrix::testing::RowName());

// A daemon that hangs up, at once or after the upgrade request: no root, and
// nothing on standard error (writing a close frame to the dead socket made Qt
// warn "QSocketNotifier: Invalid socket specified" on every such query).
TEST(WorkspaceResolver, ADaemonThatHangsUpLeavesNoWarning) {
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
    for (const bool readFirst : {false, true}) {
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server, &QTcpServer::newConnection, [&server, readFirst] {
            QTcpSocket* peer = server.nextPendingConnection();
            if (!readFirst) {
                peer->close();
                return;
            }
            QObject::connect(peer, &QTcpSocket::readyRead, peer, [peer] { peer->close(); });
        });
        const Outcome outcome =
            resolve(QUrl(QStringLiteral("ws://127.0.0.1:%1/secret").arg(server.serverPort())), 3s);
        EXPECT_TRUE(outcome.finished);
        EXPECT_EQ(outcome.root, std::nullopt);
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, QStringList()) << warnings.join(u'\n').toStdString();
}

TEST(WorkspaceResolver, ReplyJustUnderTheCapIsRead) {
    const QString path = QString(int(resolver::maxReplyBytes) - 100, u'a');
    FakeDaemon daemon(
        FakeDaemon::Mode::Answer,
        QStringLiteral(R"({"result":{"ideWorkspaceRoots":["file:///%1"]}})").arg(path));
    const Outcome outcome = resolve(daemon.url(QStringLiteral("/secret")), 3s);
    EXPECT_EQ(outcome.root, Root(u'/' + path));
}

TEST(WorkspaceResolver, SilentDaemonGivesNoRootAtTheTimeoutNotLater) {
    FakeDaemon daemon(FakeDaemon::Mode::Silent);
    const Outcome outcome = resolve(daemon.url(QStringLiteral("/secret")), 400ms);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.root, std::nullopt);
    EXPECT_GE(outcome.elapsedMs, 350);
    EXPECT_LT(outcome.elapsedMs, 5000);
    ASSERT_TRUE(spinUntil([&] { return daemon.open == 0; }, 3s));
    EXPECT_EQ(daemon.closeCodes, QList<int>{QWebSocketProtocol::CloseCodeGoingAway});
}

TEST(WorkspaceResolver, ReplyAfterTheTimeoutIsDiscarded) {
    FakeDaemon daemon(FakeDaemon::Mode::Late, goodReply, 600);
    const Outcome outcome = resolve(daemon.url(QStringLiteral("/secret")), 300ms);
    EXPECT_EQ(outcome.root, std::nullopt);
    // The late reply dies with the daemon's socket once the client has hung up.
    EXPECT_TRUE(spinUntil([&] { return daemon.open == 0; }, 3s));
    EXPECT_TRUE(spinUntil(workerIdle, 3s));
}

TEST(WorkspaceResolver, RefusedConnectionGivesNoRootBeforeTheTimeout) {
    quint16 port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    const Outcome outcome =
        resolve(QUrl(QStringLiteral("ws://127.0.0.1:%1/secret").arg(port)), farTimeout);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.root, std::nullopt);
}

TEST(WorkspaceResolver, EmptySecretOpensNoConnection) {
    FakeDaemon daemon(FakeDaemon::Mode::Answer);
    for (const QString& path : {QString(), QStringLiteral("/"), QStringLiteral("///")}) {
        QFuture<Root> future = resolver::workspaceRoot(daemon.url(path), 3s);
        ASSERT_TRUE(future.isFinished()) << qPrintable(path);
        EXPECT_EQ(future.result(), std::nullopt);
    }
    // A real query after them is the first connection the daemon sees.
    EXPECT_EQ(resolve(daemon.url(QStringLiteral("/secret")), 3s).root,
              Root(QStringLiteral("/Users/me/ws")));
    EXPECT_EQ(daemon.connections, 1);
}

// Nothing ever answers a TLS hello here; the call must still end by the timeout.
TEST(WorkspaceResolver, SecureSchemeAgainstSilentPlainServerEndsByTheTimeout) {
    FakeDaemon daemon(FakeDaemon::Mode::Answer);
    const Outcome outcome =
        resolve(daemon.url(QStringLiteral("/secret"), QStringLiteral("wss")), 500ms);
    ASSERT_TRUE(outcome.finished) << "still running well past the timeout";
    EXPECT_EQ(outcome.root, std::nullopt);
    EXPECT_TRUE(daemon.texts.isEmpty());
}

struct FastCase {
    const char* name;
    RawDaemon::Mode mode;
    const char* scheme;
    OMBRIX_NAMED_ROW(FastCase)
};

class FailsFast : public testing::TestWithParam<FastCase> {};

// A rejected handshake is known at once; waiting for the timer would stall the caller.
TEST_P(FailsFast, GivesNoRootWellBeforeTheTimeout) {
    const FastCase& c = GetParam();
    RawDaemon daemon(c.mode);
    const Outcome outcome = resolve(daemon.url(QString::fromUtf8(c.scheme)), farTimeout);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.root, std::nullopt);
    EXPECT_TRUE(spinUntil([&] { return daemon.open == 0; }, 3s));
}

INSTANTIATE_TEST_SUITE_P(
    Handshakes, FailsFast,
    testing::Values(FastCase{"HttpRejectsUpgrade", RawDaemon::Mode::HttpRejects, "ws"},
                    FastCase{"TlsToPlainHttp", RawDaemon::Mode::HttpRejects, "wss"},
                    FastCase{"GarbageResponse", RawDaemon::Mode::Garbage, "ws"},
                    FastCase{"CapExceededByFragments", RawDaemon::Mode::EndlessFragments, "ws"}),
    ombrix::testing::RowName());

struct RawCase {
    const char* name;
    RawDaemon::Mode mode;
    OMBRIX_NAMED_ROW(RawCase)
};

class HostilePeer : public testing::TestWithParam<RawCase> {};

// Whatever the peer does, the call ends by the timeout and leaves the peer disconnected.
TEST_P(HostilePeer, EndsByTheTimeoutAndHangsUp) {
    RawDaemon daemon(GetParam().mode);
    const Outcome outcome = resolve(daemon.url(), 1s);
    ASSERT_TRUE(outcome.finished) << "still running well past the timeout";
    EXPECT_EQ(outcome.root, std::nullopt);
    EXPECT_EQ(daemon.connections, 1);
    EXPECT_TRUE(spinUntil([&] { return daemon.open == 0; }, 3s));
    // The client stopped reading near its cap, not at what the peer offered.
    EXPECT_LT(daemon.streamed, 24LL << 20);
}

INSTANTIATE_TEST_SUITE_P(Peers, HostilePeer,
                         testing::Values(RawCase{"HalfOpenTcp", RawDaemon::Mode::Silent},
                                         RawCase{"EndlessFrame", RawDaemon::Mode::EndlessFrame}),
                         ombrix::testing::RowName());

TEST(WorkspaceResolver, CancellingEndsTheExchangeAndCloses) {
    FakeDaemon daemon(FakeDaemon::Mode::Silent);
    QFuture<Root> future =
        resolver::workspaceRoot(daemon.url(QStringLiteral("/secret")), farTimeout);
    ASSERT_TRUE(spinUntil([&] { return daemon.texts.size() == 1; }, 3s));
    future.cancel();
    ASSERT_TRUE(spinUntil([&] { return future.isFinished(); }, 10s));
    ASSERT_TRUE(spinUntil([&] { return daemon.open == 0; }, 3s));
    EXPECT_EQ(daemon.closeCodes, QList<int>{QWebSocketProtocol::CloseCodeGoingAway});
}

// The dump mode blocks its thread: the answer must come without that thread's loop.
TEST(WorkspaceResolver, FinishesWhileTheCallerIsBlocked) {
    std::promise<quint16> port;
    QThread* server = QThread::create([&port] {
        FakeDaemon daemon(FakeDaemon::Mode::Answer);
        port.set_value(daemon.url(QString()).port());
        QEventLoop loop; // quit by QThread::quit()
        loop.exec();
    });
    server->start();
    const quint16 serverPort = port.get_future().get();
    QFuture<Root> answered = resolver::workspaceRoot(
        QUrl(QStringLiteral("ws://127.0.0.1:%1/secret").arg(serverPort)), 3s);
    answered.waitForFinished();
    EXPECT_EQ(answered.result(), Root(QStringLiteral("/Users/me/ws")));

    // Nobody on this thread accepts; the kernel completes the TCP handshake anyway.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    QFuture<Root> timedOut = resolver::workspaceRoot(
        QUrl(QStringLiteral("ws://127.0.0.1:%1/secret").arg(silent.serverPort())), 300ms);
    timedOut.waitForFinished();
    EXPECT_EQ(timedOut.result(), std::nullopt);

    server->quit();
    server->wait();
    delete server;
}

TEST(WorkspaceResolver, HundredsOfTimedOutQueriesLeaveNothingBehind) {
    FakeDaemon webSocket(FakeDaemon::Mode::Silent);
    RawDaemon tcp(RawDaemon::Mode::Silent);
    // Warm up: the worker thread is expected to stay.
    EXPECT_EQ(resolve(webSocket.url(QStringLiteral("/s")), 100ms).root, std::nullopt);
    ASSERT_TRUE(spinUntil([&] { return webSocket.open == 0 && workerIdle(); }, 3s));
    const int fdsBefore = openFds();
    const int threadsBefore = threadCount();

    constexpr int batches = 6;
    constexpr int perBatch = 50;
    for (int batch = 0; batch < batches; ++batch) {
        QList<QFuture<Root>> futures;
        for (int i = 0; i < perBatch; ++i) {
            const QUrl url = batch % 2 ? tcp.url() : webSocket.url(QStringLiteral("/s"));
            futures << resolver::workspaceRoot(url, 150ms);
        }
        ASSERT_TRUE(spinUntil(
            [&] {
                return std::all_of(futures.begin(), futures.end(),
                                   [](const QFuture<Root>& f) { return f.isFinished(); });
            },
            10s));
        for (const QFuture<Root>& future : futures) {
            EXPECT_EQ(future.result(), std::nullopt);
        }
    }

    EXPECT_TRUE(spinUntil([&] { return webSocket.open == 0 && tcp.open == 0; }, 5s));
    EXPECT_TRUE(spinUntil(workerIdle, 5s));
    EXPECT_TRUE(spinUntil([&] { return openFds() <= fdsBefore; }, 5s))
        << openFds() << " open fds, " << fdsBefore << " before";
    EXPECT_LE(threadCount(), threadsBefore);
    EXPECT_EQ(webSocket.connections, 1 + batches / 2 * perBatch);
    EXPECT_EQ(webSocket.closeCodes.count(QWebSocketProtocol::CloseCodeGoingAway),
              webSocket.connections);
}

struct ScriptCase {
    const char* name;
    QByteArrayList script; // the daemon's frames after the upgrade, see RawDaemon
    Root root;
    QByteArray pong; // the pong expected before the close, if any
    OMBRIX_NAMED_ROW(ScriptCase)
};

class DaemonScript : public testing::TestWithParam<ScriptCase> {};

// Whatever the daemon sends, the client's last word is a close of 1001 with no reason.
TEST_P(DaemonScript, ReadsTheReplyAndClosesGoingAway) {
    const ScriptCase& c = GetParam();
    RawDaemon daemon(RawDaemon::Mode::Script, c.script);
    const Outcome outcome = resolve(daemon.url(), farTimeout);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.root, c.root);
    ASSERT_TRUE(spinUntil([&] { return daemon.open == 0; }, 3s));
    ASSERT_GE(daemon.clientFrames.size(), 2);
    EXPECT_EQ(daemon.clientFrames.first().first, 0x1);
    EXPECT_EQ(daemon.clientFrames.last(), std::pair(0x8, QByteArray("\x03\xe9", 2)));
    if (!c.pong.isEmpty()) {
        EXPECT_TRUE(daemon.clientFrames.contains(std::pair(0xA, c.pong)));
    }
}

const QByteArray reply = goodReply.toUtf8();
const Root answered = QStringLiteral("/Users/me/ws");

INSTANTIATE_TEST_SUITE_P(
    Frames, DaemonScript,
    testing::Values(
        ScriptCase{"InvalidUtf8", {serverFrame(0x81, "{\"result\":\"\xc3\x28\"}")}, {}, {}},
        ScriptCase{"EncodedSurrogate", {serverFrame(0x81, "\"\xed\xa0\x80\"")}, {}, {}},
        // The reply waits for the pong.
        ScriptCase{"PingThenReply",
                   {serverFrame(0x89, "are you there"), {}, serverFrame(0x81, reply)},
                   answered,
                   "are you there"},
        ScriptCase{"PingBetweenFragments",
                   {serverFrame(0x01, reply.first(20)) + serverFrame(0x89, "x"),
                    {},
                    serverFrame(0x80, reply.sliced(20))},
                   answered,
                   "x"},
        ScriptCase{"DaemonCloses",
                   {serverFrame(0x88, "\x03\xe8"
                                      "bye")},
                   {},
                   {}},
        ScriptCase{"MaskedByServer", {QByteArray("\x81\x82\0\0\0\0{}", 8)}, {}, {}},
        ScriptCase{"ReservedOpcode", {serverFrame(0x83, reply)}, {}, {}}),
    ombrix::testing::RowName());

// Pings count against the reply's budget: the exchange ends once it is spent,
// long before its timeout, having read little more than the budget.
TEST(WorkspaceResolver, PingFloodEndsTheExchangeWhenTheBudgetIsSpent) {
    RawDaemon daemon(RawDaemon::Mode::PingFlood);
    const Outcome outcome = resolve(daemon.url(), farTimeout, 30s);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.root, std::nullopt);
    EXPECT_TRUE(spinUntil([&] { return daemon.open == 0; }, 3s));
    EXPECT_LT(daemon.streamed, 24LL << 20);
    EXPECT_TRUE(spinUntil(workerIdle, 3s));
}

// Loopback up in the calling thread's (fresh) network namespace.
bool loopbackUp() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strcpy(request.ifr_name, "lo");
    const bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &request) == 0);
    ::close(fd);
    return up;
}

// A resolver that takes the question and never answers, for this process only:
// private mount and network namespaces, resolv.conf pointing at a UDP socket that
// nobody reads.
bool blackHoleResolver() {
    if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 || !loopbackUp()) {
        return false;
    }
    const int hole = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (hole < 0 || ::bind(hole, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return false;
    }
    char conf[] = "/tmp/ombrix-resolv-XXXXXX";
    const int fd = ::mkstemp(conf);
    const char text[] = "nameserver 127.0.0.1\n";
    const bool written = fd >= 0 && ::write(fd, text, sizeof text - 1) == sizeof text - 1;
    ::close(fd);
    const bool mounted =
        written && ::mount(conf, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
    ::unlink(conf);
    return mounted;
}

bool canMakeNamespaces() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(::unshare(CLONE_NEWNS | CLONE_NEWNET) == 0 ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// The caller gets its answer at the timeout, and the process can then exit at
// once: nothing waits for the lookup that is still hanging.
TEST(WorkspaceResolverDeathTest, UnanswerableHostNameHoldsNeitherCallerNorExit) {
    if (!canMakeNamespaces()) {
        GTEST_SKIP() << "needs root for private mount and network namespaces";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QElapsedTimer clock;
    clock.start();
    EXPECT_EXIT(
        {
            if (!blackHoleResolver()) {
                std::exit(2);
            }
            QElapsedTimer inside;
            inside.start();
            QFuture<Root> future = resolver::workspaceRoot(
                QUrl(QStringLiteral("ws://dtd.black-hole.test:8181/secret")), 500ms);
            future.waitForFinished();
            std::exit(future.result() ? 3 : inside.elapsed() > 4000 ? 4 : 0);
        },
        testing::ExitedWithCode(0), "");
    // The resolver's own retries would take ten seconds.
    EXPECT_LT(clock.elapsed(), 8000);
}

// exit() with an exchange in flight must stop the worker, not abort on a running QThread.
TEST(WorkspaceResolverDeathTest, ExitWithAnExchangeInFlightIsClean) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            FakeDaemon daemon(FakeDaemon::Mode::Silent);
            QFuture<Root> pending =
                resolver::workspaceRoot(daemon.url(QStringLiteral("/secret")), 10s);
            spinUntil([&] { return daemon.texts.size() == 1; }, 3s);
            std::exit(pending.isFinished() ? 3 : 0);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
