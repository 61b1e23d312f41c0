// The windowed program, loaded by the launcher (main.cpp) only when no dump
// was asked for, so that the dump never maps the GUI libraries.

#include "WindowRun.h"

extern "C" __attribute__((visibility("default"))) int ombrix_window_main(int argc, char** argv) {
    ombrix::runWindow(argc, argv, {});
}
