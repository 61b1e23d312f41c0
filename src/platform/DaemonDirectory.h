#pragma once

// The directory where running Dart Tooling Daemons announce themselves: one
// file per daemon, named by its pid, holding one JSON object, which the daemon
// keeps under an fcntl lock while it runs.
//
// The directory may sit on a mount that stops answering, so it is read by a
// forked reader that lives as long as this object: the caller only waits on a
// socket, up to a time of its choosing. Asked again, the reader stats the
// directory once and reads it only when it changed. Nothing there is ever
// written, locked, created or deleted: a lock is only tested (F_GETLK).
//
// Standard C++ and POSIX only. One instance is used from one thread at a time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ombrix::platform {

// One file that may be a daemon's: a regular file of the reading user, named
// by a pid, at most maxAnnouncementBytes, locked by another process.
struct Announcement {
    std::int32_t pid = 0;    // from the file's name
    std::uint32_t owner = 0; // the file's owner
    std::string content;
};

inline constexpr std::size_t maxAnnouncementBytes = 64 * 1024;
// What one listing passes on at most: a directory of hostile files costs
// the reader its time, never the caller its memory.
inline constexpr std::size_t maxAnnouncements = 256;

class DaemonDirectory {
public:
    explicit DaemonDirectory(std::string path);
    // Ends the reader; one stuck on the mount is killed and reaped once the
    // kernel lets it go.
    ~DaemonDirectory();
    DaemonDirectory(const DaemonDirectory&) = delete;
    DaemonDirectory& operator=(const DaemonDirectory&) = delete;

    // The files of the newest listing the reader has finished. Asks it for a
    // fresh look and waits up to `wait` for the answer; while an earlier look
    // is still unanswered (a hung mount), nothing is waited for. None before
    // the first answer, or when the directory is missing or unreadable.
    const std::vector<Announcement>& look(std::chrono::milliseconds wait);

    const std::string& path() const { return m_path; }
    // Counts the listings received: what look() gives changes only with it.
    std::uint64_t listings() const { return m_listings; }

private:
    void start();
    void stop();
    bool receive(std::chrono::milliseconds wait);

    std::string m_path;
    std::vector<Announcement> m_files;
    std::vector<Announcement> m_pending; // of a listing still arriving
    std::string m_buffer;                // a partly received answer
    int m_socket = -1;
    int m_child = -1;
    bool m_asked = false; // a look is unanswered
    std::uint64_t m_listings = 0;
};

// `$DART_DATA_HOME/dtd`, else stateHome() + "/Dart/dtd". `env` reads one
// variable, null when unset.
std::string daemonDirectory(const std::function<const char*(const char*)>& env,
                            const std::string& home);

// --- one definition per OS ----------------------------------------------------
// The user's state directory: $XDG_STATE_HOME or ~/.local/state on Linux,
// ~/Library/Application Support on macOS.
std::string stateHome(const std::function<const char*(const char*)>& env, const std::string& home);
// Calls `each` with every name in the open directory `fd`, using `buffer` as
// its scratch space; false on a read error. Called in a forked child, so
// async-signal-safe where the OS allows.
bool forEachEntry(int fd, char* buffer, std::size_t size,
                  void (*each)(const char* name, void* context), void* context) noexcept;
// A connected pair of close-on-exec stream sockets.
bool makeCloseOnExecSocketPair(int fds[2]) noexcept;

} // namespace ombrix::platform
