// The launcher. The dump is decided before any application object exists and
// needs QtCore alone; the window lives in a module loaded only without it.
// Starting without the GUI libraries saves about a third of the dump's own
// start-up, which is most of what the dump costs beyond its half-second wait.

#include "Dump.h"
#include "DumpRequest.h"
#include "Kernel.h"

#include <QCoreApplication>
#include <cstdio>
#include <dlfcn.h>
#include <string>

namespace {

using WindowMain = int (*)(int, char**);

} // namespace

using namespace ombrix;

int main(int argc, char** argv) {
    if (isDumpRequest(argc, argv)) {
        QCoreApplication app(argc, argv);
        Dump::print();
        return 0;
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
