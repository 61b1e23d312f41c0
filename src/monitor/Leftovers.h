#pragma once

// Which watched processes are leftovers: their parent has ended and the
// system adopted them, so nothing will stop them. Pure rules over what a
// sample reads; the sampler keeps one Lineage per process between samples.
//
// Never a guess: a parent, its executable or a service flag that cannot be
// read makes a process not a leftover for that sample.

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

// What one process showed in earlier samples. `parent` and `kind` spare the
// executable read while the parent stays the same; `service` is read once.
struct Lineage {
    Pid parent = 0;
    Parent kind = Parent::Unknown;
    bool sawLiving = false; // adopted later, it is a leftover whatever its unit
    std::optional<bool> service;
};

// Whether `pid`, whose parent this sample reads as `parent`, is a leftover
// now; updates `seen`. A process adopted from its first sample on is one
// unless a service manager started it on purpose.
bool update(Lineage& seen, Pid pid, std::optional<Pid> parent, const platform::ProcessTree& tree);

// "1 leftover · 300 MB", "3 leftovers · 2.1 GB".
QString summary(qsizetype count, quint64 bytes);

} // namespace ombrix::Leftovers
