#include "SystemMemory.h"

#include "Kernel.h"

namespace ombrix {

SystemMemory SystemMemory::sample(const platform::Kernel& kernel) {
    const auto vm = kernel.vmStatistics();
    if (!vm) {
        return SystemMemory{}; // and the other queries are not made
    }
    const quint64 page = kernel.pageSize();
    SystemMemory m;
    m.physical = kernel.physicalMemory();
    m.wired = vm->wire * page;
    m.compressed = vm->compressor * page;
    m.cachedFiles = (vm->external + vm->purgeable) * page;
    m.app = vm->internal > vm->purgeable ? (vm->internal - vm->purgeable) * page : 0;
    m.swapUsed = kernel.swapUsed().value_or(0);
    m.pressureLevel = kernel.pressureLevel().value_or(1);
    return m;
}

} // namespace ombrix
