#pragma once

// "--leftovers" and "--end-leftovers": the leftovers as the dump finds them
// (two readings half a second apart), listed, or ended with one shared grace.
// They block the calling thread and need a QCoreApplication, nothing more.

#include "ProcessMonitor.h"

#include <chrono>
#include <cstdio>

namespace ombrix::platform {
class Kernel;
}

namespace ombrix::LeftoverCommands {

// How long the leftovers have after SIGTERM, all together.
inline constexpr std::chrono::milliseconds grace{5000};

// One dump line per leftover, in listing order; nothing when there are none.
void list(std::FILE* out = stdout);
void list(const platform::Kernel& kernel, const ProcessMonitor::Resolver& resolver, std::FILE* out);

// Ends every leftover and prints "<pid>\t<name>\t<outcome>" for each, in
// listing order. Gives the exit status: 0 when none is left running, else 1.
int end(std::FILE* out = stdout);
int end(const platform::Kernel& kernel, std::FILE* out,
        std::chrono::milliseconds grace = LeftoverCommands::grace);

} // namespace ombrix::LeftoverCommands
