#pragma once

// The windowed program's body, for the window module's entry point: the
// application object, the shell built from `options`, the event loop, and an
// exit that waits for nothing still in flight. Returns only through _Exit.

#include "OmbrixApp.h"

namespace ombrix {

[[noreturn]] void runWindow(int argc, char** argv, OmbrixApp::Options options);

} // namespace ombrix
