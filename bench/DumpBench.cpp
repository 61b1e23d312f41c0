// dump_bench: the wall time of one dumpOnce() on the live machine against a
// bare `/bin/ps -axo pid=,args=` run, both measured here. The budget is half a
// second (the dump's own sleep) plus three ps runs; the last line is
// "ratio: X", the dump's time over that budget (at most 1 meets it).

#include "ProcessMonitor.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One ps run read to its end, as the listing does it, output discarded.
double psOnce() {
    int fds[2];
    if (::pipe(fds) != 0) {
        return 0;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char ps[] = "/bin/ps";
    char flags[] = "-axo";
    char format[] = "pid=,args=";
    char* argv[] = {ps, flags, format, nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    const bool started = ::posix_spawn(&pid, ps, &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    char buffer[65536];
    while (::read(fds[0], buffer, sizeof buffer) > 0) {
    }
    ::close(fds[0]);
    if (started) {
        ::waitpid(pid, nullptr, 0);
    }
    return secondsSince(start);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int runs = 5;

    std::vector<double> psTimes;
    std::vector<double> dumpTimes;
    std::FILE* sink = std::fopen("/dev/null", "w");
    for (int i = 0; i < runs; ++i) {
        psTimes.push_back(psOnce());
        const auto start = Clock::now();
        ombrix::ProcessMonitor::dumpOnce(sink != nullptr ? sink : stdout);
        dumpTimes.push_back(secondsSince(start));
    }
    if (sink != nullptr) {
        std::fclose(sink);
    }

    const double ps = median(psTimes);
    const double dump = median(dumpTimes);
    const double budget = 0.5 + 3 * ps;
    std::printf("%d runs each, medians\n", runs);
    std::printf("ps -axo pid=,args=: %.1f ms\n", 1000 * ps);
    std::printf("dumpOnce: %.1f ms (budget 500 ms + 3 x ps = %.1f ms)\n", 1000 * dump,
                1000 * budget);
    std::printf("ratio: %.3f\n", dump / budget);
    return 0;
}
