#pragma once

// Which watched processes are leftovers: their parent has ended and the
// system adopted them, so nothing will stop them. Pure rules over what a
// sample reads; the sampler keeps one Lineage per process between samples.
//
// Never a guess: a parent, its executable, a session, an owner or a service
// flag that cannot be read makes a process not a leftover for that sample.
//
// The adopter's own children are not leftovers: a container's or a test
// harness's pid 1 starts tools in its own session, while an orphan keeps the
// session it was started in (a real init starts everything in a new one).
// Nor is another user's orphan, which the user could not end anyway.

#include "DartProcess.h"
#include "Kernel.h"

#include <QString>
#include <optional>

namespace ombrix::Leftovers {

enum class Parent {
    Unknown, // could not be read
    Living,  // an ordinary process: the owner is still there
    Adopter, // pid 1 of the namespace, or a session's child reaper (systemd --user)
};

Parent classify(std::optional<Pid> parent, const platform::ProcessTree& tree);

// What one process showed in earlier samples. `parent`, `kind` and
// `adopterSession` spare the reads while the parent stays the same; `service`
// is read once.
struct Lineage {
    Pid parent = 0;
    Parent kind = Parent::Unknown;
    std::optional<Pid> adopterSession;
    bool sawLiving = false; // adopted later, it is a leftover whatever its unit or session
    std::optional<bool> service;
};

// What this sample read of the process where the usage reading gives it;
// absent fields are asked of the tree, and only when the answer matters.
struct Sighting {
    std::optional<Pid> parent;
    std::optional<Pid> session;
    std::optional<std::uint32_t> owner;
};

// Whether `pid` is a leftover now; updates `seen`. A process adopted from its
// first sample on is one unless it runs in the adopter's own session or a
// service manager started it on purpose. `ownUser`: whose processes count,
// absent for everyone's (root).
bool update(Lineage& seen, Pid pid, const Sighting& now, const platform::ProcessTree& tree,
            std::optional<std::uint32_t> ownUser);

// "1 leftover · 300 MB", "3 leftovers · 2.1 GB".
QString summary(qsizetype count, quint64 bytes);

} // namespace ombrix::Leftovers
