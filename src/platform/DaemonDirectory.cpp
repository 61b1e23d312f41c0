#include "DaemonDirectory.h"

#include "PathProbe.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace ombrix::platform {

namespace {

// What the reader sends per file, then the content. A pid of 0 ends a
// listing; -1 answers a look at a directory that did not change.
struct Header {
    std::int32_t pid;
    std::uint32_t owner;
    std::uint32_t size;
};
constexpr std::int32_t endOfListing = 0;
constexpr std::int32_t unchanged = -1;
constexpr int readerSocket = 3;
// A reader or caller that has gone must cost an error, not SIGPIPE. Where
// there is no such flag, makeCloseOnExecSocketPair() sets SO_NOSIGPIPE.
#ifdef MSG_NOSIGNAL
constexpr int noSignal = MSG_NOSIGNAL;
#else
constexpr int noSignal = 0;
#endif

// A directory written to within this long may still be getting a file's
// content (the daemon creates, locks, then writes): it is read again.
constexpr std::int64_t settleMillis = 2000;

bool sendAll(const void* data, std::size_t size) noexcept {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(readerSocket, at, size, noSignal);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        at += n;
        size -= std::size_t(n);
    }
    return true;
}

// Everything the reader touches, laid out before fork: after it, only
// async-signal-safe calls and no allocation.
struct Scratch {
    int directory = -1;
    uid_t user = 0;
    std::size_t sent = 0;
    char* content = nullptr; // maxAnnouncementBytes + 1
};

std::int32_t pidFromName(const char* name) noexcept {
    std::int64_t value = 0;
    std::size_t length = 0;
    for (; name[length] != '\0'; ++length) {
        if (name[length] < '0' || name[length] > '9' || length >= 10) {
            return 0;
        }
        value = value * 10 + (name[length] - '0');
    }
    // The daemon writes its pid plainly: "0042" names no file of its.
    if (length == 0 || name[0] == '0' || value > 0x7fffffff) {
        return 0;
    }
    return std::int32_t(value);
}

void examine(const char* name, void* context) noexcept {
    auto& scratch = *static_cast<Scratch*>(context);
    const std::int32_t pid = pidFromName(name);
    if (pid <= 0 || scratch.sent >= maxAnnouncements) {
        return;
    }
    // No symlink (one to /dev/zero), and a FIFO opens without waiting for a writer.
    const int fd = ::openat(scratch.directory, name,
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat info {};
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    std::size_t size = 0;
    bool keep = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == scratch.user &&
                std::uint64_t(info.st_size) <= maxAnnouncementBytes &&
                ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    while (keep && size <= maxAnnouncementBytes) {
        const ssize_t n =
            ::pread(fd, scratch.content + size, maxAnnouncementBytes + 1 - size, off_t(size));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            keep = n == 0;
            break;
        }
        size += std::size_t(n);
    }
    ::close(fd);
    if (!keep || size > maxAnnouncementBytes) {
        return; // grown past the limit since the fstat
    }
    const Header header{pid, std::uint32_t(info.st_uid), std::uint32_t(size)};
    if (!sendAll(&header, sizeof header) || !sendAll(scratch.content, size)) {
        ::_exit(1);
    }
    ++scratch.sent;
}

