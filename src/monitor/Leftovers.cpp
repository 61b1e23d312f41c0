#include "Leftovers.h"

#include "Identification.h"
#include "ValueText.h"

#include <QHash>

namespace ombrix::Leftovers {

Parent classify(std::optional<Pid> parent, const platform::ProcessTree& tree) {
    if (!parent || *parent <= 0) {
        return Parent::Unknown;
    }
    if (*parent == 1) {
        return Parent::Adopter;
    }
    const auto exe = tree.executablePath(*parent);
    if (!exe) {
        return Parent::Unknown;
    }
    return Identification::lastPathComponent(QString::fromStdString(*exe)) ==
                   QLatin1String("systemd")
               ? Parent::Adopter
               : Parent::Living;
}

bool update(Lineage& seen, Pid pid, const Sighting& now, const platform::ProcessTree& tree,
            std::optional<std::uint32_t> ownUser) {
    if (!now.parent) {
        return false;
    }
    if (seen.kind == Parent::Unknown || seen.parent != *now.parent) {
        seen.parent = *now.parent;
        seen.kind = classify(now.parent, tree);
        seen.adopterSession.reset();
    }
    switch (seen.kind) {
    case Parent::Unknown:
        return false;
    case Parent::Living:
        seen.sawLiving = true;
        return false;
    case Parent::Adopter:
        break;
    }
    if (ownUser && (now.owner ? now.owner : tree.owner(pid)) != ownUser) {
        return false;
    }
    if (seen.sawLiving) {
        return true;
    }
    if (!seen.adopterSession) {
        seen.adopterSession = tree.session(seen.parent);
    }
    const auto session = now.session ? now.session : tree.session(pid);
    if (!session || !seen.adopterSession || session == seen.adopterSession) {
        return false;
    }
    if (!seen.service) {
        seen.service = tree.startedAsService(pid);
    }
    return seen.service == false;
}

std::vector<std::optional<ProcessRef>> families(const std::vector<Member>& members) {
    QHash<Pid, size_t> index;
    index.reserve(qsizetype(members.size()));
    for (size_t i = 0; i < members.size(); ++i) {
        index.insert(members[i].process.id, i);
    }
    enum class State : unsigned char { Open, Walking, Done };
    std::vector<State> state(members.size(), State::Open);
    std::vector<std::optional<ProcessRef>> heads(members.size());
    std::vector<size_t> path;
    for (size_t start = 0; start < members.size(); ++start) {
        // Up the chain of watched parents until a leftover, an answered
        // member or anything else; then every member passed gets that answer.
        std::optional<ProcessRef> head;
        path.clear();
        for (size_t at = start;;) {
            if (!members[at].own || state[at] == State::Walking) {
                break;
            }
            if (members[at].leftover) {
                if (!path.empty()) {
                    head = members[at].process;
                }
                break;
            }
            if (state[at] == State::Done) {
                head = heads[at];
                break;
            }
            state[at] = State::Walking;
            path.push_back(at);
            const auto parent = index.constFind(members[at].parent);
            if (parent == index.constEnd() ||
                members[*parent].process.startTime > members[at].process.startTime) {
                break;
            }
            at = *parent;
        }
        for (size_t member : path) {
            heads[member] = head;
            state[member] = State::Done;
        }
    }
    return heads;
}

QString summary(qsizetype count, quint64 bytes) {
    const QString noun = count == 1 ? QStringLiteral(" leftover") : QStringLiteral(" leftovers");
    return QString::number(count) + noun + QStringLiteral(" \u00b7 ") + ValueText::bytes(bytes);
}

} // namespace ombrix::Leftovers
