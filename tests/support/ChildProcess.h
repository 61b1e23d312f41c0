#pragma once

// A real child process for tests of the live kernel.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace ombrix::testing {

struct ChildOptions {
    std::string cwd;                      // empty: ours
    std::vector<std::pair<int, int>> fds; // {ours, theirs}: descriptors the child gets
    bool quietStderr = false;             // stderr to /dev/null
    std::vector<int> blockedSignals;      // blocked in the child from its start
};

// A child this test started; killed and reaped by pid when the test ends.
class Child {
public:
    // `args` is the whole argument vector, its first the name the child sees.
    Child(const std::string& path, std::vector<std::string> args, const ChildOptions& options) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (const auto& [ours, theirs] : options.fds) {
            posix_spawn_file_actions_adddup2(&actions, ours, theirs);
        }
        if (options.quietStderr) {
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        }
        if (!options.cwd.empty()) {
            posix_spawn_file_actions_addchdir_np(&actions, options.cwd.c_str());
        }
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        if (!options.blockedSignals.empty()) {
            sigset_t blocked;
            sigemptyset(&blocked);
            for (const int signal : options.blockedSignals) {
                sigaddset(&blocked, signal);
            }
            posix_spawnattr_setsigmask(&attributes, &blocked);
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
        }
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, path.c_str(), &actions, &attributes, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    Child(const std::string& path, std::vector<std::string> args, const std::string& cwd = {})
        : Child(path, std::move(args), inDirectory(cwd)) {}
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return m_pid; }
    void stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            wait();
        }
    }
    // The wait status if the child has ended (and is then reaped), else nothing.
    std::optional<int> tryWait() {
        int status = 0;
        if (m_pid > 0 && ::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return status;
        }
        return std::nullopt;
    }
    // Reaps the child; its pid is never used again, as it may be reused. -1
    // when there is none: waitpid(-1) would reap some other child of ours.
    int wait() {
        if (m_pid <= 0) {
            return -1;
        }
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        return status;
    }

private:
    static ChildOptions inDirectory(const std::string& cwd) {
        ChildOptions options;
        options.cwd = cwd;
        return options;
    }

    pid_t m_pid = -1;
};

// The children one test started: each ended by pid, on request or with the test.
class Children {
public:
    // The child's pid, or -1 if it could not be started.
    pid_t start(const std::string& path, std::vector<std::string> args,
                const ChildOptions& options) {
        m_children.push_back(std::make_unique<Child>(path, std::move(args), options));
        return m_children.back()->pid();
    }
    // One of them by its pid (which has to be one of them).
    Child& operator[](pid_t pid) {
        return **std::find_if(m_children.begin(), m_children.end(),
                              [pid](const auto& child) { return child->pid() == pid; });
    }
    void clear() { m_children.clear(); }

private:
    std::vector<std::unique_ptr<Child>> m_children;
};

} // namespace ombrix::testing
