#pragma once

// Memory and CPU of each watched process (pid and start time) at each sample:
// full detail over the last `fullMs`, one point per `thinnedStepMs` before
// that, nothing older than `keepMs`. A process's series goes when a sample no
// longer lists it. Points are packed (time in 10 ms steps from the first
// sample, memory in KiB, CPU as a float), so 1,000 processes over an hour at
// the usual cadence stay under 10 MB. Only the user's own processes get a
// series, and at most `maxProcesses` of them: another user's thousands of
// processes cost nothing. Used on the thread that owns it.

#include "DartProcess.h"

#include <QList>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace ombrix {

struct UsagePoint {
    qint64 atMs = 0; // monotonic milliseconds
    quint64 memoryBytes = 0;
    double cpuPercent = 0;
    friend bool operator==(const UsagePoint&, const UsagePoint&) = default;
};

class UsageSeries {
public:
    struct Limits {
        qint64 keepMs = 60 * 60 * 1000;
        qint64 fullMs = 10 * 60 * 1000;
        qint64 thinnedStepMs = 10 * 1000;
        // A point closer than this to the one before replaces it (an extra
        // sample), so the count stays bounded whoever asks for samples.
        qint64 minStepMs = 2000;
    };

    // `atMs` earlier than the last point (a clock that went back) counts as the last.
    void append(qint64 atMs, quint64 memoryBytes, double cpuPercent, const Limits& limits);

    bool isEmpty() const { return m_recent.empty(); }
    qsizetype size() const { return qsizetype(m_older.size() + m_recent.size()); }
    qint64 firstSeenMs() const { return m_firstSeenMs; } // kept when its point is gone
    qint64 lastMs() const;
    UsagePoint last() const;
    // Oldest first.
    std::vector<UsagePoint> points() const;
    // Lowest memory among the points with fromMs <= at < toMs; none without one.
    std::optional<quint64> lowestMemory(qint64 fromMs, qint64 toMs) const;

private:
    struct Packed {
        quint32 atCs = 0; // 10 ms steps since m_firstSeenMs
        quint32 memoryKiB = 0;
        float cpuPercent = 0;
    };
    // Oldest first, allocated once at the size the limits allow.
    class Ring {
    public:
        void reserve(qsizetype capacity);
        bool empty() const { return m_size == 0; }
        bool full() const { return m_size == m_capacity; }
        qsizetype size() const { return m_size; }
        const Packed& operator[](qsizetype i) const { return m_data[(m_head + i) % m_capacity]; }
        const Packed& front() const { return (*this)[0]; }
        const Packed& back() const { return (*this)[m_size - 1]; }
        void push_back(const Packed& p);
        void pop_front();
        void pop_back() { --m_size; }

    private:
        std::unique_ptr<Packed[]> m_data;
        qsizetype m_capacity = 0;
        qsizetype m_head = 0;
        qsizetype m_size = 0;
    };
    Packed pack(qint64 atMs, quint64 memoryBytes, double cpuPercent) const;
    UsagePoint unpack(const Packed& p) const;
    qint64 msOf(const Packed& p) const { return m_firstSeenMs + qint64(p.atCs) * 10; }

    qint64 m_firstSeenMs = 0;
    void age(const Limits& limits);
    Ring m_older;  // thinned
    Ring m_recent; // every sample
};

class UsageHistory {
public:
    // About 7.3 KB each, whatever the cadence: at most 7.5 MB.
    static constexpr qsizetype processLimit = 1000;

    explicit UsageHistory(UsageSeries::Limits limits = {}, qsizetype maxProcesses = processLimit);

    // One sample: a point for each row of the user's own, and no series for a
    // process not among them. While `maxProcesses` are tracked a newcomer
    // gets none; rows come first in their order once one ends.
    void record(const QList<DartProcess>& rows, qint64 atMs);
    // None for a process not watched (or not yet sampled).
    const UsageSeries* series(const ProcessRef& process) const;
    qsizetype count() const { return qsizetype(m_series.size()); }

private:
    struct Hash {
        size_t operator()(const ProcessRef& ref) const noexcept { return qHash(ref); }
    };
    UsageSeries::Limits m_limits;
    qsizetype m_maxProcesses;
    std::unordered_map<ProcessRef, UsageSeries, Hash> m_series;
};

} // namespace ombrix
