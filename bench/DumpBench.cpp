// dump_bench: the wall time of a whole `ombrix --dump` (the built program,
// started with no display) and of Dump::print() alone, against a bare
// `/bin/ps -axo pid=,args=` run, all measured here. The budget is half a
// second (the dump's own sleep) plus three ps runs. Then the same dump with one
// process pointing at a daemon that accepts and never answers: it may cost the
// 3-second query timeout, never the 5-second wait. The last line is
// "ratio: X", the whole dump's time over its budget (at most 1 meets it).

#include "Dump.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The null-terminated argv of `argv`, pointing into it.
std::vector<char*> argvOf(std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (auto& a : argv) {
        args.push_back(a.data());
    }
    args.push_back(nullptr);
    return args;
}

// Runs `argv` to its end with `env`, output discarded; returns its wall time.
double runOnce(std::vector<std::string> argv, char* const* env) {
    std::vector<char*> args = argvOf(argv);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    const bool started = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (started) {
        ::waitpid(pid, nullptr, 0);
    }
    return secondsSince(start);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The program's environment without any display.
std::vector<char*> headlessEnvironment() {
    std::vector<char*> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        if (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("WAYLAND_DISPLAY=", 0) != 0 &&
            entry.rfind("QT_QPA_PLATFORM=", 0) != 0) {
            env.push_back(*e);
        }
    }
    env.push_back(nullptr);
    return env;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int runs = 5;
    const std::vector<char*> env = headlessEnvironment();

    std::vector<double> psTimes;
    std::vector<double> dumpTimes;
    std::vector<double> inProcessTimes;
    std::FILE* sink = std::fopen("/dev/null", "w");
    for (int i = 0; i < runs; ++i) {
        psTimes.push_back(runOnce({"/bin/ps", "-axo", "pid=,args="}, env.data()));
        dumpTimes.push_back(runOnce({OMBRIX_EXECUTABLE, "--dump"}, env.data()));
        const auto start = Clock::now();
        ombrix::Dump::print(sink != nullptr ? sink : stdout);
        inProcessTimes.push_back(secondsSince(start));
    }

    // A daemon that takes the connection (into its backlog) and never answers,
    // named by a process whose parent is an IDE window: a copy of sh called "code".
    QTcpServer silent;
    silent.listen(QHostAddress::LocalHost, 0);
    const std::string url = "ws://127.0.0.1:" + std::to_string(silent.serverPort()) + "/s";
    char dir[] = "/tmp/ombrix-dump-bench-XXXXXX";
    double silentDump = -1;
    if (::mkdtemp(dir) != nullptr) {
        const std::string ide = std::string(dir) + "/code";
        std::filesystem::copy_file("/bin/sh", ide);
        // "; :" keeps each shell alive as the parent instead of exec'ing its last command.
        std::vector<std::string> ideArgv = {
            ide, "-c", "/bin/sh -c 'sleep 30; :' tool --dtd-uri=" + url + "; :"};
        std::vector<char*> args = argvOf(ideArgv);
        // Its own process group, so the window and its tool end together.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        pid_t window = 0;
        const int rc = ::posix_spawn(&window, args[0], nullptr, &attributes, args.data(), environ);
        posix_spawnattr_destroy(&attributes);
        if (rc == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200)); // let it start its tool
            silentDump = runOnce({OMBRIX_EXECUTABLE, "--dump"}, env.data());
            ::kill(-window, SIGKILL); // the group we made: window, tool, sleep
            ::waitpid(window, nullptr, 0);
        }
        std::filesystem::remove_all(dir);
    }
    if (sink != nullptr) {
        std::fclose(sink);
    }

    const double ps = median(psTimes);
    const double dump = median(dumpTimes);
    const double budget = 0.5 + 3 * ps;
    std::printf("%d runs each, medians\n", runs);
    std::printf("ps -axo pid=,args=: %.1f ms\n", 1000 * ps);
    std::printf("Dump::print() in this process: %.1f ms\n", 1000 * median(inProcessTimes));
    std::printf("ombrix --dump: %.1f ms (budget 500 ms + 3 x ps = %.1f ms)\n", 1000 * dump,
                1000 * budget);
    std::printf("ombrix --dump, one silent daemon: %.1f ms (bound: budget + 3000 ms)\n",
                1000 * silentDump);
    std::printf("ratio: %.3f\n", dump / budget);
    return 0;
}
