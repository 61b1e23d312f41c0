// `ombrix --leftovers` and `ombrix --end-leftovers` as built, run by pid 1 of
// a private pid namespace (see monitor-live.cmake) that reaps like an init:
// orphans in sessions of their own, one that ignores SIGTERM, one whose pid
// goes to a newcomer during the grace, and pid 1's own child beside them.

#include "ToolTree.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string ombrix = OMBRIX_BINARY_DIR "/src/app/ombrix";

// Pid 1's duty: reap whatever ends, ours and the adopted alike, and keep
// the statuses of the processes the test waits for.
class Reaper {
public:
    Reaper()
        : m_thread([this] { run(); }) {}
    ~Reaper() {
        m_stop = true;
        m_thread.join();
    }
    bool reaped(pid_t pid) {
        std::lock_guard lock(m_mutex);
        return m_statuses.count(pid) > 0;
    }
    // The wait status of `pid` once it has ended; -1 after `limit`.
    int wait(pid_t pid, std::chrono::seconds limit = 30s) {
        std::unique_lock lock(m_mutex);
        if (!m_ended.wait_for(lock, limit, [&] { return m_statuses.count(pid) > 0; })) {
            return -1;
        }
        return m_statuses[pid];
    }

private:
    void run() {
        while (!m_stop) {
            int status = 0;
            const pid_t pid = ::waitpid(-1, &status, WNOHANG);
            if (pid > 0) {
                std::lock_guard lock(m_mutex);
                m_statuses[pid] = status;
                m_ended.notify_all();
            } else {
                std::this_thread::sleep_for(2ms);
            }
        }
    }

    std::atomic<bool> m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_ended;
    std::map<pid_t, int> m_statuses;
    std::thread m_thread;
};

std::vector<std::string> statFields(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    const size_t name = text.rfind(')');
    if (name == std::string::npos) {
        return {}; // gone
    }
    std::istringstream rest(text.substr(name + 1));
    std::vector<std::string> fields{"", ""}; // fields 1 and 2 are not needed
    for (std::string field; rest >> field;) {
        fields.push_back(field);
    }
    return fields;
}

bool alive(pid_t pid) {
    const auto fields = statFields(pid);
    return fields.size() > 2 && fields[2] != "Z";
}

// A process started directly: pid 1's child in pid 1's session.
pid_t spawn(const std::string& path, std::vector<std::string> args, int out = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out >= 0) {
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    }
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// A tool left behind: its starter ran it in a session of its own and ended,
// so pid 1 adopted it.
pid_t orphan(const std::string& dart, bool ignoresTerm) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return -1;
    }
    const char* argv[] = {dart.c_str(), "600", nullptr};
    const pid_t starter = ::fork();
    if (starter == 0) {
        ::setsid();
        const pid_t tool = ::fork();
        if (tool == 0) {
            if (ignoresTerm) {
                ::signal(SIGTERM, SIG_IGN); // kept across exec
            }
            ::chdir("/");
            ::execv(argv[0], const_cast<char**>(argv));
            ::_exit(127);
        }
        (void)!::write(fds[1], &tool, sizeof tool);
        ::_exit(0);
    }
    ::close(fds[1]);
    pid_t tool = -1;
    if (::read(fds[0], &tool, sizeof tool) != sizeof tool) {
        tool = -1;
    }
    ::close(fds[0]);
    return tool;
}

struct CommandRun {
    int status = -1;
    std::vector<std::vector<std::string>> lines; // tab-separated fields
};

CommandRun runOmbrix(Reaper& reaper, const char* option,
                     const std::function<void()>& meanwhile = {}) {
    int fds[2];
    CommandRun run;
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return run;
    }
    const pid_t pid = spawn(ombrix, {ombrix, option}, fds[1]);
    ::close(fds[1]);
    if (meanwhile) {
        meanwhile();
    }
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
        out.append(buffer, size_t(n));
    }
    ::close(fds[0]);
    run.status = pid > 0 ? reaper.wait(pid) : -1;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) {
            fields.push_back(cell);
        }
        run.lines.push_back(fields);
    }
    return run;
}

std::map<pid_t, std::string> column(const CommandRun& run, size_t index) {
    std::map<pid_t, std::string> byPid;
    for (const auto& fields : run.lines) {
        byPid[std::stoi(fields.at(0))] = index < fields.size() ? fields[index] : "<missing>";
    }
    return byPid;
}

TEST(LeftoverCommands, ListThenEndWithOneGraceNeverTouchingPid1sOwnOrAnewcomer) {
    ASSERT_EQ(::getpid(), 1) << "run this test inside unshare --pid --fork --mount-proc";
    ASSERT_TRUE(fs::exists(ombrix)) << ombrix;
    ombrix::testing::ToolTree tree(
        "leftovers-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    ASSERT_TRUE(tree.ready());
    const std::string dart = tree.path("dart-sdk/bin/dart-sleep");
    fs::copy_file("/bin/sleep", dart);
    Reaper reaper;

    const pid_t own = spawn(dart, {dart, "600"});
    const pid_t ends = orphan(dart, false);
    const pid_t ignores = orphan(dart, true);
    const pid_t reused = orphan(dart, false);
    for (const pid_t pid : {own, ends, ignores, reused}) {
        ASSERT_GT(pid, 0);
        const auto parent = [pid] {
            const auto fields = statFields(pid);
            return fields.size() > 3 ? fields[3] : "";
        };
        for (int i = 0; i < 500 && parent() != "1"; ++i) {
            std::this_thread::sleep_for(10ms); // until its starter has ended and pid 1 adopted it
        }
        ASSERT_EQ(parent(), "1") << pid;
    }

    const CommandRun listed = runOmbrix(reaper, "--leftovers");
    EXPECT_EQ(listed.status, 0);
    const auto places = column(listed, 4);
    EXPECT_EQ(places, (std::map<pid_t, std::string>{{ends, "-"}, {ignores, "-"}, {reused, "-"}}));
    for (const auto& fields : listed.lines) {
        EXPECT_EQ(fields.size(), 5u);
    }

    pid_t newcomer = -1;
    const CommandRun ended = runOmbrix(reaper, "--end-leftovers", [&] {
        // Its SIGTERM ends it; the next process started gets its pid while
        // the grace still runs for the one that ignores it.
        ASSERT_NE(reaper.wait(reused), -1);
        for (int attempt = 0; attempt < 3 && newcomer != reused; ++attempt) {
            if (newcomer > 0) {
                ::kill(newcomer, SIGKILL);
            }
            std::ofstream("/proc/sys/kernel/ns_last_pid") << reused - 1;
            newcomer = spawn(dart, {dart, "600"});
        }
        ASSERT_EQ(newcomer, reused) << "could not force the pid's reuse";
    });
    EXPECT_EQ(ended.status, 0);
    EXPECT_EQ(column(ended, 2), (std::map<pid_t, std::string>{
                                    {ends, "ended"}, {ignores, "killed"}, {reused, "ended"}}));
    EXPECT_EQ(column(ended, 1), column(listed, 1)) << "the names, as listed";
    EXPECT_TRUE(alive(newcomer)) << "the newcomer that took a leftover's pid";
    EXPECT_TRUE(alive(own)) << "pid 1's own child";
    EXPECT_FALSE(alive(ends));
    EXPECT_FALSE(alive(ignores));

    for (const pid_t pid : {own, newcomer}) {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            reaper.wait(pid);
        }
    }
}

} // namespace
