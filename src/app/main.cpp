// The launcher. The command line is decided before any application object
// exists; the dump and the other commands need QtCore alone, and the window
// lives in a module loaded only without them. Starting without the GUI
// libraries saves about a third of the dump's own start-up, which is most of
// what the dump costs beyond its half-second wait.

#include "CommandLine.h"
#include "Dump.h"
#include "Kernel.h"
#include "LeftoverCommands.h"

#include <QCoreApplication>
#include <cstdio>
#include <dlfcn.h>
#include <string>

namespace {

using WindowMain = int (*)(int, char**);

} // namespace

using namespace ombrix;

int main(int argc, char** argv) {
    const CommandLine::Request request = CommandLine::parse(argc, argv);
    switch (request.command) {
    case CommandLine::Command::Window:
        break;
    case CommandLine::Command::Dump: {
        QCoreApplication app(argc, argv);
        Dump::print();
        return 0;
    }
    case CommandLine::Command::Leftovers: {
        QCoreApplication app(argc, argv);
        LeftoverCommands::list();
        return 0;
    }
    case CommandLine::Command::EndLeftovers: {
        QCoreApplication app(argc, argv);
        return LeftoverCommands::end();
    }
    case CommandLine::Command::Help:
        std::fputs(CommandLine::usage, stdout);
        return 0;
    case CommandLine::Command::Version:
        std::printf("ombrix %s\n", OMBRIX_VERSION);
        return 0;
    case CommandLine::Command::UsageError:
        std::fprintf(stderr, "%s\n%s", request.error.c_str(), CommandLine::usage);
        return 2;
    }

    // Beside the executable in a build tree, under the library directory once installed.
    const platform::Kernel& kernel = platform::systemKernel();
    const auto self = kernel.executablePath(kernel.ownPid());
    if (!self || self->find('/') == std::string::npos) {
        // Never a guess: a module found in "/" or the working directory would be anyone's.
        std::fprintf(stderr, "ombrix: cannot read its own path to find the window module\n");
        return 1;
    }
    const std::string dir = self->substr(0, self->rfind('/'));
    std::string errors;
    for (const std::string& candidate :
         {dir + "/" OMBRIX_WINDOW_MODULE, dir + "/" OMBRIX_INSTALLED_MODULE}) {
        if (void* module = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            if (auto entry = reinterpret_cast<WindowMain>(::dlsym(module, "ombrix_window_main"))) {
                return entry(argc, argv);
            }
        }
        const char* error = ::dlerror();
        errors += "\n  " + candidate + ": " + (error != nullptr ? error : "no entry point");
    }
    std::fprintf(stderr, "ombrix: cannot load the window module:%s\n", errors.c_str());
    return 1;
}
