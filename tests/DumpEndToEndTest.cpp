// `ombrix --dump` as built, on a machine without a display: real Dart-like
// children under a fake IDE window, one of them pointing at a tooling daemon
// that this test serves on 127.0.0.1.

#include "ChildProcess.h"
#include "HungMount.h"
#include "Identification.h"
#include "Kernel.h"
#include "ProcessMonitor.h"
#include "ToolTree.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketServer>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

using namespace ombrix;
namespace fs = std::filesystem;

namespace {

const QString ombrixBinary = QStringLiteral(OMBRIX_BINARY_DIR "/src/app/ombrix");

// Answers every workspace query with one root and remembers the secrets it was sent.
class Daemon : public QObject {
public:
    Daemon() {
        connect(&m_server, &QWebSocketServer::newConnection, this, [this] {
            while (QWebSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QWebSocket::textMessageReceived, this,
                        [this, socket](const QString& text) {
                            requests << text;
                            socket->sendTextMessage(
                                QStringLiteral(R"({"jsonrpc":"2.0","id":"1","result":)"
                                               R"({"ideWorkspaceRoots":[")") +
                                firstRoot + QStringLiteral(R"(","file:///elsewhere"]}})"));
                        });
                connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    std::string url() const {
        return "ws://127.0.0.1:" + std::to_string(m_server.serverPort()) + "/dtd-secret=";
    }
    QStringList requests;
    QString firstRoot = QStringLiteral("file:///srv/team%20ws/");

private:
    QWebSocketServer m_server{QStringLiteral("test-dtd"), QWebSocketServer::NonSecureMode};
};

struct DumpRun {
    bool finished = false;
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString out;
    bool up = false; // `up` held while it ran (it was then ended)
};

// Runs the binary with no display of any kind; the event loop keeps serving the daemon meanwhile.
// Runs ombrix until it exits, or until `up(pid)` holds, for at most `limitMs`.
DumpRun runOmbrix(const QStringList& args, int limitMs, const char* platform = nullptr,
                  const std::function<bool(qint64)>& up = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (platform != nullptr) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QString::fromLatin1(platform));
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(ombrixBinary, args);
    DumpRun run;
    if (!process.waitForStarted(10000)) {
        return run;
    }
    const auto ended = [&] { return process.state() == QProcess::NotRunning; };
    static_cast<void>(
        QTest::qWaitFor([&] { return ended() || (up && up(process.processId())); }, limitMs));
    run.finished = ended();
    if (!run.finished) {
        run.up = up && up(process.processId());
        process.kill(); // only the child we started, by its pid
        process.waitForFinished(5000);
    } else {
        run.exitCode = process.exitCode();
        run.status = process.exitStatus();
    }
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    return run;
}

class DumpEndToEnd : public ::testing::Test, protected ombrix::testing::ToolTree {
protected:
    DumpEndToEnd()
        : ToolTree("dump") {}

    void SetUp() override {
        if (!fs::exists(ombrixBinary.toStdString())) {
            GTEST_SKIP() << "ombrix not built";
        }
        if (!ready()) {
            GTEST_SKIP() << "no home directory to build the tree in";
        }
        // Close-on-exec: only the dup2'ed copies reach the children, not ombrix.
        if (::pipe2(m_stdin, O_CLOEXEC) != 0) {
            FAIL() << "pipe";
        }
        startIde();
        startLoose();
        ASSERT_TRUE(QTest::qWaitFor([&] { return readPids(); }, 10000)) << "IDE children";
    }

    void TearDown() override {
        for (const pid_t pid : {m_analyzer, m_flutter}) {
            if (pid > 0) {
                ::kill(pid, SIGKILL); // the IDE shell reaps them
            }
        }
        for (const int fd : m_stdin) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        m_children.clear();
    }

    // The window is up once the launcher has loaded its module and the monitor
    // has sampled: it keeps the watched analyzer's stat open between samples.
    bool windowUp(qint64 pid) const {
        const fs::path proc = "/proc/" + std::to_string(pid);
        std::ifstream maps(proc / "maps");
        const std::string map{std::istreambuf_iterator<char>(maps), {}};
        if (map.find("/ombrix_window.so") == std::string::npos) {
            return false;
        }
        const fs::path stat = "/proc/" + std::to_string(m_analyzer) + "/stat";
        std::error_code error;
        for (fs::directory_iterator fd(proc / "fd", error);
             !error && fd != fs::directory_iterator(); fd.increment(error)) {
            std::error_code unreadable;
            if (fs::read_symlink(fd->path(), unreadable) == stat) {
                return true;
            }
        }
        return false;
    }

