#pragma once

// Whether the command line asks for the dump: one argument exactly "--dump".
// Header-only so the launcher can ask it before loading anything graphical.

#include <cstring>

namespace ombrix {

inline bool isDumpRequest(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i] != nullptr && std::strcmp(argv[i], "--dump") == 0) {
            return true;
        }
    }
    return false;
}

} // namespace ombrix
