#pragma once

#include "Kernel.h"

#include <QtGlobal>

namespace ombrix {

// One snapshot of the machine's memory, in bytes. The zero snapshot (counters
// unreadable) carries pressure level 1, the normal level.
struct SystemMemory {
    quint64 physical = 0;
    quint64 app = 0; // anonymous memory less the purgeable part
    quint64 wired = 0;
    quint64 compressed = 0;
    quint64 cachedFiles = 0; // file-backed plus purgeable
    quint64 swapUsed = 0;
    qint32 pressureLevel = 1; // 1 normal, 2 warning, 4 critical, others stored as read

    friend bool operator==(const SystemMemory&, const SystemMemory&) = default;

    // Never fails: an unreadable statistics query gives the zero snapshot,
    // an unreadable swap or pressure query gives 0 or 1 for that field only.
    // Stateless and safe on any thread.
    static SystemMemory sample(const platform::MemoryCounters& counters = platform::systemKernel());
};

} // namespace ombrix
