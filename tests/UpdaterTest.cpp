#include "Updater.h"

#include "UpdateDialog.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace ombrix;
using namespace std::chrono_literals;
using Kind = UpdateOutcome::Kind;

namespace {

const QByteArray appcast =
    "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">"
    "<channel><item><title>Ombrix</title><link>https://ombrix.app/0.2</link>"
    "<sparkle:version>%1</sparkle:version></item></channel></rss>";

QByteArray feedFor(const char* version) {
    QByteArray xml = appcast;
    return xml.replace("%1", version);
}

QByteArray response(const QByteArray& status, const QByteArray& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: application/rss+xml\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// A one-route HTTP server on 127.0.0.1: once a request's headers have arrived,
// `respond` gets the socket and answers however the test wants.
class FeedServer {
public:
    using Responder = std::function<void(QTcpSocket*)>;

    explicit FeedServer(Responder respond)
        : m_respond(std::move(respond)) {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++connections;
                auto* request = new QByteArray;
                QObject::connect(socket, &QObject::destroyed, [request] { delete request; });
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket, request] {
                    const bool complete = request->contains("\r\n\r\n");
                    *request += socket->readAll();
                    if (!complete && request->contains("\r\n\r\n")) {
                        m_respond(socket);
                    }
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(m_server.serverPort()));
    }
    int connections = 0;

private:
    QTcpServer m_server;
    Responder m_respond;
};

FeedServer::Responder answer(QByteArray bytes) {
    return [bytes](QTcpSocket* socket) {
        socket->write(bytes);
        socket->disconnectFromHost();
    };
}

// Writes one byte every 50 ms and never reaches the announced length.
void trickle(QTcpSocket* socket) {
    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
    auto* timer = new QTimer(socket);
    QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write("<"); });
    timer->start(50);
}

struct Check {
    Updater updater;
    int presented = 0;

    Check(const QUrl& feed, std::chrono::milliseconds timeout)
        : updater(Updater::Config{feed, QStringLiteral("0.1.0"), timeout, 2 * 1024 * 1024}) {
        updater.setPresenter([this](const UpdateOutcome&) { ++presented; });
    }
    bool run(int waitMs = 10'000) {
        QSignalSpy done(&updater, &Updater::checkFinished);
        return updater.checkForUpdates() && done.wait(waitMs);
    }
};

} // namespace

TEST(Updater, reportsWhatTheFeedServerSays) {
    struct Row {
        const char* name;
        FeedServer::Responder respond;
        Kind kind;
        const char* reason; // part of the failure reason
    };
    const QByteArray huge(3 * 1024 * 1024, 'x');
    const Row rows[] = {
        {"up to date", answer(response("200 OK", feedFor("0.1.0"))), Kind::UpToDate, ""},
        {"newer", answer(response("200 OK", feedFor("0.2.0"))), Kind::UpdateAvailable, ""},
        {"not found", answer(response("404 Not Found", "gone")), Kind::Failed, "404"},
        {"server error", answer(response("500 Internal Server Error", feedFor("9"))), Kind::Failed,
         "500"},
        {"garbage", answer(response("200 OK", "<rss><channel><item>")), Kind::Failed, "feed"},
        {"announced body over the cap", answer(response("200 OK", huge)), Kind::Failed,
         "too large"},
        {"unannounced body over the cap",
         answer("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + huge), Kind::Failed, "too large"},
        {"slow server that never finishes", trickle, Kind::Failed, "did not answer"},
        {"silent server", [](QTcpSocket*) {}, Kind::Failed, "did not answer"},
    };
    for (const Row& row : rows) {
        FeedServer server(row.respond);
        Check check(server.url(), 700ms);
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(check.run()) << row.name;
        const UpdateOutcome& outcome = check.updater.lastOutcome();
        EXPECT_EQ(outcome.kind, row.kind) << row.name << ": " << outcome.reason.toStdString();
        EXPECT_TRUE(outcome.reason.contains(QLatin1String(row.reason)))
            << row.name << ": " << outcome.reason.toStdString();
        EXPECT_LT(clock.elapsed(), 5000) << row.name;
        EXPECT_EQ(check.presented, 1) << row.name;
        EXPECT_FALSE(check.updater.isChecking()) << row.name;
    }
}

TEST(Updater, failsWhenNobodyListens) {
    QUrl closed;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        closed = QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(probe.serverPort()));
    }
    Check check(closed, 2000ms);
    ASSERT_TRUE(check.run());
    EXPECT_EQ(check.updater.lastOutcome().kind, Kind::Failed);
    EXPECT_FALSE(check.updater.lastOutcome().reason.isEmpty());
}

TEST(Updater, runsOneRequestAtATime) {
    FeedServer server([](QTcpSocket*) {});
    Check check(server.url(), 600ms);
    QSignalSpy done(&check.updater, &Updater::checkFinished);
    EXPECT_TRUE(check.updater.checkForUpdates());
    EXPECT_FALSE(check.updater.checkForUpdates());
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(done.count(), 1);
    EXPECT_EQ(server.connections, 1);
    EXPECT_EQ(check.presented, 1);

    // Once finished, the next request goes out again.
    EXPECT_TRUE(check.updater.checkForUpdates());
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(done.count(), 2) << "the refused request finished nothing of its own";
    EXPECT_EQ(server.connections, 2);
}

TEST(Updater, sharedInstanceIsCreatedOnceWithTheBuildFeed) {
    Updater* first = &Updater::shared();
    Updater* second = &Updater::shared();
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->config().feed.scheme(), QStringLiteral("https"));
    EXPECT_EQ(first->config().timeout, 10s);
    EXPECT_EQ(first->config().maxBytes, 2 * 1024 * 1024);
    EXPECT_EQ(compareVersions(first->config().currentVersion, QStringLiteral("0.0.1")), 1);
}

TEST(UpdateDialog, offersTheDownloadPageOnlyForAnUpdate) {
    struct Row {
        const char* name;
        Kind kind;
        bool download;
    };
    const Row rows[] = {
        {"update", Kind::UpdateAvailable, true},
        {"up to date", Kind::UpToDate, false},
        {"failed", Kind::Failed, false},
    };
    QPointer<QMessageBox> previous;
    for (const Row& row : rows) {
        UpdateOutcome outcome;
        outcome.kind = row.kind;
        outcome.currentVersion = QStringLiteral("0.1.0");
        outcome.newest.displayVersion = QStringLiteral("0.2.0");
        outcome.newest.link = QUrl(QStringLiteral("https://ombrix.app/0.2"));
        outcome.reason = QStringLiteral("no route");
        QPointer<QMessageBox> box = presentUpdateOutcome(outcome);
        ASSERT_TRUE(box) << row.name;
        EXPECT_FALSE(box->isModal()) << row.name;
        bool hasDownload = false;
        for (QAbstractButton* button : box->buttons()) {
            hasDownload |= button->text() == QLatin1String("Open Download Page");
        }
        EXPECT_EQ(hasDownload, row.download) << row.name;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(previous.isNull()) << row.name << ": the earlier dialog stays open";
        previous = box;
    }
    previous->close();
}
