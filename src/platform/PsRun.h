#pragma once

// The one ps run both POSIX backends share: `/bin/ps -axo pid=,args=` with
// stdout into the given pipe, stderr to /dev/null, signals unblocked and
// SIGPIPE at its default, read to end of file, then reaped.

#include <spawn.h>
#include <string>

namespace ombrix::platform::posix {

// What one OS adds to the spawn: attribute flags, and file actions applied
// before the standard ones.
struct SpawnExtras {
    short flags = 0;
    void (*actions)(posix_spawn_file_actions_t&) = nullptr;
};

// Takes both ends of a close-on-exec pipe (each OS makes one its own way) and
// closes them. The whole output, or "" when ps could not be started or the
// read failed partway (a cut listing would yield cut command lines).
std::string runPs(int readFd, int writeFd, SpawnExtras extras = {});

} // namespace ombrix::platform::posix
