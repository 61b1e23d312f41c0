// families_bench: what the family and duplicate rules add to a refresh.
// Starts a chain of 1,000 analyzer-like processes on one project (each the
// parent of the next), so that they form one group of duplicates and, once
// the chain's first process has lost its parent, one leftover family 1,000
// deep. Times the refresh (ProcessMonitor::sample(), rules included) and,
// side by side, the rules alone on what that refresh published. The last
// line is "ratio: X", the rules' share of a refresh; the target is at most 0.10.

#include "Analyzers.h"
#include "Leftovers.h"
#include "ProcessMonitor.h"
#include "SampleOnce.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QHash>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int depth = 1000;
constexpr int sampleCount = 10;

std::optional<ombrix::Pid> parentOf(ombrix::Pid pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    char state = 0;
    int parent = 0;
    if (std::sscanf(text.c_str() + close + 1, " %c %d", &state, &parent) != 2) {
        return std::nullopt;
    }
    return parent;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const char* home = std::getenv("HOME");
    // Not under /tmp: paths there count as tooling, not projects.
    const fs::path root = fs::path(home != nullptr ? home : ".") / ".cache/ombrix-bench" /
                          ("families-" + std::to_string(::getpid()));
    fs::create_directories(root / "bin");
    fs::create_directories(root / "weather_app");
    std::ofstream(root / "weather_app/pubspec.yaml") << "name: weather_app\n";
    const std::string dart = (root / "bin/dart").string();
    fs::copy_file("/bin/sh", dart, fs::copy_options::overwrite_existing);
    // Each level starts the next and waits; the last one sleeps. The first
    // is started by a parent that ends at once, as an ended agent would.
    const std::string script = (root / "chain.sh").string();
    std::ofstream(script) << "n=$2\nif [ \"$n\" -gt 1 ]; then \"" << dart << "\" \"" << script
                          << "\" language-server $((n - 1)) & else sleep 600 & fi\nwait\n";
    const pid_t starter = ::fork();
    if (starter == 0) {
        ::setsid();
        if (::fork() == 0) {
            ::chdir((root / "weather_app").c_str());
            ::execl(dart.c_str(), dart.c_str(), script.c_str(), "language-server",
                    std::to_string(depth).c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::sleep(4); // seen with a living parent first, then left behind
        ::_exit(0);
    }

    ombrix::ProcessMonitor::Options options;
    options.pollLoop = false;
    ombrix::ProcessMonitor monitor(options);
    const auto inChain = [&] {
        qsizetype n = 0;
        for (const auto& p : monitor.processes()) {
            n += p.command.contains(QString::fromStdString(script)) ? 1 : 0;
        }
        return n;
    };
    for (int i = 0; i < 60 && inChain() < depth; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        sampleOnce(monitor);
    }
    ::waitpid(starter, nullptr, 0);
    sampleOnce(monitor); // the chain's head is adopted now: caches filled, not measured
    sampleOnce(monitor);

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < sampleCount; ++i) {
        sampleOnce(monitor);
    }
    const double refresh = double(timer.nsecsElapsed()) / 1e6 / sampleCount;

    // The rules alone, on what the last refresh published.
    QList<ombrix::DartProcess> rows = monitor.processes();
    std::vector<ombrix::Leftovers::Member> members;
    for (const auto& row : rows) {
        members.push_back({{row.id, row.startTime},
                           parentOf(row.id).value_or(0),
                           row.leftover && !row.family,
                           row.ownedByUser});
    }
    const QString homeText = QString::fromUtf8(home != nullptr ? home : "");
    qsizetype family = 0;
    qsizetype duplicates = 0;
    timer.restart();
    for (int i = 0; i < sampleCount; ++i) {
        const auto heads = ombrix::Leftovers::families(members);
        ombrix::Analyzers::mark(rows, homeText);
        const QStringList lines = ombrix::Analyzers::groupLines(rows);
        family =
            std::count_if(heads.begin(), heads.end(), [](const auto& h) { return h.has_value(); });
        duplicates = lines.size();
    }
    const double rules = double(timer.nsecsElapsed()) / 1e6 / sampleCount;

    qsizetype leftovers = 0;
    qsizetype marked = 0;
    for (const auto& p : monitor.processes()) {
        leftovers += p.leftover ? 1 : 0;
        marked += p.duplicateOf ? 1 : 0;
    }
    ::kill(-starter, SIGKILL); // the chain's process group, its last sleep too
    fs::remove_all(root);

    std::printf("chain: %lld watched, %lld leftovers (%lld in the family), %lld duplicates, "
                "%lld group line(s)\n",
                static_cast<long long>(rows.size()), static_cast<long long>(leftovers),
                static_cast<long long>(family), static_cast<long long>(marked),
                static_cast<long long>(duplicates));
    std::printf("per refresh: %.2f ms; the family and duplicate rules: %.3f ms\n", refresh, rules);
    std::printf("ratio: %.4f\n", refresh > 0 ? rules / refresh : 0.0);
    return 0;
}
