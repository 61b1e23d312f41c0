#include "Posix.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ombrix::platform::posix {

std::optional<std::string> readToEnd(int fd, std::size_t limit, ReadEnd end) {
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t n = end == ReadEnd::ShortRead
                              ? ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))
                              : ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > limit) {
            return std::nullopt;
        }
        if (n == 0 || (end == ReadEnd::ShortRead && static_cast<std::size_t>(n) < sizeof buffer)) {
            return text;
        }
    }
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string homeDirectory() {
    const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 4096);
    for (;;) {
        passwd entry{};
        passwd* found = nullptr;
        const int rc = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc == 0 && found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] != '\0') {
            return found->pw_dir;
        }
        break;
    }
    const char* home = std::getenv("HOME");
    return home != nullptr ? home : "";
}

void sleepMicroseconds(std::int64_t micros) {
    if (micros <= 0) {
        return;
    }
    timespec left{static_cast<time_t>(micros / 1'000'000),
                  static_cast<long>(micros % 1'000'000) * 1000};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

} // namespace ombrix::platform::posix
