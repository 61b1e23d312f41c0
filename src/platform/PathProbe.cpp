#include "PathProbe.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace ombrix::platform {

namespace {

bool guardIsDeleted(const char* guard) {
    struct stat info {};
    // A vanished process or an unreadable directory counts as deleted: nothing derived from it
    // holds.
    return ::stat(guard, &info) != 0 || info.st_nlink == 0;
}

class AnsweredProbe final : public PathProbe {
public:
    explicit AnsweredProbe(std::vector<PathAnswer> answers)
        : m_answers(std::move(answers)) {}
    std::vector<PathAnswer> collect(std::chrono::milliseconds) override {
        return std::exchange(m_answers, {});
    }
    std::size_t pending() const override { return m_answers.size(); }

private:
    std::vector<PathAnswer> m_answers;
};

// The record a child writes per search: small enough that one write() is atomic.
struct Record {
    std::uint32_t search;
    std::int32_t found; // -1: nothing found
    std::uint32_t guardDeleted;
};

// Children killed while stuck in the kernel; reaped once it lets them go.
std::mutex abandonedMutex;
std::vector<pid_t> abandoned;

void reapAbandoned() {
    std::lock_guard lock(abandonedMutex);
    std::erase_if(abandoned, [](pid_t child) { return ::waitpid(child, nullptr, WNOHANG) != 0; });
}

std::int64_t nowMillis() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

class ChildProbe final : public PathProbe {
public:
    explicit ChildProbe(std::vector<PathSearch> searches)
        : m_searches(std::move(searches))
        , m_answered(m_searches.size(), false)
        , m_pending(m_searches.size()) {
        reapAbandoned();
        if (m_pending > 0) {
            start();
        }
    }

    ~ChildProbe() override {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        if (m_child > 0) {
            abandonChild(m_child);
        }
    }

    std::vector<PathAnswer> collect(std::chrono::milliseconds wait) override {
        std::vector<PathAnswer> answers;
        const std::int64_t deadline = nowMillis() + wait.count();
        while (m_pending > 0 && m_fd >= 0) {
            const std::int64_t left = deadline - nowMillis();
            pollfd entry{m_fd, POLLIN, 0};
            const int ready = ::poll(&entry, 1, int(std::max<std::int64_t>(left, 0)));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready <= 0) {
                break; // the deadline: the rest stays pending
            }
            if (!readRecords(answers)) {
                finish(answers);
            }
        }
        if (m_fd < 0) {
            finish(answers);
        }
        return answers;
    }

    std::size_t pending() const override { return m_pending; }

private:
    void start() {
        // Everything the child touches is laid out before fork: after it, only
        // async-signal-safe calls, no allocation.
        std::unordered_map<std::string, std::uint32_t> ids;
        for (const auto& search : m_searches) {
            std::vector<std::uint32_t> row;
            row.reserve(search.paths.size());
            for (const auto& path : search.paths) {
                const auto [it, added] = ids.try_emplace(path, std::uint32_t(m_paths.size()));
                if (added) {
                    m_paths.push_back(path.c_str());
                }
                row.push_back(it->second);
            }
            m_rows.push_back(std::move(row));
        }
        std::vector<signed char> known(m_paths.size(), -1);

        // A ps spawned meanwhile on another thread must not keep our pipe open.
        int fds[2];
        if (!makeCloseOnExecPipe(fds)) {
            return;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            if (fds[1] != 3) {
                ::dup2(fds[1], 3);
            }
            // Nothing of ours may outlive us in a stuck child: no socket, no display
            // connection, and not our stdout, which a caller reads to end of file.
            ::close(STDIN_FILENO);
            ::close(STDOUT_FILENO);
            ::close(STDERR_FILENO);
            closeDescriptorsFrom(4);
            for (std::size_t s = 0; s < m_searches.size(); ++s) {
                const PathSearch& search = m_searches[s];
                Record record{std::uint32_t(s), -1, 0};
                std::size_t first = 0;
                if (!search.guard.empty() && guardIsDeleted(search.guard.c_str())) {
                    record.guardDeleted = 1;
                    first = search.guarded;
                }
                const auto& row = m_rows[s];
                for (std::size_t i = first; i < row.size(); ++i) {
                    signed char& state = known[row[i]];
                    if (state < 0) {
                        struct stat info {};
                        state = ::stat(m_paths[row[i]], &info) == 0 ? 1 : 0;
                    }
                    if (state == 1) {
                        record.found = std::int32_t(i);
                        break;
                    }
                }
                if (::write(3, &record, sizeof record) != ssize_t(sizeof record)) {
                    ::_exit(1);
                }
            }
            ::_exit(0);
        }
        ::close(fds[1]);
        if (child < 0) {
            ::close(fds[0]);
            return;
        }
        m_child = child;
        m_fd = fds[0];
    }

