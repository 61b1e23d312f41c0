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

bool update(Lineage& seen, Pid pid, std::optional<Pid> parent, const platform::ProcessTree& tree) {
    if (!parent) {
        return false;
    }
    if (seen.kind == Parent::Unknown || seen.parent != *parent) {
        seen.parent = *parent;
        seen.kind = classify(parent, tree);
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
    if (seen.sawLiving) {
        return true;
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
