#pragma once

// A real FUSE mount that stops answering on request (hung_fs), for tests of
// what a dropped network mount does to us. The mount holds a project:
// proj/pubspec.yaml and proj/lib. After hang(), every path walk into it
// blocks in the kernel. A watchdog aborts the mount after `rescueAfter`, so a
// test that does block fails instead of hanging for good; the destructor
// always unmounts (lazily) and ends the file system.

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace ombrix::testing {

class HungMount {
public:
    // `mountPoint` is created; `fsBinary` is the hung_fs program.
    HungMount(std::filesystem::path mountPoint, const std::string& fsBinary)
        : m_point(std::move(mountPoint)) {
        std::filesystem::create_directories(m_point);
        std::string program = fsBinary;
        std::string point = m_point.string();
        char* argv[] = {program.data(), point.data(), nullptr};
        if (posix_spawn(&m_fs, program.c_str(), nullptr, nullptr, argv, environ) != 0) {
            m_fs = -1;
        }
    }
    ~HungMount() {
        if (m_watchdog > 0) {
            ::kill(m_watchdog, SIGKILL);
            ::waitpid(m_watchdog, nullptr, 0);
        }
        unmount(m_point);
        if (m_fs > 0) {
            ::kill(m_fs, SIGKILL); // aborts the connection: every waiting call returns
            ::waitpid(m_fs, nullptr, 0);
        }
        unmount(m_point);
        std::error_code ignored;
        std::filesystem::remove(m_point, ignored);
    }
    HungMount(const HungMount&) = delete;
    HungMount& operator=(const HungMount&) = delete;

    // True once the file system answers at the mount point (it still answers).
    bool waitUntilMounted(std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (mounted()) {
                return std::filesystem::exists(m_point / "proj/pubspec.yaml");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // From now on nothing below the mount point answers.
    void hang(std::chrono::seconds rescueAfter = std::chrono::seconds(60)) {
        m_watchdog = ::fork();
        if (m_watchdog == 0) {
            ::sleep(unsigned(rescueAfter.count()));
            ::kill(m_fs, SIGKILL);
            ::_exit(0);
        }
        ::kill(m_fs, SIGUSR1);
    }

    std::filesystem::path project() const { return m_point / "proj"; }
    // False once the watchdog had to rescue the test: something waited on the mount.
    bool stillHung() const { return m_fs > 0 && ::waitpid(m_fs, nullptr, WNOHANG) == 0; }

private:
    bool mounted() const {
        std::ifstream mounts("/proc/self/mounts");
        std::string line;
        const std::string needle = ' ' + m_point.string() + ' ';
        while (std::getline(mounts, line)) {
            if (line.find(needle) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    static void unmount(const std::filesystem::path& point) {
        std::string program = "/bin/fusermount3";
        std::string flags = "-u";
        std::string lazy = "-z";
        std::string where = point.string();
        char* argv[] = {program.data(), flags.data(), lazy.data(), where.data(), nullptr};
        posix_spawn_file_actions_t quiet; // "not mounted" is no news here
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        if (posix_spawn(&pid, program.c_str(), &quiet, nullptr, argv, environ) == 0) {
            ::waitpid(pid, nullptr, 0);
        }
        posix_spawn_file_actions_destroy(&quiet);
    }

    std::filesystem::path m_point;
    pid_t m_fs = -1;
    pid_t m_watchdog = -1;
};

} // namespace ombrix::testing