    // False at end of file or on a read error: the child has nothing more to say.
    bool readRecords(std::vector<PathAnswer>& answers) {
        char buffer[sizeof(Record) * 64];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            return true;
        }
        if (n <= 0) {
            return false;
        }
        m_partial.append(buffer, std::size_t(n));
        std::size_t at = 0;
        for (; m_partial.size() - at >= sizeof(Record); at += sizeof(Record)) {
            Record record{};
            std::memcpy(&record, m_partial.data() + at, sizeof record);
            if (record.search >= m_searches.size() || m_answered[record.search]) {
                continue;
            }
            PathAnswer answer;
            answer.search = record.search;
            if (record.found >= 0) {
                answer.found = std::size_t(record.found);
            }
            answer.guardDeleted = record.guardDeleted != 0;
            answers.push_back(answer);
            m_answered[record.search] = true;
            --m_pending;
        }
        m_partial.erase(0, at);
        return true;
    }

    // The child is done (or never started): what it did not answer found nothing.
    void finish(std::vector<PathAnswer>& answers) {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        if (m_child > 0) {
            ::waitpid(m_child, nullptr, 0); // it has closed its end: exiting, not stuck
            m_child = -1;
        }
        for (std::size_t s = 0; s < m_searches.size(); ++s) {
            if (!m_answered[s]) {
                m_answered[s] = true;
                answers.push_back(PathAnswer{s, std::nullopt, false});
            }
        }
        m_pending = 0;
        std::sort(answers.begin(), answers.end(),
                  [](const PathAnswer& a, const PathAnswer& b) { return a.search < b.search; });
    }

    std::vector<PathSearch> m_searches;
    std::vector<const char*> m_paths;
    std::vector<std::vector<std::uint32_t>> m_rows;
    std::vector<bool> m_answered;
    std::size_t m_pending;
    std::string m_partial;
    pid_t m_child = -1;
    int m_fd = -1;
};

} // namespace

std::unique_ptr<PathProbe> answeredProbe(const std::vector<PathSearch>& searches,
                                         const PathTest& exists, const PathTest& deleted) {
    std::vector<PathAnswer> answers;
    answers.reserve(searches.size());
    for (std::size_t s = 0; s < searches.size(); ++s) {
        const PathSearch& search = searches[s];
        PathAnswer answer{s, std::nullopt, false};
        std::size_t first = 0;
        if (!search.guard.empty() && deleted && deleted(search.guard)) {
            answer.guardDeleted = true;
            first = search.guarded;
        }
        for (std::size_t i = first; i < search.paths.size(); ++i) {
            if (exists(search.paths[i])) {
                answer.found = i;
                break;
            }
        }
        answers.push_back(answer);
    }
    return std::make_unique<AnsweredProbe>(std::move(answers));
}

void abandonChild(int child) noexcept {
    reapAbandoned();
    if (::waitpid(child, nullptr, WNOHANG) == 0) {
        ::kill(child, SIGKILL); // takes effect once the file system lets it go
        if (::waitpid(child, nullptr, WNOHANG) == 0) {
            std::lock_guard lock(abandonedMutex);
            abandoned.push_back(child);
        }
    }
}

std::unique_ptr<PathProbe> childProbe(std::vector<PathSearch> searches) {
    return std::make_unique<ChildProbe>(std::move(searches));
}

} // namespace ombrix::platform
