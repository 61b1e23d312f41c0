#pragma once

// A real FUSE mount that stops answering on request (hung_fs), for tests of
// what a dropped network mount does to us. The mount holds a project:
// proj/pubspec.yaml and proj/lib. After hang(), every path walk into it
// blocks in the kernel. A watchdog aborts the mount after `rescueAfter`, so a
// test that does block fails instead of hanging for good; the destructor
// always unmounts (lazily) and ends the file system.

#include "ChildProcess.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace ombrix::testing {

class HungMount {
public:
    // `mountPoint` is created; `fsBinary` is the hung_fs program.
    HungMount(std::filesystem::path mountPoint, const std::string& fsBinary)
        : m_point(std::move(mountPoint))
        , m_fs(fsBinary, {fsBinary, created(m_point)}) {}
    ~HungMount() {
        if (m_watchdog > 0) {
            ::kill(m_watchdog, SIGKILL);
            ::waitpid(m_watchdog, nullptr, 0);
        }
        unmount(m_point);
        m_fs.stop(); // aborts the connection: every waiting call returns
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
        const pid_t fs = m_fs.pid();
        m_watchdog = ::fork();
        if (m_watchdog == 0) {
            ::sleep(unsigned(rescueAfter.count()));
            ::kill(fs, SIGKILL);
            ::_exit(0);
        }
        ::kill(fs, SIGUSR1);
    }

    std::filesystem::path project() const { return m_point / "proj"; }
    // False once the watchdog had to rescue the test: something waited on the mount.
    bool stillHung() { return m_fs.pid() > 0 && !m_fs.tryWait(); }

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
    static std::string created(const std::filesystem::path& point) {
        std::filesystem::create_directories(point);
        return point.string();
    }
    static void unmount(const std::filesystem::path& point) {
        ChildOptions quiet; // "not mounted" is no news here
        quiet.quietStderr = true;
        Child("/bin/fusermount3", {"fusermount3", "-u", "-z", point.string()}, quiet).wait();
    }

    std::filesystem::path m_point;
    Child m_fs;
    pid_t m_watchdog = -1; // forked: it runs our code, not a program
};

} // namespace ombrix::testing
