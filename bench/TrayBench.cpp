// What the tray item costs the session bus: D-Bus messages the whole shell
// sends in a minute whose samples change nothing the item shows (the rows'
// CPU figures move, the total and the menu's texts do not), against a minute
// in which the total changes with every sample. Runs its own session bus and
// a stand-in StatusNotifierWatcher, so the shell exports its own item; a
// dbus-monitor counts what leaves the shell's connection.
//
//   ratio = messages in the quiet minute / messages in the busy minute (target 0)

#include "BenchMonitor.h"
#include "OmbrixApp.h"
#include "StatusNotifierItem.h"

#include <QApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <cstdio>

namespace {

using namespace ombrix;
using bench::BenchMonitor;

// Takes registrations, says a host draws them, and answers nothing else.
class Watcher : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
    explicit Watcher(QObject* parent)
        : QDBusAbstractAdaptor(parent) {}
    bool hostRegistered() const { return true; }
public slots:
    void RegisterStatusNotifierItem(const QString&) { ++registrations; }

public:
    int registrations = 0;
};

QList<DartProcess> sample(int generation, bool totalMoves) {
    QList<DartProcess> rows;
    for (int i = 0; i < 12; ++i) {
        DartProcess p;
        p.id = 2000 + i;
        p.startTime = 1;
        p.name = QStringLiteral("Analyzer %1").arg(i);
        p.executableName = QStringLiteral("dart");
        p.projectPath = QStringLiteral("/home/me/code/app_%1").arg(i);
        p.cpuPercent = double((i * 7 + generation * 13) % 100);
        p.memoryBytes = (quint64(300 + i) << 20) + (totalMoves ? quint64(generation) << 20 : 0);
        rows.append(p);
    }
    return rows;
}

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Messages sent from `sender` while `run` publishes a sample every 2 s for `seconds`.
int countMessages(const QString& address, const QString& sender, BenchMonitor& monitor,
                  bool totalMoves, int seconds) {
    QProcess spy;
    spy.start(QStringLiteral("dbus-monitor"),
              {QStringLiteral("--address"), address, QStringLiteral("--profile"),
               QStringLiteral("sender='%1'").arg(sender)});
    spy.waitForStarted();
    wait(500);
    spy.readAllStandardOutput(); // its own greeting
    int generation = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000) {
        monitor.setProcesses(sample(++generation, totalMoves));
        wait(2000);
    }
    QCoreApplication::processEvents();
    spy.waitForReadyRead(500);
    const QList<QByteArray> lines = spy.readAllStandardOutput().split('\n');
    spy.kill();
    spy.waitForFinished();
    int messages = 0;
    for (const QByteArray& line : lines) {
        messages += line.startsWith("sig") || line.startsWith("mc") || line.startsWith("mr") ||
                    line.startsWith("err");
    }
    return messages;
}

} // namespace

int main(int argc, char** argv) {
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--nofork"),
               QStringLiteral("--print-address")});
    if (!bus.waitForReadyRead(5000)) {
        std::fprintf(stderr, "tray_bench: no dbus-daemon\n");
        return 1;
    }
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 60;

    QDBusConnection watcherBus = QDBusConnection::connectToBus(address, QStringLiteral("watcher"));
    QObject watcherObject;
    auto* watcher = new Watcher(&watcherObject);
    watcherBus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcherObject,
                              QDBusConnection::ExportAdaptors);
    watcherBus.registerService(QLatin1String(StatusNotifierItem::watcherService));

    BenchMonitor* monitor = nullptr;
    OmbrixApp::Options options;
    options.makeMonitor = [&monitor]() -> std::unique_ptr<MonitorState> {
        auto made = std::make_unique<BenchMonitor>();
        monitor = made.get();
        return made;
    };
    OmbrixApp shell(options);
    shell.start();
    for (int i = 0; i < 50 && shell.statusNotifierItem() == nullptr; ++i) {
        wait(100); // until the watcher has said a host is there
    }
    if (shell.statusNotifierItem() == nullptr) {
        std::fprintf(stderr, "tray_bench: the shell did not export its item\n");
        return 1;
    }
    monitor->setProcesses(sample(0, false));
    const QString sender = QDBusConnection::sessionBus().baseService();

    const int quiet = countMessages(address, sender, *monitor, false, seconds);
    const int busy = countMessages(address, sender, *monitor, true, seconds);
    std::printf("registrations: %d\n", watcher->registrations);
    std::printf("quiet minute (CPU moves, nothing shown changes): %d messages\n", quiet);
    std::printf("busy minute (the total changes every sample): %d messages\n", busy);
    std::printf("ratio: %.3f\n", busy > 0 ? double(quiet) / busy : 1.0);
    bus.kill();
    bus.waitForFinished();
    return quiet == 0 ? 0 : 1;
}

#include "TrayBench.moc"
