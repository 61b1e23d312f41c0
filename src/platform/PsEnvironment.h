#pragma once

#include <string>
#include <vector>

namespace ombrix::platform {

// The environment for the ps child, given the program's (a NULL-terminated
// array as `environ`; null is an empty one), without touching ours, which
// other threads may read: COLUMNS dropped, since ps cuts every line to it,
// and LC_ALL=C.UTF-8, so non-ASCII arguments are not printed as "?".
// Everything else is kept in order.
std::vector<std::string> psEnvironment(const char* const* environment);

} // namespace ombrix::platform
