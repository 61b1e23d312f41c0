#pragma once

// What the tray item's menu lists for a published process table: up to
// `processLimit` processes in the table's order ("<name> · <project> ·
// <memory>", " · Leftover" at the end of a leftover's), "<N> more…" past them,
// the empty-state title when there are none, the leftovers' line and "End
// Leftovers…" while there are leftovers, then the window, update and quit
// commands. A process's entry is keyed by pid and start time, so a choice that
// races a new sample still names the process the user saw.

#include "DBusMenuExporter.h"
#include "DartProcess.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

class QMenu;

namespace ombrix::TrayMenu {

inline constexpr qsizetype processLimit = 10;

// The keys of the fixed entries.
inline constexpr const char* moreKey = "more";
inline constexpr const char* endLeftoversKey = "endLeftovers";
inline constexpr const char* openWindowKey = "openWindow";
inline constexpr const char* checkForUpdatesKey = "checkForUpdates";
inline constexpr const char* quitKey = "quit";

QList<MenuEntry> entries(const QList<DartProcess>& processes);

// The process a key names, for the entries of processes.
std::optional<ProcessRef> processOf(const QString& key);

// `menu` emptied and filled with `entries`; choosing one calls `chosen` with its key.
void fill(QMenu& menu, const QList<MenuEntry>& entries,
          const std::function<void(const QString& key)>& chosen);

} // namespace ombrix::TrayMenu
