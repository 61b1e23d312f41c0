#include "ProcessFacts.h"

#include "Identification.h"

#include <QFile>
#include <QFileInfo>

namespace ombrix {

namespace {

std::optional<QString> text(const std::optional<std::string>& value) {
    return value ? std::optional(QString::fromStdString(*value)) : std::nullopt;
}

} // namespace

std::optional<QString> ProcessFacts::sdkVersionFile(const QString& executable) {
    const qsizetype slash = executable.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0) {
        return std::nullopt;
    }
    const QString bin = executable.left(slash);
    if (!bin.endsWith(QLatin1String("/bin")) ||
        !executable.mid(slash + 1).startsWith(QLatin1String("dart"), Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    return bin.left(bin.size() - 3) + QLatin1String("version");
}

std::optional<QString> ProcessFacts::parseVersion(const QByteArray& head, bool whole) {
    const QByteArray line = head.trimmed();
    if (!whole || line.isEmpty() || line.size() > 64) {
        return std::nullopt;
    }
    for (const char c : line) {
        const bool allowed = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                             (c >= 'A' && c <= 'Z') || c == '.' || c == '-' || c == '+' || c == '_';
        if (!allowed) {
            return std::nullopt;
        }
    }
    return QString::fromLatin1(line);
}

ProcessFacts ProcessFacts::read(const platform::Kernel& kernel, const DartProcess& process) {
    ProcessFacts facts;
    const Pid pid = process.id;
    // A pid that went to another process meanwhile tells nothing about this one.
    const auto same = [&] {
        const auto usage = kernel.usage(pid);
        return usage && usage->startTime == process.startTime;
    };
    if (!same()) {
        return facts;
    }
    facts.executable = text(kernel.executablePath(pid));
    facts.workingDirectory = text(kernel.workingDirectory(pid));
    if (process.leftover) {
        facts.parentEnded = true;
    } else if (const auto parent = kernel.parent(pid); parent && *parent > 0) {
        const auto exe = kernel.executablePath(*parent);
        facts.parent =
            Named{*parent, exe ? Identification::lastPathComponent(QString::fromStdString(*exe))
                               : QString()};
    }
    facts.startedAtUnixMs = kernel.startedAtUnixMs(pid);
    facts.user = text(kernel.userName(pid));
    if (!same()) {
        return ProcessFacts{}; // ended while read: nothing here is sure to be its
    }
    return facts;
}

void ProcessFacts::readSdkVersion(ProcessFacts& facts) {
    if (const auto file = facts.executable ? sdkVersionFile(*facts.executable) : std::nullopt) {
        const QFileInfo info(*file);
        facts.inSdk = info.exists();
        QFile version(*file);
        // Regular files only: a fifo or device named "version" would never end.
        if (info.isFile() && version.open(QIODevice::ReadOnly)) {
            const QByteArray head = version.read(versionReadLimit + 1);
            facts.sdkVersion = parseVersion(head, head.size() <= versionReadLimit);
        }
    }
}

} // namespace ombrix
