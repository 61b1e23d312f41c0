// sample_bench: what one sampling cycle costs us against what it costs ps.
// Starts 300 analyzer-like children (a shell copied to .../dart-sdk/bin/dart
// reading its stdin), takes 20 samples on the live kernel, and compares our
// own CPU time (all threads) with the CPU time of the ps runs we reaped.
// The last line is "ratio: X", our CPU over ps's; the target is at most 0.15.

#include "ProcessMonitor.h"
#include "SampleOnce.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFutureWatcher>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int childCount = 300;
constexpr int sampleCount = 20;

double seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

struct Cpu {
    double user = 0;
    double system = 0;
    double total() const { return user + system; }
    Cpu operator-(const Cpu& o) const { return {user - o.user, system - o.system}; }
};

Cpu cpuOf(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const char* home = std::getenv("HOME");
    // Not under /tmp: paths there count as tooling, not projects.
    const fs::path root =
        fs::path(home != nullptr ? home : ".") / ".cache/ombrix-bench" / std::to_string(::getpid());
    fs::create_directories(root / "dart-sdk/bin/snapshots");
    const std::string dart = (root / "dart-sdk/bin/dart").string();
    const std::string snapshot =
        (root / "dart-sdk/bin/snapshots/analysis_server.dart.snapshot").string();
    fs::copy_file("/bin/sh", dart, fs::copy_options::overwrite_existing);
    std::ofstream(snapshot) << "read line\n";

    std::vector<pid_t> children;
    std::vector<int> stdins;
    for (int i = 0; i < childCount; ++i) {
        int fds[2];
        if (::pipe(fds) != 0) {
            break;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        std::vector<std::string> args = {dart, snapshot, "language-server", "--client-id=vscode",
                                         "--client-version=1." + std::to_string(i)};
        std::vector<char*> argvChild;
        for (auto& a : args) {
            argvChild.push_back(a.data());
        }
        argvChild.push_back(nullptr);
        pid_t pid = 0;
        if (::posix_spawn(&pid, dart.c_str(), &actions, nullptr, argvChild.data(), environ) == 0) {
            children.push_back(pid);
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[0]);
        stdins.push_back(fds[1]);
    }

    ombrix::ProcessMonitor::Options options;
    options.pollLoop = false;
    ombrix::ProcessMonitor monitor(options);
    sampleOnce(monitor); // warm-up: caches filled, not measured

    rusage faultsBefore{};
    ::getrusage(RUSAGE_SELF, &faultsBefore);
    const Cpu selfBefore = cpuOf(RUSAGE_SELF);
    const Cpu childrenBefore = cpuOf(RUSAGE_CHILDREN);
    for (int i = 0; i < sampleCount; ++i) {
        sampleOnce(monitor);
    }
    const Cpu selfCpu = cpuOf(RUSAGE_SELF) - selfBefore;
    rusage faultsAfter{};
    ::getrusage(RUSAGE_SELF, &faultsAfter);
    const long faults = faultsAfter.ru_minflt - faultsBefore.ru_minflt;
    const double self = selfCpu.total();
    const double ps = (cpuOf(RUSAGE_CHILDREN) - childrenBefore).total();

    qsizetype watched = 0;
    for (const auto& p : monitor.processes()) {
        watched += p.name.startsWith(QStringLiteral("Analyzer")) ? 1 : 0;
    }
    for (const pid_t pid : children) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    for (const int fd : stdins) {
        ::close(fd);
    }
    fs::remove_all(root);

    std::printf("children started: %zu, analyzers seen: %lld\n", children.size(),
                static_cast<long long>(watched));
    std::printf("%d samples: our CPU %.3f s, ps CPU %.3f s\n", sampleCount, self, ps);
    std::printf("per sample: ours %.2f ms (user %.2f, system %.2f), ps %.2f ms\n",
                1000 * self / sampleCount, 1000 * selfCpu.user / sampleCount,
                1000 * selfCpu.system / sampleCount, 1000 * ps / sampleCount);
    std::printf("page faults per sample: %ld\n", faults / sampleCount);
    std::printf("ratio: %.3f\n", ps > 0 ? self / ps : 0.0);
    return 0;
}