    QString qpath(const char* relative) const { return QString::fromStdString(path(relative)); }

    // Each "snapshot" started here waits on the one stdin pipe; closing it ends them all.
    pid_t spawn(std::vector<std::string> argv, const fs::path& cwd) {
        ombrix::testing::ChildOptions options;
        options.cwd = cwd.string();
        options.fds = {{m_stdin[0], STDIN_FILENO}, {m_stdin[0], 3}};
        const std::string program = argv[0];
        return m_children.start(program, std::move(argv), options);
    }

    // The IDE window starts two tools; only the analyzer carries the daemon's address.
    void startIde() {
        const std::string pidFile = (m_root / "pids").string();
        const std::string script =
            "D=\"$1\"; S=\"$2\"\n"
            "cd / && \"$D\" \"$S/analysis_server.dart.snapshot\" language-server"
            " --dtd-uri=" +
            m_daemon.url() +
            " <&3 &\n"
            "A=$!\n"
            "cd \"$3/shop_app/lib\" && \"$D\" \"$S/flutter_tools.snapshot\" run -d linux <&3 &\n"
            "echo \"$A $!\" > \"$4.tmp\" && mv \"$4.tmp\" \"$4\"\n"
            "wait\n";
        m_ide = spawn({ide(), "-c", script, "ide", dart(), snapshots(), m_root.string(), pidFile},
                      m_root);
        ASSERT_GT(m_ide, 0);
    }

    // A tool with neither project nor IDE.
    void startLoose() {
        m_loose = spawn({dart(), snapshot("analysis_server.dart.snapshot"), "language-server"},
                        "/"); // "/" is never a project
        ASSERT_GT(m_loose, 0);
    }

    bool readPids() {
        std::ifstream in(m_root / "pids");
        return static_cast<bool>(in >> m_analyzer >> m_flutter);
    }

    // The dump's lines by pid; every line must have the five fields.
    static std::map<pid_t, QStringList> lines(const QString& out) {
        static const QRegularExpression cpu(QStringLiteral(R"(^\d+\.\d%$)"));
        static const QRegularExpression memory(QStringLiteral(
            R"(^(Zero KB|1 byte|[\d,]+ bytes|[\d,]+(\.\d+)? (KB|MB|GB|TB|PB|EB))$)"));
        std::map<pid_t, QStringList> byPid;
        for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts)) {
            const QStringList fields = line.split(u'\t');
            EXPECT_EQ(fields.size(), 5) << line.toStdString();
            if (fields.size() != 5) {
                continue;
            }
            bool ok = false;
            const pid_t pid = fields[0].toInt(&ok);
            EXPECT_TRUE(ok && pid > 0) << line.toStdString();
            EXPECT_FALSE(fields[1].isEmpty()) << line.toStdString();
            EXPECT_TRUE(cpu.match(fields[2]).hasMatch()) << line.toStdString();
            EXPECT_TRUE(memory.match(fields[3]).hasMatch()) << line.toStdString();
            EXPECT_FALSE(fields[4].isEmpty()) << line.toStdString();
            byPid[pid] = fields;
        }
        return byPid;
    }

    Daemon m_daemon;
    ombrix::testing::Children m_children;
    int m_stdin[2] = {-1, -1};
    pid_t m_ide = -1;
    pid_t m_loose = -1;
    pid_t m_analyzer = -1;
    pid_t m_flutter = -1;
};

