#include "SystemMemory.h"

#include "Kernel.h"

namespace ombrix {

SystemMemory SystemMemory::sample(const platform::MemoryCounters& counters) {
    const auto vm = counters.vmStatistics();
    if (!vm) {
        return SystemMemory{}; // and the other queries are not made
    }
    const quint64 unit = counters.counterUnitBytes();
    SystemMemory m;
    m.physical = counters.physicalMemory();
    m.wired = vm->wire * unit;
    m.compressed = vm->compressor * unit;
    m.cachedFiles = (vm->external + vm->purgeable) * unit;
    m.app = vm->internal > vm->purgeable ? (vm->internal - vm->purgeable) * unit : 0;
    m.swapUsed = counters.swapUsed().value_or(0);
    m.pressureLevel = counters.pressureLevel().value_or(1);
    return m;
}

} // namespace ombrix
