// platform_probe [pid]: one reading of a process (its own by default) and of
// the machine through the platform layer alone, one `key: value` line each,
// so a backend can be checked on a machine without building the application.
// A reading that could not be taken prints "none". Exits 0 unless the
// argument is not a pid.

#include "Kernel.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace {

using namespace ombrix::platform;

void line(const char* key, const std::string& value) {
    std::printf("%s: %s\n", key, value.c_str());
}

template <typename T> std::string text(const std::optional<T>& value) {
    if (!value) {
        return "none";
    }
    if constexpr (std::is_same_v<T, std::string>) {
        return *value;
    } else {
        return std::to_string(*value);
    }
}

} // namespace

int main(int argc, char** argv) {
    const Kernel& kernel = systemKernel();
    Pid pid = kernel.ownPid();
    if (argc > 1) {
        const std::string_view arg(argv[1]);
        const auto [end, ec] = std::from_chars(arg.data(), arg.data() + arg.size(), pid);
        if (ec != std::errc() || end != arg.data() + arg.size()) {
            std::fprintf(stderr, "usage: %s [pid]\n", argv[0]);
            return 2;
        }
    }
    const Timebase timebase = kernel.timebase();

    line("pid", std::to_string(pid));
    line("own_pid", std::to_string(kernel.ownPid()));
    line("parent", text(kernel.parent(pid)));
    line("exe", text(kernel.executablePath(pid)));
    line("cwd", text(kernel.workingDirectory(pid)));
    const auto usage = kernel.usage(pid);
    // The monitor's conversion: unsigned, wrapping, truncating.
    line("cpu_ns",
         usage ? std::to_string(usage->cpuTime * timebase.numer / timebase.denom) : "none");
    line("footprint", usage ? std::to_string(usage->physFootprint) : "none");

    line("timebase", std::to_string(timebase.numer) + "/" + std::to_string(timebase.denom));
    line("counter_unit_bytes", std::to_string(kernel.counterUnitBytes()));
    line("physical", std::to_string(kernel.physicalMemory()));
    const auto vm = kernel.vmStatistics();
    line("vm_wire", vm ? std::to_string(vm->wire) : "none");
    line("vm_purgeable", vm ? std::to_string(vm->purgeable) : "none");
    line("vm_compressor", vm ? std::to_string(vm->compressor) : "none");
    line("vm_external", vm ? std::to_string(vm->external) : "none");
    line("vm_internal", vm ? std::to_string(vm->internal) : "none");
    line("swap_used", text(kernel.swapUsed()));
    line("pressure_level", text(kernel.pressureLevel()));
    line("home", kernel.homeDirectory());
    line("monotonic_ns", std::to_string(kernel.monotonicNanos()));
    return 0;
}
