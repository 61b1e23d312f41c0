// The window module of the test-only launcher "ombrix" in tests/growth/: the
// real program, but with the growth rule's windows short enough for a
// session test to watch a process grow. The shipped program has no way to
// shorten them; this module is built only with the tests.

#include "ProcessMonitor.h"
#include "WindowRun.h"

extern "C" __attribute__((visibility("default"))) int ombrix_window_main(int argc, char** argv) {
    ombrix::OmbrixApp::Options options;
    options.makeMonitor = [] {
        ombrix::ProcessMonitor::Options monitor;
        monitor.growth.watchedMs = 16'000;
        monitor.growth.windowMs = 8'000;
        monitor.growth.minBytes = 32ull << 20;
        return std::make_unique<ombrix::ProcessMonitor>(monitor);
    };
    ombrix::runWindow(argc, argv, std::move(options));
}
