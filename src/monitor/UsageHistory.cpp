#include "UsageHistory.h"

#include <QSet>
#include <algorithm>
#include <limits>

namespace ombrix {

UsageSeries::Packed UsageSeries::pack(qint64 atMs, quint64 memoryBytes, double cpuPercent) const {
    constexpr quint64 maxU32 = std::numeric_limits<quint32>::max();
    const quint64 cs = quint64(std::max<qint64>(0, atMs - m_firstSeenMs)) / 10;
    return {quint32(std::min(cs, maxU32)), quint32(std::min(memoryBytes / 1024, maxU32)),
            float(cpuPercent)};
}

UsagePoint UsageSeries::unpack(const Packed& p) const {
    return {msOf(p), quint64(p.memoryKiB) * 1024, double(p.cpuPercent)};
}

qint64 UsageSeries::lastMs() const {
    return m_recent.empty() ? m_firstSeenMs : msOf(m_recent.back());
}

UsagePoint UsageSeries::last() const {
    return m_recent.empty() ? UsagePoint{m_firstSeenMs} : unpack(m_recent.back());
}

void UsageSeries::Ring::reserve(qsizetype capacity) {
    m_data = std::make_unique<Packed[]>(size_t(capacity));
    m_capacity = capacity;
}

void UsageSeries::Ring::push_back(const Packed& p) {
    if (full()) {
        pop_front();
    }
    m_data[(m_head + m_size) % m_capacity] = p;
    ++m_size;
}

void UsageSeries::Ring::pop_front() {
    m_head = (m_head + 1) % m_capacity;
    --m_size;
}

void UsageSeries::append(qint64 atMs, quint64 memoryBytes, double cpuPercent,
                         const Limits& limits) {
    if (m_recent.empty()) {
        m_firstSeenMs = atMs;
        const auto room = [](qint64 spanMs, qint64 stepMs) {
            return qsizetype(std::max<qint64>(0, spanMs) / std::max<qint64>(1, stepMs) + 2);
        };
        m_recent.reserve(room(limits.fullMs, limits.minStepMs));
        m_older.reserve(room(limits.keepMs - limits.fullMs, limits.thinnedStepMs));
    }
    atMs = std::max(atMs, lastMs());
    if (!m_recent.empty() && atMs - lastMs() < limits.minStepMs) {
        m_recent.pop_back();
    }
    if (m_recent.full()) {
        age(limits); // only if the limits are at odds: the oldest point moves on early
    }
    m_recent.push_back(pack(atMs, memoryBytes, cpuPercent));
    // Past full detail: one point per step goes on into the thinned part.
    while (m_recent.size() > 1 && atMs - msOf(m_recent.front()) > limits.fullMs) {
        age(limits);
    }
    while (!m_older.empty() && atMs - msOf(m_older.front()) > limits.keepMs) {
        m_older.pop_front();
    }
}

void UsageSeries::age(const Limits& limits) {
    const Packed p = m_recent.front();
    m_recent.pop_front();
    if (m_older.empty() || msOf(p) - msOf(m_older.back()) >= limits.thinnedStepMs) {
        m_older.push_back(p);
    }
}

std::vector<UsagePoint> UsageSeries::points() const {
    std::vector<UsagePoint> all;
    all.reserve(m_older.size() + m_recent.size());
    for (const Ring* part : {&m_older, &m_recent}) {
        for (qsizetype i = 0; i < part->size(); ++i) {
            all.push_back(unpack((*part)[i]));
        }
    }
    return all;
}

std::optional<quint64> UsageSeries::lowestMemory(qint64 fromMs, qint64 toMs) const {
    std::optional<quint32> lowest;
    const auto scan = [&](const Ring& part) {
        // Newest last: walk back from the end and stop once before the window.
        for (qsizetype i = part.size() - 1; i >= 0; --i) {
            const Packed& p = part[i];
            const qint64 at = msOf(p);
            if (at < fromMs) {
                return false;
            }
            if (at < toMs) {
                lowest = std::min(lowest.value_or(p.memoryKiB), p.memoryKiB);
            }
        }
        return true;
    };
    if (scan(m_recent)) {
        scan(m_older);
    }
    return lowest ? std::optional<quint64>(quint64(*lowest) * 1024) : std::nullopt;
}

UsageHistory::UsageHistory(UsageSeries::Limits limits, qsizetype maxProcesses)
    : m_limits(limits)
    , m_maxProcesses(maxProcesses) {}

void UsageHistory::record(const QList<DartProcess>& rows, qint64 atMs) {
    QSet<ProcessRef> listed;
    listed.reserve(rows.size());
    for (const DartProcess& row : rows) {
        if (row.ownedByUser) {
            listed.insert({row.id, row.startTime});
        }
    }
    // The ended ones first: their room goes to newcomers of this very sample.
    for (auto it = m_series.begin(); it != m_series.end();) {
        it = listed.contains(it->first) ? std::next(it) : m_series.erase(it);
    }
    for (const DartProcess& row : rows) {
        if (!row.ownedByUser) {
            continue;
        }
        const ProcessRef ref{row.id, row.startTime};
        auto it = m_series.find(ref);
        if (it == m_series.end()) {
            if (qsizetype(m_series.size()) >= m_maxProcesses) {
                continue;
            }
            it = m_series.emplace(ref, UsageSeries()).first;
        }
        it->second.append(atMs, row.memoryBytes, row.cpuPercent, m_limits);
    }
}

const UsageSeries* UsageHistory::series(const ProcessRef& process) const {
    const auto it = m_series.find(process);
    return it != m_series.end() ? &it->second : nullptr;
}

} // namespace ombrix
