#include "DetailsText.h"

#include "GrowthRule.h"
#include "Identification.h"
#include "ValueText.h"
#include "VisibleText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <algorithm>

namespace ombrix::DetailsText {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("ProcessDetails", text);
}

QString unknown() {
    return tr("unknown");
}

// The masked paths, longest first so that a workspace holding the project
// does not leave the project's tail behind.
QString masking(QString text, const Input& in) {
    if (!in.masked) {
        return text;
    }
    QList<QString> paths;
    for (const auto& path : {in.process.projectPath, in.process.workspace}) {
        if (path && !path->isEmpty() && *path != QLatin1String("/")) {
            paths.append(*path);
        }
    }
    std::sort(paths.begin(), paths.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& path : paths) {
        text.replace(path, QStringLiteral("\u2026/") + Identification::lastPathComponent(path));
    }
    return text;
}

QString named(const std::optional<ProcessFacts::Named>& n) {
    if (!n) {
        return unknown();
    }
    const QString name = visibleText(n->name);
    return name.isEmpty() ? QString::number(n->pid)
                          : name + QStringLiteral(" (") + QString::number(n->pid) + ')';
}

QString startedBy(const std::optional<IdeAncestor>& starter) {
    if (!starter) {
        return tr("none");
    }
    QString text = named(ProcessFacts::Named{starter->pid, starter->name});
    if (!starter->executable.isEmpty()) {
        text += QStringLiteral(", ") + visibleText(starter->executable);
    }
    return text;
}

} // namespace

QString alsoAnalyzedBy(const AlsoAnalyzedBy& by) {
    return tr("Also analyzed by %1 (%2)").arg(visibleText(by.name)).arg(by.process.id);
}

QString homeFolderTip() {
    return tr("Analyzing the whole home folder: open the project's own folder instead");
}

QString commandLabel() {
    return tr("Command line");
}

QString title(const DartProcess& process) {
    return visibleText(process.name) + QStringLiteral(" (") + QString::number(process.id) + ')';
}

QString duration(qint64 ms) {
    const qint64 minutes = ms / 60'000;
    if (minutes < 1) {
        return tr("under a minute");
    }
    if (minutes < 60) {
        return QStringLiteral("%1 min").arg(minutes);
    }
    if (minutes < 24 * 60) {
        return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
    }
    return QStringLiteral("%1 d %2 h").arg(minutes / (24 * 60)).arg(minutes / 60 % 24);
}

QList<QPair<qint64, quint64>> minuteSteps(const std::vector<UsagePoint>& points) {
    QList<QPair<qint64, quint64>> steps;
    if (points.empty()) {
        return steps;
    }
    const qint64 newest = points.back().atMs;
    auto it = points.rbegin();
    for (qint64 back = 0; newest - back * 60'000 >= points.front().atMs; ++back) {
        const qint64 at = newest - back * 60'000;
        while (it != points.rend() && it->atMs > at) {
            ++it;
        }
        if (it == points.rend()) {
            break;
        }
        steps.prepend({back, it->memoryBytes});
    }
    return steps;
}

QList<QPair<QString, QString>> facts(const Input& in) {
    const DartProcess& p = in.process;
    const std::optional<ProcessFacts>& f = in.facts;
    const QString reading = QStringLiteral("\u2026");
    const auto fact = [&](const std::optional<QString>& value) {
        return !f ? reading : value ? masking(visibleText(*value), in) : unknown();
    };
    QList<QPair<QString, QString>> lines;
    lines.append({tr("Status"), in.ended ? tr("Ended") : tr("Running")});
    lines.append({tr("Executable"), fact(f ? f->executable : std::nullopt)});
    lines.append({commandLabel(), masking(visibleText(p.command), in)});
    lines.append({tr("Working directory"), fact(f ? f->workingDirectory : std::nullopt)});
    // A masked path shows only its last component, as the row shows it.
    const auto path = [&](const std::optional<QString>& value) {
        return !value      ? tr("none")
               : in.masked ? visibleText(Identification::lastPathComponent(*value))
                           : visibleText(*value);
    };
    lines.append({tr("Project"), path(p.projectPath)});
    if (!f || !in.versionRead || f->inSdk) {
        lines.append(
            {tr("Dart SDK"), !f || !in.versionRead ? reading : f->sdkVersion.value_or(unknown())});
    }
    lines.append({tr("Started by"), startedBy(p.startedBy)});
    lines.append({tr("Workspace"), path(p.workspace)});
    lines.append({tr("Parent"), !f ? reading : f->parentEnded ? tr("ended") : named(f->parent)});
    QString started = reading;
    if (f) {
        started = unknown();
        if (f->startedAtUnixMs) {
            started = QDateTime::fromMSecsSinceEpoch(*f->startedAtUnixMs)
                          .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            // A wall clock set back since then gives no sensible "ago".
            if (in.nowUnixMs && *in.nowUnixMs >= *f->startedAtUnixMs) {
                started += QStringLiteral(" (") + duration(*in.nowUnixMs - *f->startedAtUnixMs) +
                           QStringLiteral(" ago)");
            }
        }
    }
    lines.append({tr("Started"), started});
    lines.append({tr("User"), fact(f ? f->user : std::nullopt)});
    lines.append({tr("CPU"), ValueText::cpu(p.cpuPercent)});
    QString memory = ValueText::bytes(p.memoryBytes);
    if (!in.points.empty()) {
        const auto [low, high] = std::minmax_element(
            in.points.begin(), in.points.end(),
            [](const UsagePoint& a, const UsagePoint& b) { return a.memoryBytes < b.memoryBytes; });
        memory += QStringLiteral(", lowest %1, highest %2 over the last %3")
                      .arg(ValueText::bytes(low->memoryBytes), ValueText::bytes(high->memoryBytes),
                           duration(in.points.back().atMs - in.points.front().atMs));
    }
    lines.append({tr("Memory"), memory});
    if (p.growth) {
        lines.append({tr("Growing"), tr("Grew by %1 in %2")
                                         .arg(ValueText::bytes(p.growth->bytes),
                                              GrowthRule::span(p.growth->seconds))});
    }
    if (p.duplicateOf) {
        lines.append({tr("Duplicate"), alsoAnalyzedBy(*p.duplicateOf)});
    }
    if (p.homeFolder) {
        lines.append({tr("Home Folder"), homeFolderTip()});
    }
    return lines;
}

QString report(const Input& in) {
    QString text = title(in.process) + '\n';
    for (const auto& [label, value] : facts(in)) {
        text += label + QStringLiteral(": ") + value + '\n';
    }
    const auto steps = minuteSteps(in.points);
    if (!steps.isEmpty()) {
        text += '\n' + tr("Memory at one-minute steps (oldest first):") + '\n';
        for (const auto& [back, bytes] : steps) {
            const QString when = back == 0 ? tr("now") : QStringLiteral("-%1 min").arg(back);
            text += QStringLiteral("  %1  %2\n").arg(when, -8).arg(ValueText::bytes(bytes));
        }
    }
    return text;
}

} // namespace ombrix::DetailsText
