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
#include <vector>

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

// One watched process as the family rule sees it.
struct Member {
    ProcessRef process;
    Pid parent = 0;        // 0: unknown
    bool leftover = false; // by update()
    bool own = true;       // the user's (everyone's counts when Ombrix runs as root)
};

// A watched process whose parent is a leftover is one too, at any depth:
// for each member, in order, the leftover that heads its family, or none
// (for a leftover of its own, or a process outside any family). Only the
// user's own processes join, and only under a parent that started no later
// than the child: a pid that went to another process is no parent. Linear
// in the number of members; loops in the table end a family.
std::vector<std::optional<ProcessRef>> families(const std::vector<Member>& members);

// "1 leftover · 300 MB", "3 leftovers · 2.1 GB".
QString summary(qsizetype count, quint64 bytes);

} // namespace ombrix::Leftovers