std::int64_t wallMillis() noexcept {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

bool sameDirectory(const struct stat& a, const struct stat& b) noexcept {
    // Whole seconds: a change within the second of a listing finds it unsettled.
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtime == b.st_mtime && a.st_ctime == b.st_ctime;
}

[[noreturn]] void serve(const char* path, char* entries, std::size_t entriesSize, char* content) {
    struct stat last {};
    bool listed = false;  // `last` describes the directory of the last listing
    bool settled = false; // and nothing was written to it just before that listing
    for (;;) {
        char request = 0;
        const ssize_t asked = ::recv(readerSocket, &request, 1, 0);
        if (asked < 0 && errno == EINTR) {
            continue;
        }
        if (asked <= 0) {
            ::_exit(0); // the caller has gone
        }
        struct stat now {};
        const bool present = ::stat(path, &now) == 0 && S_ISDIR(now.st_mode);
        if (present ? listed && settled && sameDirectory(now, last) : !listed) {
            const Header header{unchanged, 0, 0};
            if (!sendAll(&header, sizeof header)) {
                ::_exit(1);
            }
            continue;
        }
        listed = present;
        last = now;
        // The mtime's second began up to a second before the write.
        settled = wallMillis() - std::int64_t(now.st_mtime) * 1000 >= settleMillis + 1000;
        if (present) {
            Scratch scratch;
            scratch.user = ::geteuid();
            scratch.content = content;
            scratch.directory = ::open(path, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
            if (scratch.directory >= 0) {
                forEachEntry(scratch.directory, entries, entriesSize, examine, &scratch);
                ::close(scratch.directory);
            }
        }
        const Header end{endOfListing, 0, 0};
        if (!sendAll(&end, sizeof end)) {
            ::_exit(1);
        }
    }
}

std::int64_t monotonicMillis() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

} // namespace

DaemonDirectory::DaemonDirectory(std::string path)
    : m_path(std::move(path)) {}

DaemonDirectory::~DaemonDirectory() {
    stop();
}

void DaemonDirectory::start() {
    // The reader's buffers, allocated while we still may: they live in its copy
    // of our memory. They are freed here once the fork is done.
    static constexpr std::size_t entriesSize = 32 * 1024;
    std::vector<char> entries(entriesSize);
    std::vector<char> content(maxAnnouncementBytes + 1);
    int fds[2];
    if (m_path.empty() || !makeCloseOnExecSocketPair(fds)) {
        return;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        if (fds[1] != readerSocket) {
            ::dup2(fds[1], readerSocket);
        }
        // Nothing of ours may outlive us in a stuck reader (see PathProbe).
        ::close(STDIN_FILENO);
        ::close(STDOUT_FILENO);
        ::close(STDERR_FILENO);
        closeDescriptorsFrom(readerSocket + 1);
        serve(m_path.c_str(), entries.data(), entries.size(), content.data());
    }
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        return;
    }
    m_child = child;
    m_socket = fds[0];
}

void DaemonDirectory::stop() {
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
    if (m_child > 0) {
        abandonChild(m_child);
        m_child = -1;
    }
    m_buffer.clear();
    m_pending.clear();
    m_asked = false;
}

const std::vector<Announcement>& DaemonDirectory::look(std::chrono::milliseconds wait) {
    if (m_socket < 0) {
        start();
    }
    if (m_socket < 0) {
        return m_files;
    }
    receive(std::chrono::milliseconds(0)); // a late answer to the last look
    if (!m_asked) {
        const char request = 'L';
        if (::send(m_socket, &request, 1, noSignal) != 1) {
            stop(); // asked again next time, by a new reader
            return m_files;
        }
        m_asked = true;
        receive(wait);
    }
    return m_files;
}

// True once the look is answered. A reader that breaks off (it died, or sent
// what no reader sends) is let go; its last whole listing stays.
bool DaemonDirectory::receive(std::chrono::milliseconds wait) {
    const std::int64_t deadline = monotonicMillis() + wait.count();
    while (m_asked && m_socket >= 0) {
        // Whole records first: a listing may already be waiting in the buffer.
        std::size_t at = 0;
        while (m_asked && m_buffer.size() - at >= sizeof(Header)) {
            Header header{};
            std::memcpy(&header, m_buffer.data() + at, sizeof header);
            if (header.pid > 0 && header.size > maxAnnouncementBytes) {
                stop();
                return false;
            }
            if (header.pid <= 0) {
                at += sizeof header;
                m_asked = false;
                if (header.pid == endOfListing) {
                    m_files = std::move(m_pending);
                    ++m_listings;
                }
                m_pending.clear();
                break;
            }
            if (m_buffer.size() - at - sizeof header < header.size) {
                break;
            }
            m_pending.push_back(
                {header.pid, header.owner, m_buffer.substr(at + sizeof header, header.size)});
            at += sizeof header + header.size;
        }
        m_buffer.erase(0, at);
        if (!m_asked) {
            return true;
        }
        pollfd entry{m_socket, POLLIN, 0};
        const int ready =
            ::poll(&entry, 1, int(std::max<std::int64_t>(deadline - monotonicMillis(), 0)));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false; // the deadline; the rest comes with a later look
        }
        char chunk[16 * 1024];
        const ssize_t n = ::recv(m_socket, chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n <= 0) {
            stop();
            return false;
        }
        m_buffer.append(chunk, std::size_t(n));
    }
    return !m_asked;
}

std::string daemonDirectory(const std::function<const char*(const char*)>& env,
                            const std::string& home) {
    const char* own = env("DART_DATA_HOME");
    if (own != nullptr && *own != '\0') {
        return std::string(own) + "/dtd";
    }
    const std::string state = stateHome(env, home);
    return state.empty() ? std::string() : state + "/Dart/dtd";
}

} // namespace ombrix::platform
