#pragma once

// Where a process works, as one short text for places that name a process
// outside its row (the End Leftovers list, a notification).

#include "DartProcess.h"

#include <QString>
#include <optional>

namespace ombrix::ProcessText {

// The project, or else the IDE workspace, with the home directory as "~";
// only its last component while paths are masked. None when it has neither.
std::optional<QString> place(const DartProcess& process, const QString& home, bool masked);

// place(), or "pid N" for a process without one.
QString placeOrPid(const DartProcess& process, const QString& home, bool masked);

} // namespace ombrix::ProcessText
