// `ombrix --leftovers` and `ombrix --end-leftovers` as built, run by pid 1 of
// a private pid namespace (see monitor-live.cmake) that reaps like an init:
// orphans in sessions of their own, one that ignores SIGTERM, one whose pid
// goes to a newcomer during the grace, and pid 1's own child beside them.

#include "ToolTree.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Table = std::map<pid_t, std::vector<std::string>>; // fields by pid

const std::string ombrix = OMBRIX_BINARY_DIR "/src/app/ombrix";

// Pid 1's duty: reap whatever ends, ours and the adopted alike.
class Reaper {
public:
    Reaper()
        : m_thread([this] {
            while (!m_stop) {
                const pid_t pid = ::waitpid(-1, nullptr, WNOHANG);
                if (pid > 0) {
                    std::lock_guard lock(m_mutex);
                    m_reaped.insert(pid);
                } else {
                    std::this_thread::sleep_for(2ms);
                }
            }
        }) {}
    ~Reaper() {
        m_stop = true;
        m_thread.join();
    }
    bool await(pid_t pid) {
        for (int i = 0; i < 3000; ++i, std::this_thread::sleep_for(10ms)) {
            std::lock_guard lock(m_mutex);
            if (m_reaped.count(pid) > 0) {
                return true;
            }
        }
        return false;
    }

private:
    std::atomic<bool> m_stop = false;
    std::mutex m_mutex;
    std::set<pid_t> m_reaped;
    std::thread m_thread;
};

// "<parent> <state>" from /proc/PID/stat; empty once it is gone.
std::string parentAndState(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    std::istringstream rest(text.substr(std::min(text.rfind(')') + 1, text.size())));
    std::string state, parent;
    rest >> state >> parent;
    return state.empty() ? "" : parent + ' ' + state;
}

bool alive(pid_t pid) {
    const std::string now = parentAndState(pid);
    return !now.empty() && !now.ends_with(" Z");
}

// A tool left behind when `setsid` is true: its starter ran it in a session
// of its own and ended, so pid 1 adopted it. Otherwise pid 1's own child.
pid_t start(const std::string& dart, bool setsid, bool ignoresTerm = false) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return -1;
    }
    const char* argv[] = {dart.c_str(), "600", nullptr};
    const pid_t starter = ::fork();
    if (starter == 0) {
        const pid_t tool = setsid && ::setsid() >= 0 ? ::fork() : 0;
        if (tool == 0) {
            ::signal(SIGTERM, ignoresTerm ? SIG_IGN : SIG_DFL); // kept across exec
            (void)!::chdir("/");
            ::execv(argv[0], const_cast<char**>(argv));
            ::_exit(127);
        }
        (void)!::write(fds[1], &tool, sizeof tool);
        ::_exit(0);
    }
    ::close(fds[1]);
    pid_t tool = starter;
    if (setsid && ::read(fds[0], &tool, sizeof tool) != sizeof tool) {
        tool = -1;
    }
    ::close(fds[0]);
    return tool;
}

// The command's lines by pid, its exit status under the pid -1.
Table run(const char* option, const std::function<void()>& meanwhile = {}) {
    std::FILE* out = ::popen((ombrix + ' ' + option + "; echo \"-1\t$?\"").c_str(), "r");
    if (meanwhile) {
        meanwhile();
    }
    Table table;
    for (char line[4096]; out != nullptr && std::fgets(line, sizeof line, out) != nullptr;) {
        std::vector<std::string> fields;
        std::istringstream cells(std::string(line, std::strcspn(line, "\n")));
        for (std::string cell; std::getline(cells, cell, '\t');) {
            fields.push_back(cell);
        }
        table[std::stoi(fields.at(0))] = fields;
    }
    if (out != nullptr) {
        ::pclose(out); // its status went to the reaper; the echo has it
    }
    return table;
}

std::map<pid_t, std::string> column(const Table& table, size_t index) {
    std::map<pid_t, std::string> cells;
    for (const auto& [pid, fields] : table) {
        cells[pid] = index < fields.size() ? fields[index] : "<missing>";
    }
    return cells;
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

    const pid_t own = start(dart, false);
    const pid_t ends = start(dart, true);
    const pid_t ignores = start(dart, true, true);
    const pid_t reused = start(dart, true);
    for (const pid_t pid : {own, ends, ignores, reused}) {
        for (int i = 0; i < 500 && !parentAndState(pid).starts_with("1 "); ++i) {
            std::this_thread::sleep_for(10ms); // until its starter has ended and pid 1 adopted it
        }
        ASSERT_TRUE(parentAndState(pid).starts_with("1 ")) << pid;
    }

    const Table listed = run("--leftovers");
    EXPECT_EQ(column(listed, 4),
              (std::map<pid_t, std::string>{
                  {-1, "<missing>"}, {ends, "-"}, {ignores, "-"}, {reused, "-"}}));
    EXPECT_EQ(column(listed, 1).at(-1), "0") << "exit status";

    pid_t newcomer = -1;
    const Table ended = run("--end-leftovers", [&] {
        // Its SIGTERM ends it; the next process started gets its pid while
        // the grace still runs for the one that ignores it.
        ASSERT_TRUE(reaper.await(reused));
        for (int attempt = 0; attempt < 3 && newcomer != reused; ++attempt) {
            if (newcomer > 0) {
                ::kill(newcomer, SIGKILL);
            }
            std::ofstream("/proc/sys/kernel/ns_last_pid") << reused - 1;
            newcomer = start(dart, false);
        }
        ASSERT_EQ(newcomer, reused) << "could not force the pid's reuse";
    });
    EXPECT_EQ(column(ended, 2),
              (std::map<pid_t, std::string>{
                  {-1, "<missing>"}, {ends, "ended"}, {ignores, "killed"}, {reused, "ended"}}));
    EXPECT_EQ(column(ended, 1).at(-1), "0") << "exit status";
    EXPECT_EQ(column(ended, 1).at(ends), column(listed, 1).at(ends)) << "the name, as listed";
    EXPECT_TRUE(alive(newcomer)) << "the newcomer that took a leftover's pid";
    EXPECT_TRUE(alive(own)) << "pid 1's own child";
    EXPECT_FALSE(alive(ends) || alive(ignores));

    for (const pid_t pid : {own, newcomer}) {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
        }
    }
}

} // namespace
