#pragma once

// Project searches that a file system which stops answering cannot hold up.
// Each batch of searches runs in the kernel's path prober (a child process on
// a real machine); the caller waits for answers only as long as it chooses.
// A prober that answers nothing for `stall` is taken as stuck on the first
// search it has not answered (it answers in order): that search stays with it
// (its process shows no project until the file system answers), and every
// other search still wanted starts afresh in a new prober, so one dead mount
// costs one search, not the rest.
//
// Stalls and deadlines are counted on the injected clock; the only waiting is
// in the prober's collect(). Used on one thread at a time; the files and the
// clock must outlive the searcher.

#include "DartProcess.h"
#include "Identification.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::platform {
class Clock;
class Files;
class PathProbe;
} // namespace ombrix::platform

namespace ombrix {

class ProjectSearcher {
public:
    struct Request {
        Pid pid = 0;
        std::optional<QString> cwd;
        QStringList args;
    };
    // A project, or nothing: the search itself has ended.
    using Answers = QHash<Pid, std::optional<QString>>;

    ProjectSearcher(const platform::Files& files, const platform::Clock& clock,
                    std::chrono::milliseconds stall = std::chrono::milliseconds(100));
    ~ProjectSearcher();

    // Starts one search per request whose pid is not being searched already;
    // the working directory's deleted check comes from `files`.
    void start(const std::vector<Request>& requests);
    // Answers that arrive within `wait`, each once. Returns early when nothing
    // is left but searches a stuck prober holds.
    Answers collect(std::chrono::milliseconds wait) { return gather(wait, false); }
    // The same, but waits on the stuck searches too, for a caller that reads
    // once and ends (it may still be answered late).
    Answers finish(std::chrono::milliseconds wait) { return gather(wait, true); }
    bool searching(Pid pid) const { return m_searching.contains(pid); }
    bool idle() const { return m_searching.isEmpty(); }
    // Drops the searches of processes no longer watched.
    void retain(const QSet<Pid>& pids);
    void forget(Pid pid) { m_searching.remove(pid); }

private:
    struct Entry {
        Pid pid = 0;
        std::optional<QString> cwd;
        QStringList directories; // the working directory's part first
        std::size_t fromCwd = 0;
        quint64 token = 0; // tells this search from a later one for a reused pid
        bool open = true;
        bool answered = false; // by its batch's prober, wanted or not
    };
    struct Batch {
        std::unique_ptr<platform::PathProbe> probe;
        std::vector<Entry> entries;
        std::chrono::nanoseconds lastProgress{0}; // on the injected clock
        bool split = false;                       // its queue has been handed to a newer batch
    };

    Answers gather(std::chrono::milliseconds wait, bool stuckToo);
    void launch(std::vector<Entry> entries);
    std::optional<QString> answerOf(const Entry& entry, std::optional<std::size_t> found,
                                    bool cwdDeleted) const;
    void take(Batch& batch, Answers& answers, std::chrono::milliseconds wait);
    void splitStalled();
    void dropSettled();
    bool wanted(const Batch& batch) const;
    std::chrono::nanoseconds now() const;

    const platform::Files& m_files;
    const platform::Clock& m_clock;
    const std::chrono::milliseconds m_stall;
    std::vector<std::unique_ptr<Batch>> m_batches;
    bool current(const Entry& entry) const {
        return entry.open && m_searching.value(entry.pid, 0) == entry.token;
    }

    QHash<Pid, quint64> m_searching; // pid -> token of its open search
    quint64 m_nextToken = 1;
    mutable std::optional<QString> m_home;
};

} // namespace ombrix
