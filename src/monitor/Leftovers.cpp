#include "Leftovers.h"

#include "Identification.h"
#include "ValueText.h"

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

QString summary(qsizetype count, quint64 bytes) {
    const QString noun = count == 1 ? QStringLiteral(" leftover") : QStringLiteral(" leftovers");
    return QString::number(count) + noun + QStringLiteral(" \u00b7 ") + ValueText::bytes(bytes);
}

} // namespace ombrix::Leftovers
