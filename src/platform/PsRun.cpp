#include "PsRun.h"

#include "Posix.h"
#include "PsEnvironment.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace ombrix::platform::posix {

namespace {

std::optional<pid_t> spawnPs(int stdoutFd, SpawnExtras extras) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return std::nullopt;
    }
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return std::nullopt;
    }
    if (extras.actions != nullptr) {
        extras.actions(actions);
    }
    posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // The calling worker thread may block signals; ps should not inherit that.
    sigset_t none;
    sigemptyset(&none);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &pipe);
    posix_spawnattr_setflags(&attributes, static_cast<short>(POSIX_SPAWN_SETSIGMASK |
                                                             POSIX_SPAWN_SETSIGDEF | extras.flags));

    // Built afresh, never by changing our own environment: other threads read it.
    std::vector<std::string> env = psEnvironment(environ);
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (auto& entry : env) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    char path[] = "/bin/ps";
    char all[] = "-axo";
    char format[] = "pid=,args=";
    char* argv[] = {path, all, format, nullptr};

    pid_t child = 0;
    const int rc = ::posix_spawn(&child, path, &actions, &attributes, argv, envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return std::nullopt;
    }
    return child;
}

} // namespace

std::string runPs(int readFd, int writeFd, SpawnExtras extras) {
    const auto child = spawnPs(writeFd, extras);
    ::close(writeFd); // else we would never see end of file
    if (!child) {
        ::close(readFd);
        return "";
    }
    // No limit: a cut listing would yield cut command lines.
    auto output = readToEnd(readFd, std::string().max_size());
    ::close(readFd);
    int status = 0;
    while (::waitpid(*child, &status, 0) < 0 && errno == EINTR) {
    }
    return output.value_or(std::string());
}

} // namespace ombrix::platform::posix
