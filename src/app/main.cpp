#include "ProcessMonitor.h"

#include <QCoreApplication>

#include <cstring>

int main(int argc, char** argv)
{
    // Decided before any application object exists: the dump needs no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dump") == 0) {
            QCoreApplication app(argc, argv);
            ombrix::ProcessMonitor::dumpOnce();
            return 0;
        }
    }
    std::fputs("ombrix: the window is not built yet; run \"ombrix --dump\" for a table.\n", stderr);
    return 0;
}
