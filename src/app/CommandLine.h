#pragma once

// What the command line asks for, decided before anything is loaded: the
// launcher answers the non-window commands on QtCore alone. "--dump" anywhere
// wins over everything else. Other arguments starting with "--" must be one of
// ours, and at most one command may be given; single-dash arguments and
// plain words are the window's (Qt reads its own options from them).
// Header-only, like DumpRequest.h.

#include "DumpRequest.h"

#include <cstring>
#include <string>

namespace ombrix::CommandLine {

enum class Command { Window, Dump, Leftovers, EndLeftovers, Help, Version, UsageError };

struct Request {
    Command command = Command::Window;
    std::string error; // for UsageError: the line before the usage
};

inline constexpr const char* usage =
    "Usage: ombrix [--dump | --leftovers | --end-leftovers | --help | --version]\n"
    "  --dump           print the watched processes once (pid, name, CPU, memory, project)\n"
    "  --leftovers      print the processes left behind by their owners, in the same form\n"
    "  --end-leftovers  end them: SIGTERM, then SIGKILL after 5 s; print each outcome\n"
    "  --help           print this help\n"
    "  --version        print the version\n";

inline Request parse(int argc, const char* const* argv) {
    if (isDumpRequest(argc, argv)) {
        return {Command::Dump, {}};
    }
    struct Option {
        const char* text;
        Command command;
    };
    static constexpr Option options[] = {{"--leftovers", Command::Leftovers},
                                         {"--end-leftovers", Command::EndLeftovers},
                                         {"--help", Command::Help},
                                         {"--version", Command::Version}};
    Request request;
    const char* chosen = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg == nullptr || std::strncmp(arg, "--", 2) != 0) {
            continue;
        }
        const Option* known = nullptr;
        for (const Option& option : options) {
            if (std::strcmp(arg, option.text) == 0) {
                known = &option;
            }
        }
        if (known == nullptr) {
            return {Command::UsageError, "ombrix: unknown option '" + std::string(arg) + "'"};
        }
        if (chosen != nullptr && request.command != known->command) {
            return {Command::UsageError, "ombrix: " + std::string(chosen) + " and " + known->text +
                                             " cannot be used together"};
        }
        chosen = known->text;
        request.command = known->command;
    }
    return request;
}

} // namespace ombrix::CommandLine
