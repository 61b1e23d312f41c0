#include "ProjectSearcher.h"

#include "Kernel.h"
#include "PathProbe.h"

#include <algorithm>

namespace ombrix {

ProjectSearcher::ProjectSearcher(const platform::Files& files, const platform::Clock& clock,
                                 std::chrono::milliseconds stall)
    : m_files(files)
    , m_clock(clock)
    , m_stall(stall) {}

ProjectSearcher::~ProjectSearcher() = default;

std::chrono::nanoseconds ProjectSearcher::now() const {
    return std::chrono::nanoseconds(m_clock.monotonicNanos());
}

void ProjectSearcher::start(const std::vector<Request>& requests) {
    std::vector<Entry> entries;
    for (const Request& request : requests) {
        if (m_searching.contains(request.pid)) {
            continue;
        }
        const auto search = Identification::projectSearch(request.cwd, request.args);
        Entry entry;
        entry.pid = request.pid;
        entry.cwd = request.cwd;
        entry.directories = search.fromCwd + search.fromArgs;
        entry.fromCwd = std::size_t(search.fromCwd.size());
        entry.token = m_nextToken++;
        m_searching.insert(request.pid, entry.token);
        entries.push_back(std::move(entry));
    }
    if (!entries.empty()) {
        launch(std::move(entries));
    }
}

void ProjectSearcher::launch(std::vector<Entry> entries) {
    std::vector<platform::PathSearch> searches;
    searches.reserve(entries.size());
    for (const Entry& entry : entries) {
        platform::PathSearch search;
        search.paths.reserve(std::size_t(entry.directories.size()));
        for (const QString& directory : entry.directories) {
            search.paths.push_back(Identification::pubspecPath(directory).toStdString());
        }
        if (entry.cwd) {
            // Also without a directory part: the fallback still needs to know.
            search.guard = m_files.deletedCheck(entry.pid, entry.cwd->toStdString());
            search.guarded = entry.fromCwd;
        }
        searches.push_back(std::move(search));
    }
    auto batch = std::make_unique<Batch>();
    batch->probe = m_files.probePaths(std::move(searches));
    batch->entries = std::move(entries);
    batch->lastProgress = now();
    m_batches.push_back(std::move(batch));
}

std::optional<QString> ProjectSearcher::answerOf(const Entry& entry,
                                                 std::optional<std::size_t> found,
                                                 bool cwdDeleted) const {
    if (found && *found < std::size_t(entry.directories.size())) {
        return entry.directories[qsizetype(*found)];
    }
    if (!m_home) {
        m_home = QString::fromStdString(m_files.homeDirectory());
    }
    return Identification::projectFallback(cwdDeleted ? std::nullopt : entry.cwd, *m_home);
}

void ProjectSearcher::take(Batch& batch, Answers& answers, std::chrono::milliseconds wait) {
    const auto arrived = batch.probe->collect(wait);
    if (!arrived.empty()) {
        batch.lastProgress = now();
    }
    for (const platform::PathAnswer& answer : arrived) {
        Entry& entry = batch.entries[answer.search];
        entry.answered = true;
        if (!current(entry)) {
            continue;
        }
        entry.open = false;
        m_searching.remove(entry.pid);
        answers.insert(entry.pid, answerOf(entry, answer.found, answer.guardDeleted));
    }
}

ProjectSearcher::Answers ProjectSearcher::gather(std::chrono::milliseconds wait, bool stuckToo) {
    Answers answers;
    const auto deadline = now() + wait;
    for (;;) {
        for (auto& batch : m_batches) {
            take(*batch, answers, std::chrono::milliseconds(0));
        }
        splitStalled();
        const auto waiting =
            std::find_if(m_batches.begin(), m_batches.end(), [this, stuckToo](const auto& b) {
                // a stuck batch costs one stall only
                return (stuckToo || !b->split) && b->probe->pending() > 0 && wanted(*b);
            });
        const auto left = deadline - now();
        if (waiting == m_batches.end() || left <= std::chrono::nanoseconds(0)) {
            break;
        }
        // In slices, so a batch answering elsewhere, or a stall, is seen soon;
        // rounded up, so the last sub-millisecond rest still waits.
        take(**waiting, answers,
             std::min(std::chrono::ceil<std::chrono::milliseconds>(left),
                      std::chrono::milliseconds(10)));
    }
    dropSettled();
    return answers;
}

void ProjectSearcher::splitStalled() {
    std::vector<Entry> restart;
    for (auto& batch : m_batches) {
        if (batch->split || batch->probe->pending() == 0 || now() - batch->lastProgress < m_stall) {
            continue;
        }
        // Stuck on the first search it has not answered, which may be one no
        // longer wanted; the rest is only queued behind it.
        const auto stuck = std::find_if(batch->entries.begin(), batch->entries.end(),
                                        [](const Entry& e) { return !e.answered; });
        for (auto it = batch->entries.begin(); it != batch->entries.end(); ++it) {
            if (it == stuck || !current(*it)) {
                continue;
            }
            restart.push_back(*it);
            it->open = false;
        }
        batch->split = true;
    }
    if (!restart.empty()) {
        launch(std::move(restart));
    }
}

void ProjectSearcher::retain(const QSet<Pid>& pids) {
    for (auto it = m_searching.begin(); it != m_searching.end();) {
        it = pids.contains(it.key()) ? std::next(it) : m_searching.erase(it);
    }
    dropSettled();
}

bool ProjectSearcher::wanted(const Batch& batch) const {
    return std::any_of(batch.entries.begin(), batch.entries.end(),
                       [this](const Entry& e) { return current(e); });
}

void ProjectSearcher::dropSettled() {
    // A batch with nothing current left is only a child to let go of.
    std::erase_if(m_batches, [this](const std::unique_ptr<Batch>& batch) {
        return batch->probe->pending() == 0 || !wanted(*batch);
    });
}

} // namespace ombrix