TEST_F(DumpEndToEnd, PrintsOneLinePerToolWithProjectWorkspaceOrDash) {
    // Other daemons on a busy machine may each cost their 3-second timeout.
    const DumpRun run = runOmbrix({QStringLiteral("--dump")}, 60000);
    ASSERT_TRUE(run.finished) << "dump did not end";
    EXPECT_EQ(run.status, QProcess::NormalExit);
    EXPECT_EQ(run.exitCode, 0);

    const auto byPid = lines(run.out);
    ASSERT_TRUE(byPid.count(m_analyzer)) << run.out.toStdString();
    ASSERT_TRUE(byPid.count(m_flutter)) << run.out.toStdString();
    ASSERT_TRUE(byPid.count(m_loose)) << run.out.toStdString();
    EXPECT_FALSE(byPid.count(m_ide)) << "the IDE itself is not a tool";

    const QStringList& analyzer = byPid.at(m_analyzer);
    EXPECT_EQ(analyzer[1], QStringLiteral("Analyzer (VS Code)"));
    EXPECT_EQ(analyzer[4], QStringLiteral("workspace: /srv/team ws"));
    EXPECT_NE(analyzer[3], QStringLiteral("Zero KB"));

    // A project of its own wins over the window's workspace.
    EXPECT_EQ(byPid.at(m_flutter)[4], qpath("shop_app"));

    // Nothing to show, unless the test itself happens to run inside an IDE.
    if (!Identification::ideAncestor(::getpid(), platform::systemKernel())) {
        EXPECT_EQ(byPid.at(m_loose)[4], QStringLiteral("-"));
        EXPECT_EQ(byPid.at(m_loose)[1], QStringLiteral("Analyzer"));
    }

    // The secret is the URL path without its slashes.
    ASSERT_FALSE(m_daemon.requests.isEmpty());
    EXPECT_TRUE(m_daemon.requests.first().contains(QStringLiteral(R"("secret":"dtd-secret=")")))
        << m_daemon.requests.first().toStdString();
}

// The launcher's two ways, each once against the real binary; which arguments
// make a dump request is the shell test's table.
TEST_F(DumpEndToEnd, OnlyAnArgumentExactlyDumpStartsTheDump) {
    struct Row {
        const char* name;
        QStringList args;
        bool dumps;
    };
    const Row rows[] = {
        {"a dump request", {QStringLiteral("--verbose"), QStringLiteral("--dump")}, true},
        {"anything else", {QStringLiteral("-dump"), QStringLiteral("dump")}, false},
    };
    for (const Row& row : rows) {
        // Without the dump the window starts: offscreen, and ended once it is up.
        const DumpRun run = row.dumps ? runOmbrix(row.args, 60000)
                                      : runOmbrix(row.args, 60000, "offscreen",
                                                  [this](qint64 pid) { return windowUp(pid); });
        if (row.dumps) {
            EXPECT_TRUE(run.finished) << row.name;
            EXPECT_EQ(run.exitCode, 0) << row.name;
            EXPECT_TRUE(lines(run.out).count(m_analyzer)) << row.name;
        } else {
            EXPECT_TRUE(run.up) << row.name << ": the window should have come up";
            static const QRegularExpression tableLine(QStringLiteral(R"((^|\n)\d+\t)"));
            EXPECT_FALSE(tableLine.match(run.out).hasMatch()) << row.name << ": no table at all\n"
                                                              << run.out.toStdString();
        }
    }
}

// Tabs, line feeds and other controls in a path or a daemon's answer stay
// inside their field, drawn as escapes: a script reading the dump by pid
// never sees a forged line.
TEST_F(DumpEndToEnd, HostileTextCannotForgeALineOrAField) {
    // The forged pid is above any pid_max (2^22), so no real process has it.
    const std::string forged = "x\n4194305\tFake Analyzer\t99.9%\t9 GB\t/home/v";
    fs::create_directories(m_root / forged);
    const pid_t hostile = spawn(
        {dart(), snapshot("analysis_server.dart.snapshot"), "language-server"}, m_root / forged);
    ASSERT_GT(hostile, 0);
    m_daemon.firstRoot = QStringLiteral("file:///srv/ws%0A4194305%09Fake%1B%C2%85x/");

    const DumpRun run = runOmbrix({QStringLiteral("--dump")}, 60000);
    m_children[hostile].stop();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0);
    const auto byPid = lines(run.out); // five fields on every line
    EXPECT_FALSE(byPid.count(4194305)) << run.out.toStdString();
    ASSERT_TRUE(byPid.count(hostile)) << run.out.toStdString();
    ASSERT_TRUE(byPid.count(m_analyzer)) << run.out.toStdString();
    EXPECT_EQ(byPid.at(hostile)[4],
              qpath("") + QStringLiteral(R"(x\n4194305\tFake Analyzer\t99.9%\t9 GB\t/home/v)"));
    EXPECT_EQ(byPid.at(m_analyzer)[4],
              QStringLiteral(R"(workspace: /srv/ws\n4194305\tFake\x1b\x85x)"));
}

