#include "Analyzers.h"

#include "Identification.h"
#include "ValueText.h"

#include <QHash>
#include <vector>

namespace ombrix::Analyzers {

namespace {

// Indices of the rows in each group of two or more, groups in first-row order.
std::vector<std::vector<qsizetype>> groups(const QList<DartProcess>& rows) {
    QHash<QString, size_t> byFolder;
    std::vector<std::vector<qsizetype>> all;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const DartProcess& row = rows[i];
        if (!row.analyzer || row.foreign) {
            continue;
        }
        const auto place = folder(row);
        if (!place) {
            continue;
        }
        const auto found = byFolder.constFind(*place);
        if (found == byFolder.constEnd()) {
            byFolder.insert(*place, all.size());
            all.push_back({i});
        } else {
            all[*found].push_back(i);
        }
    }
    std::erase_if(all, [](const std::vector<qsizetype>& group) { return group.size() < 2; });
    return all;
}

bool older(const DartProcess& a, const DartProcess& b) {
    return a.startTime != b.startTime ? a.startTime < b.startTime : a.id < b.id;
}

qsizetype kept(const QList<DartProcess>& rows, const std::vector<qsizetype>& group) {
    qsizetype byIde = -1;
    int ides = 0;
    qsizetype oldest = group.front();
    for (qsizetype i : group) {
        if (rows[i].startedBy && rows[i].startedBy->kind == StarterKind::Ide) {
            byIde = i;
            ++ides;
        }
        if (older(rows[i], rows[oldest])) {
            oldest = i;
        }
    }
    return ides == 1 ? byIde : oldest;
}

} // namespace

std::optional<QString> folder(const DartProcess& row) {
    return row.projectPath ? row.projectPath : row.workspace;
}

void mark(QList<DartProcess>& rows, const QString& home) {
    for (DartProcess& row : rows) {
        row.duplicateOf.reset();
        const auto place = folder(row);
        row.homeFolder = row.analyzer && (place ? *place == home || *place == u"/" : row.homeCwd);
    }
    for (const auto& group : groups(rows)) {
        const DartProcess& keep = rows[kept(rows, group)];
        const AlsoAnalyzedBy by{{keep.id, keep.startTime}, keep.name};
        for (qsizetype i : group) {
            if (rows[i].id != keep.id) {
                rows[i].duplicateOf = by;
            }
        }
    }
}

QStringList groupLines(const QList<DartProcess>& rows) {
    QStringList lines;
    for (const auto& group : groups(rows)) {
        quint64 bytes = 0;
        for (qsizetype i : group) {
            bytes += rows[i].memoryBytes;
        }
        lines.append(QString::number(group.size()) + QStringLiteral(" analyzers on ") +
                     Identification::lastPathComponent(*folder(rows[group.front()])) +
                     QStringLiteral(" \u00b7 ") + ValueText::bytes(bytes));
    }
    return lines;
}

} // namespace ombrix::Analyzers
