#include "FolderRevealer.h"

#include "NamedRow.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace ombrix {
namespace {

// Stands in for a file manager; records what it was asked to show.
class FakeFileManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> uris;
    QStringList startupIds;
    bool fail = false;

public slots:
    void ShowItems(const QStringList& items, const QString& startupId) {
        uris.append(items);
        startupIds.append(startupId);
        if (fail) {
            sendErrorReply(QDBusError::Failed, QStringLiteral("cannot show"));
        }
    }
};

// A private session bus for this test program only, started once and ended
// with the program (the session-bus connection is cached for the whole run).
class PrivateBus : public ::testing::Environment {
public:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
            return;
        }
        daemon = new QProcess;
        daemon->start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (!daemon->waitForStarted(5000) || !daemon->waitForReadyRead(5000)) {
            return;
        }
        address = QString::fromUtf8(daemon->readLine()).trimmed();
        // The default revealer uses the session bus: point it here before its first use.
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }

    void TearDown() override {
        if (daemon) {
            daemon->terminate();
            daemon->waitForFinished(5000);
            delete daemon;
            daemon = nullptr;
        }
    }

    static inline QProcess* daemon = nullptr;
    static inline QString address;
};

const auto* const privateBus = ::testing::AddGlobalTestEnvironment(new PrivateBus);

class FolderRevealerTest : public ::testing::Test {
protected:
    static inline const QString& address = PrivateBus::address;

    void SetUp() override {
        if (address.isEmpty()) {
            GTEST_SKIP() << "no dbus-daemon";
        }
    }

    void TearDown() override {
        if (serviceUp) {
            QDBusConnection service = QDBusConnection(QStringLiteral("fake-file-manager"));
            service.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
            service.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
            QDBusConnection::disconnectFromBus(QStringLiteral("fake-file-manager"));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("revealer"));
    }

    void startService() {
        QDBusConnection service =
            QDBusConnection::connectToBus(address, QStringLiteral("fake-file-manager"));
        ASSERT_TRUE(service.isConnected());
        ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.FileManager1")));
        ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/FileManager1"),
                                           &fileManager, QDBusConnection::ExportAllSlots));
        serviceUp = true;
    }

    static QDBusConnection caller() {
        return QDBusConnection::connectToBus(address, QStringLiteral("revealer"));
    }

    FakeFileManager fileManager;
    bool serviceUp = false;
};

struct RevealCase {
    const char* name;
    bool service;
    bool serviceFails;
    bool shown;
    OMBRIX_NAMED_ROW(RevealCase)
};

class RevealOutcome : public FolderRevealerTest,
                      public ::testing::WithParamInterface<RevealCase> {};

TEST_P(RevealOutcome, FileManagerOrFallback) {
    const RevealCase& c = GetParam();
    if (c.service) {
        startService();
    }
    fileManager.fail = c.serviceFails;
    QList<QUrl> opened;
    FolderRevealer revealer(caller(), [&](const QUrl& url) { opened.append(url); });
    QSignalSpy done(&revealer, &FolderRevealer::finished);

    revealer.reveal(QStringLiteral("/home/me/My Project/app"));
    EXPECT_TRUE(opened.isEmpty()) << "the reveal must not wait for the answer";
    ASSERT_TRUE(done.wait(10000));

    const QUrl expected = QUrl::fromLocalFile(QStringLiteral("/home/me/My Project/app"));
    EXPECT_EQ(done.at(0).at(0).toUrl(), expected);
    EXPECT_EQ(done.at(0).at(1).toBool(), c.shown);
    if (c.service) {
        ASSERT_EQ(fileManager.uris.size(), 1);
        EXPECT_EQ(fileManager.uris.at(0), QStringList{"file:///home/me/My%20Project/app"});
        EXPECT_EQ(fileManager.startupIds.at(0), QString());
    }
    if (c.shown) {
        EXPECT_TRUE(opened.isEmpty());
    } else {
        EXPECT_EQ(opened, QList<QUrl>{expected});
    }
}

INSTANTIATE_TEST_SUITE_P(FolderRevealer, RevealOutcome,
                         ::testing::Values(RevealCase{"FileManagerAnswers", true, false, true},
                                           RevealCase{"FileManagerFails", true, true, false},
                                           RevealCase{"NoFileManager", false, false, false}),
                         ombrix::testing::RowName());

TEST_F(FolderRevealerTest, NoBusFallsBackWithoutWaiting) {
    QList<QUrl> opened;
    FolderRevealer revealer(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent"),
                                                          QStringLiteral("nowhere")),
                            [&](const QUrl& url) { opened.append(url); });
    QSignalSpy done(&revealer, &FolderRevealer::finished);
    revealer.reveal(QStringLiteral("/tmp/x"));
    EXPECT_TRUE(opened.isEmpty());
    ASSERT_TRUE(done.wait(2000));
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/x"))});
}

TEST_F(FolderRevealerTest, SessionBusIsTheDefault) {
    startService();
    QList<QUrl> opened;
    FolderRevealer revealer([&](const QUrl& url) { opened.append(url); });
    QSignalSpy done(&revealer, &FolderRevealer::finished);
    revealer.reveal(QStringLiteral("/srv/app"));
    ASSERT_TRUE(done.wait(10000));
    EXPECT_TRUE(done.at(0).at(1).toBool());
    EXPECT_EQ(fileManager.uris, QList<QStringList>{{"file:///srv/app"}});
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(FolderRevealerTest, EmptyPathDoesNothing) {
    int opened = 0;
    FolderRevealer revealer(caller(), [&](const QUrl&) { ++opened; });
    QSignalSpy done(&revealer, &FolderRevealer::finished);
    revealer.reveal(QString());
    EXPECT_FALSE(done.wait(300));
    EXPECT_EQ(opened, 0);
}

} // namespace
} // namespace ombrix

#include "FolderRevealerTest.moc"
