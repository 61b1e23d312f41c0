#include "PsEnvironment.h"

#include <string_view>

namespace ombrix::platform {

std::vector<std::string> psEnvironment(const char* const* environment) {
    std::vector<std::string> env;
    for (const char* const* entry = environment; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (!text.starts_with("COLUMNS=") && !text.starts_with("LC_ALL=")) {
            env.emplace_back(text);
        }
    }
    env.emplace_back("LC_ALL=C.UTF-8");
    return env;
}

} // namespace ombrix::platform
