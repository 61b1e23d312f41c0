#include "LeftoverAlerts.h"

#include "GrowthRule.h"
#include "ValueText.h"

#include <QHash>

namespace ombrix {

namespace {

const QString kDot = QStringLiteral(" \u00b7 ");

} // namespace

LeftoverAlerts::LeftoverAlerts(Place place, std::chrono::milliseconds spacing)
    : m_place(std::move(place))
    , m_spacing(spacing.count()) {}

std::optional<LeftoverAlerts::Notice> LeftoverAlerts::update(const QList<DartProcess>& rows,
                                                             qint64 nowMs, bool startUp) {
    QHash<QPair<Pid, quint64>, const DartProcess*> leftovers;
    QHash<QPair<Pid, quint64>, const DartProcess*> listed;
    for (const DartProcess& row : rows) {
        const QPair<Pid, quint64> key{row.id, row.startTime};
        listed.insert(key, &row);
        if (row.growth && !m_toldGrowing.contains(key)) {
            m_toldGrowing.insert(key);
            m_waiting.append({row, nowMs, true, *row.growth});
        }
        if (!row.leftover) {
            continue;
        }
        leftovers.insert(key, &row);
        if (!m_told.contains(key)) {
            m_told.insert(key);
            if (!startUp && !row.family) {
                m_waiting.append({row, nowMs});
            }
        }
    }
    // A process that ended, or was ended, is neither told nor remembered.
    m_told.removeIf([&](const QPair<Pid, quint64>& key) { return !leftovers.contains(key); });
    m_toldGrowing.removeIf([&](const QPair<Pid, quint64>& key) { return !listed.contains(key); });
    m_waiting.removeIf([&](const Waiting& w) {
        const QPair<Pid, quint64> key{w.process.id, w.process.startTime};
        return w.growing ? !listed.contains(key) : !leftovers.contains(key);
    });
    for (Waiting& w : m_waiting) {
        w.process = *listed.value({w.process.id, w.process.startTime}); // fresh figures
        w.family.clear();
        w.familyBytes = 0;
    }
    for (const DartProcess& row : rows) {
        if (!row.family) {
            continue;
        }
        for (Waiting& w : m_waiting) {
            if (!w.growing && w.process.id == row.family->id &&
                w.process.startTime == row.family->startTime) {
                w.family.append({row.id, row.startTime});
                w.familyBytes += row.memoryBytes;
            }
        }
    }
    return take(nowMs);
}

std::optional<qint64> LeftoverAlerts::dueAt() const {
    if (m_waiting.isEmpty() || !m_lastAt) {
        return std::nullopt;
    }
    return *m_lastAt + m_spacing;
}

std::optional<LeftoverAlerts::Notice> LeftoverAlerts::take(qint64 nowMs) {
    if (m_waiting.isEmpty() || (m_lastAt && nowMs < *m_lastAt + m_spacing)) {
        return std::nullopt;
    }
    const bool heldBack = m_lastAt && m_waiting.front().since < *m_lastAt + m_spacing;
    m_lastAt = nowMs;
    if (m_waiting.size() == 1 || !heldBack) {
        const Notice notice = single(m_waiting.takeFirst());
        for (Waiting& w : m_waiting) {
            w.since = nowMs; // held back by this one
        }
        return notice;
    }
    QStringList names;
    quint64 bytes = 0;
    qsizetype growing = 0;
    for (const Waiting& w : std::as_const(m_waiting)) {
        names << w.process.name;
        bytes += w.process.memoryBytes + w.familyBytes;
        growing += w.growing ? 1 : 0;
    }
    const QString what = growing == 0 ? QStringLiteral(" more left running")
                         : growing == m_waiting.size()
                             ? QStringLiteral(" more growing")
                             : QStringLiteral(" more left running or growing");
    Notice folded{QString::number(m_waiting.size()) + what,
                  names.join(QStringLiteral(", ")) + kDot + ValueText::bytes(bytes),
                  {},
                  std::nullopt};
    m_waiting.clear();
    return folded;
}

LeftoverAlerts::Notice LeftoverAlerts::single(const Waiting& w) const {
    const DartProcess& p = w.process;
    if (w.growing) {
        const Growth growth = p.growth.value_or(w.growth);
        return {p.name + QStringLiteral(" is growing"),
                m_place(p) + kDot + ValueText::bytes(p.memoryBytes) + QStringLiteral(" (+") +
                    ValueText::bytes(growth.bytes) + QStringLiteral(" in ") +
                    GrowthRule::span(growth.seconds) + ')',
                {},
                ProcessRef{p.id, p.startTime}};
    }
    QString body = m_place(p) + kDot + ValueText::bytes(p.memoryBytes + w.familyBytes);
    if (!w.family.isEmpty()) {
        body += QStringLiteral(" (with %1 more)").arg(w.family.size());
    }
    return {p.name + QStringLiteral(" was left running"), body,
            QList<ProcessRef>{{p.id, p.startTime}} + w.family, std::nullopt};
}

} // namespace ombrix
