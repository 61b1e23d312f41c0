#pragma once

// Rules over one sample's analyzers, once their workspaces are known:
// analyzers that double up on one folder, and analyzers of the whole home
// folder. Pure functions of the rows; used on any one thread.

#include "DartProcess.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace ombrix::Analyzers {

// The folder an analyzer holds: its project, else its window's workspace.
std::optional<QString> folder(const DartProcess& row);

// Marks the rows: in each group of two or more of the user's analyzers on
// one folder, every member but one is `duplicateOf` that one, which is the
// group's only analyzer an IDE or editor started, else its oldest. An
// analyzer whose folder (or, without one, its working directory) is `home`
// or "/" is `homeFolder`. Marks from an earlier sample are replaced.
void mark(QList<DartProcess>& rows, const QString& home);

// One line per group, in the order of each group's first row:
// "3 analyzers on weather_app · 8.4 GB".
QStringList groupLines(const QList<DartProcess>& rows);

} // namespace ombrix::Analyzers
