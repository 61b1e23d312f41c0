#pragma once

// The process tree seen through one sampling cycle: each process's parent and
// executable are read at most once, however many rows walk up through them.
// Siblings under one IDE window or one shell share their whole ancestry, so a
// cycle over N watched processes reads O(N) entries instead of O(N x depth).
//
// Lives for one cycle only (a pid may be reused or re-parented later) and on
// one thread; the wrapped tree must outlive it.

#include "Kernel.h"

#include <optional>
#include <string>
#include <unordered_map>

namespace ombrix {

class AncestryCache final : public platform::ProcessTree {
public:
    explicit AncestryCache(const platform::ProcessTree& tree)
        : m_tree(tree) {}

    std::optional<platform::Pid> parent(platform::Pid pid) const override;
    std::optional<std::string> executablePath(platform::Pid pid) const override;
    // Not cached: asked once per process for its whole life, by the sampler.
    std::optional<bool> startedAsService(platform::Pid pid) const override {
        return m_tree.startedAsService(pid);
    }
    std::optional<platform::Pid> session(platform::Pid pid) const override {
        return m_tree.session(pid);
    }
    std::optional<std::uint32_t> owner(platform::Pid pid) const override {
        return m_tree.owner(pid);
    }

private:
    const platform::ProcessTree& m_tree;
    mutable std::unordered_map<platform::Pid, std::optional<platform::Pid>> m_parents;
    mutable std::unordered_map<platform::Pid, std::optional<std::string>> m_executables;
};

} // namespace ombrix
