#include "ProcessText.h"

#include "Identification.h"
#include "PathText.h"

namespace ombrix::ProcessText {

std::optional<QString> place(const DartProcess& process, const QString& home, bool masked) {
    const std::optional<QString>& path =
        process.projectPath ? process.projectPath : process.workspace;
    if (!path) {
        return std::nullopt;
    }
    return masked ? Identification::lastPathComponent(*path)
                  : PathText::abbreviatingWithTilde(*path, home);
}

QString placeOrPid(const DartProcess& process, const QString& home, bool masked) {
    return place(process, home, masked)
        .value_or(QStringLiteral("pid ") + QString::number(process.id));
}

} // namespace ombrix::ProcessText