// A window whose tools carry no daemon address: the daemon announces itself
// with a locked file in the Dart data home, found by the window and the dump
// alike. Killed outright, it leaves the file behind, which counts for nothing
// and is left as it was.
TEST_F(DumpEndToEnd, ADaemonFoundByItsOwnFileUntilItIsKilled) {
    const fs::path files = m_root / "data-home/dtd";
    fs::create_directories(files);
    qputenv("DART_DATA_HOME", QByteArray::fromStdString((m_root / "data-home").string()));
    const auto unset = qScopeGuard([] { qunsetenv("DART_DATA_HOME"); });
    ProcessMonitor::Options options;
    options.pollInterval = std::chrono::milliseconds(300);
    ProcessMonitor monitor(options); // looking before the daemon writes
    const auto workspaceOf = [&monitor](pid_t pid) -> QString {
        for (const DartProcess& row : monitor.processes()) {
            if (row.id == pid) {
                return row.workspace.value_or(QStringLiteral("-"));
            }
        }
        return {};
    };

    // Writes, locks and flushes as the daemon does, then waits on stdin.
    const std::string standIn =
        "import fcntl, json, os, sys, time\n"
        "fd = os.open(os.path.join(sys.argv[1], str(os.getpid())), os.O_WRONLY | os.O_CREAT)\n"
        "fcntl.lockf(fd, fcntl.LOCK_EX)\n"
        "os.write(fd, json.dumps({'wsUri': sys.argv[2], 'epoch': int(time.time() * 1000),"
        " 'pid': os.getpid(), 'dartVersion': '3.11.0', 'workspaceRoot': '/'}).encode())\n"
        "sys.stdin.read()\n";
    const std::string pidFile = (m_root / "quiet-pids").string();
    const std::string script = "cd / && python3 -c \"$1\" \"$2\" \"$3\" <&3 &\n"
                               "P=$!\n"
                               "cd / && \"$4\" \"$5/analysis_server.dart.snapshot\""
                               " language-server <&3 &\n"
                               "echo \"$P $!\" > \"$6.tmp\" && mv \"$6.tmp\" \"$6\"\n"
                               "wait\n";
    ASSERT_GT(spawn({ide(), "-c", script, "ide", standIn, files.string(), m_daemon.url(), dart(),
                     snapshots(), pidFile},
                    m_root),
              0);
    pid_t daemon = -1;
    pid_t analyzer = -1;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::ifstream in(pidFile);
            std::error_code absent;
            return static_cast<bool>(in >> daemon >> analyzer) &&
                   fs::file_size(files / std::to_string(daemon), absent) > 0 && !absent;
        },
        10000));
    const fs::path file = files / std::to_string(daemon);
    const auto written = fs::last_write_time(file);

    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return workspaceOf(analyzer) == QStringLiteral("/srv/team ws"); }, 20000))
        << "the window's row: " << workspaceOf(analyzer).toStdString();
    const auto dumped = [&analyzer] {
        const auto byPid = lines(runOmbrix({QStringLiteral("--dump")}, 60000).out);
        return byPid.count(analyzer) ? byPid.at(analyzer)[4] : QStringLiteral("no line");
    };
    EXPECT_EQ(dumped(), QStringLiteral("workspace: /srv/team ws"));

    ::kill(daemon, SIGKILL); // the IDE shell reaps it
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return workspaceOf(analyzer) == QStringLiteral("-"); }, 20000))
        << "the window's row: " << workspaceOf(analyzer).toStdString();
    EXPECT_EQ(dumped(), QStringLiteral("-"));
    // Nothing was written, deleted or added there.
    EXPECT_EQ(fs::last_write_time(file), written);
    EXPECT_EQ(std::distance(fs::directory_iterator(files), fs::directory_iterator()), 1);
    ::kill(analyzer, SIGKILL);
}

