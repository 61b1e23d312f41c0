#include "AncestryCache.h"

namespace ombrix {

std::optional<platform::Pid> AncestryCache::parent(platform::Pid pid) const {
    auto it = m_parents.find(pid);
    if (it == m_parents.end()) {
        it = m_parents.emplace(pid, m_tree.parent(pid)).first;
    }
    return it->second;
}

std::optional<std::string> AncestryCache::executablePath(platform::Pid pid) const {
    auto it = m_executables.find(pid);
    if (it == m_executables.end()) {
        it = m_executables.emplace(pid, m_tree.executablePath(pid)).first;
    }
    return it->second;
}

} // namespace ombrix
