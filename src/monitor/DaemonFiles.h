#pragma once

// The tooling daemons that announce themselves with a file in the Dart data
// home, as addresses for the window cache. A file counts while the process it
// names runs, is its owner's, and started no later than the file says (a
// second of slack): a daemon killed outright leaves its file behind, and its
// pid may go to another process.
//
// Lives on the Sampler's worker thread. The directory is read by a reader
// process (platform::DaemonDirectory), so a hung mount costs the files, never
// the sample.

#include "DaemonDirectory.h"
#include "DartProcess.h"
#include "Kernel.h"

#include <QUrl>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace ombrix {

struct AnnouncedDaemon {
    Pid pid = 0; // the daemon's process, or the one hosting it
    QUrl url;
};

class DaemonFiles {
public:
    // `directory`: where the daemons write; "" looks nowhere.
    explicit DaemonFiles(std::string directory);

    // Where this user's daemons write, from our environment.
    static std::string directory();

    // The daemons whose files hold now, in pid order. Waits up to `wait` for
    // a fresh look at the directory.
    std::vector<AnnouncedDaemon> live(const platform::Kernel& kernel,
                                      std::chrono::milliseconds wait);

    // What one file claims: a JSON object whose "pid" is the file's name, an
    // integer "epoch" (ms since the Unix epoch) and a ws or wss "wsUri" that
    // parses. None for anything else.
    struct Claim {
        Pid pid = 0;
        std::uint32_t owner = 0;
        qint64 epoch = 0;
        QUrl url;
    };
    static std::optional<Claim> claim(const platform::Announcement& file);
    // Whether the claim's process runs now (not a zombie: its lock is gone), as
    // the file's owner, started in time.
    static bool holds(const Claim& claim, const platform::Kernel& kernel);

private:
    platform::DaemonDirectory m_directory;
    std::uint64_t m_parsed = 0; // the listing m_claims come from
    std::vector<Claim> m_claims;
};

} // namespace ombrix