// With /proc hidden (an empty file system over it, in a mount namespace of its
// own) the launcher cannot tell where it lives: it says so on one line and
// fails, instead of looking for its window module in "/".
TEST(Launcher, WithoutItsOwnPathItStopsAtOnce) {
    if (!fs::exists(ombrixBinary.toStdString())) {
        GTEST_SKIP() << "ombrix not built";
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Leak detection needs /proc too; in a sanitizer build it is not what is tested here.
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("unshare"),
                  {QStringLiteral("--mount"), QStringLiteral("--propagation"),
                   QStringLiteral("private"), QStringLiteral("sh"), QStringLiteral("-c"),
                   QStringLiteral("mount -t tmpfs none /proc || exit 99; exec \"$0\""),
                   ombrixBinary});
    ASSERT_TRUE(process.waitForFinished(30000));
    QString err;
    for (const QString& line :
         QString::fromLocal8Bit(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts)) {
        if (!line.startsWith(QStringLiteral("=="))) { // a sanitizer runtime's own warnings
            err += line + u'\n';
        }
    }
    if (process.exitCode() == 99 || err.startsWith(QStringLiteral("unshare:"))) {
        GTEST_SKIP() << "no private mount namespace here: " << err.toStdString();
    }
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_EQ(err.count(u'\n'), 1) << err.toStdString();
    EXPECT_TRUE(err.endsWith(u'\n')) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("own path"))) << err.toStdString();
    EXPECT_FALSE(err.contains(QStringLiteral("ombrix_window.so"))) << err.toStdString();
}

// A dropped network mount under one tool's working directory and under the
// daemons' directory: the dump still ends on time with status 0, that tool's
// line shows no project, the others are as usual, and nothing waits for the
// mount. The tool spins on one core, and the time spent waiting on its search
// must not count as CPU time.
TEST_F(DumpEndToEnd, AHungMountCostsOnlyThatToolItsProject) {
    std::optional<ombrix::testing::HungMount> mount;
    mount.emplace(m_root / "mnt", OMBRIX_HUNG_FS);
    ASSERT_TRUE(mount->waitUntilMounted());
    const pid_t stuck =
        spawn({dart(), snapshot("frontend_server.dart.snapshot")}, mount->project() / "lib");
    ASSERT_GT(stuck, 0);
    // Hung only once it spins: a shell still starting up would wait on the mount.
    const platform::Kernel& kernel = platform::systemKernel();
    const platform::Timebase base = kernel.timebase();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::error_code error;
            const auto usage = kernel.usage(stuck);
            return fs::read_symlink("/proc/" + std::to_string(stuck) + "/exe", error) == dart() &&
                   usage && usage->cpuTime * base.numer / base.denom >= 100'000'000;
        },
        10000));
    mount->hang();
    // The daemons' directory hangs too: the address on the command line still counts.
    qputenv("DART_DATA_HOME", QByteArray::fromStdString(mount->project().string()));
    const auto unset = qScopeGuard([] { qunsetenv("DART_DATA_HOME"); });

    const DumpRun run = runOmbrix({QStringLiteral("--dump")}, 30000);
    EXPECT_TRUE(mount->stillHung()) << "the dump waited for the mount";
    ::kill(stuck, SIGKILL);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0);
    const auto byPid = lines(run.out);
    ASSERT_TRUE(byPid.count(stuck)) << run.out.toStdString();
    ASSERT_TRUE(byPid.count(m_flutter)) << run.out.toStdString();
    EXPECT_EQ(byPid.at(stuck)[4], QStringLiteral("-"));
    const double cpu = byPid.at(stuck)[2].chopped(1).toDouble();
    EXPECT_GT(cpu, 0.0);
    EXPECT_LE(cpu, 130.0) << "one core at most";
    EXPECT_EQ(byPid.at(m_flutter)[4], qpath("shop_app"));
    ASSERT_TRUE(byPid.count(m_analyzer)) << run.out.toStdString();
    EXPECT_EQ(byPid.at(m_analyzer)[4], QStringLiteral("workspace: /srv/team ws"));
    mount.reset(); // unmounts; the stuck tool can then be reaped
    m_children[stuck].wait();
}

} // namespace
