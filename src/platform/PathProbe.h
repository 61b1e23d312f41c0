#pragma once

// Existence checks that a hung file system cannot turn into a hung caller.
// A dropped sshfs or NFS mount leaves stat() waiting in the kernel for as long
// as the mount is gone, and a thread waiting there cannot even be killed. So
// the checks run in a child process: the caller waits for answers until a
// time of its choosing and then goes on; a child that is stuck is left
// behind, killed, and reaped once the kernel lets it go.
//
// Standard C++ and POSIX only. One probe is used from one thread at a time.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ombrix::platform {

// One search: `paths` are asked in order until one exists. When `guard` is
// set and that directory has been deleted (or cannot be looked at), the first
// `guarded` paths are skipped: they were derived from it.
struct PathSearch {
    std::vector<std::string> paths;
    std::string guard;
    std::size_t guarded = 0;
};

struct PathAnswer {
    std::size_t search = 0;           // index in the batch
    std::optional<std::size_t> found; // index in its paths of the first that exists
    bool guardDeleted = false;
    friend bool operator==(const PathAnswer&, const PathAnswer&) = default;
};

class PathProbe {
public:
    virtual ~PathProbe() = default;
    // Answers that arrive within `wait`, each returned once, in search order.
    // Returns early once every search is answered.
    virtual std::vector<PathAnswer> collect(std::chrono::milliseconds wait) = 0;
    // Searches not answered yet.
    virtual std::size_t pending() const = 0;
};

using PathTest = std::function<bool(const std::string& path)>;

// Answers every search at once in the calling thread, `exists` standing for
// stat(); a guard counts as deleted when `deleted` says so.
std::unique_ptr<PathProbe> answeredProbe(const std::vector<PathSearch>& searches,
                                         const PathTest& exists, const PathTest& deleted = {});

// Answers the searches in a forked child, in order; a path asked twice within
// a batch is stat()ed once. If the child cannot be started or dies, the
// searches it did not answer are answered "nothing found".
std::unique_ptr<PathProbe> childProbe(std::vector<PathSearch> searches);

// Ends a child of ours that may be stuck in the kernel: reaped now if it can
// be, else by a later probe.
void abandonChild(int child) noexcept;

// Closes every descriptor from `first` up. Called in the child between fork
// and _exit, so async-signal-safe; one definition per OS.
void closeDescriptorsFrom(int first) noexcept;

// A pipe whose ends are both close-on-exec, set as the pipe is made where the
// OS can (pipe2); false when there is none. One definition per OS.
bool makeCloseOnExecPipe(int fds[2]) noexcept;

} // namespace ombrix::platform
