// The display name of a process: its tool, its command, its IDE.

#include "Identification.h"
#include "IdentificationDetail.h"

#include <QSet>

namespace ombrix {

using namespace Identification::detail;

QString Identification::decorated(const QString& name, const QStringList& args) {
    const QHash<QString, QString> fields = appNameFields(args);
    const auto device = fields.constFind(QStringLiteral("Device"));
    return device == fields.cend() ? name : name + QStringLiteral(" (") + *device + u')';
}

QString Identification::qualified(const QString& name, const std::optional<QString>& qualifier) {
    if (!qualifier || qualifier->isEmpty()) {
        return name;
    }
    return name + QStringLiteral(" (") + *qualifier + u')';
}

QString Identification::displayName(const QStringList& args, const std::optional<QString>& ide) {
    if (args.isEmpty()) {
        return QStringLiteral("Dart");
    }
    const QString exe = lastPathComponent(args.first());
    if (exe == u"dart_mcp_server") {
        return QStringLiteral("MCP Server");
    }

    const qsizetype snapshotIndex = firstSnapshotIndex(args);
    bool flutter = false;
    if (snapshotIndex > 0) {
        const QString snap = lastPathComponent(args[snapshotIndex]);
        if (startsWith(snap, u"frontend_server")) {
            const std::optional<QString> target = flagValue(QStringLiteral("--target"), args);
            if (!target) {
                return QStringLiteral("Frontend Compiler");
            }
            if (*target == u"dartdevc") {
                return QStringLiteral("Frontend Compiler (web)");
            }
            if (*target == u"flutter") {
                return QStringLiteral("Frontend Compiler (Flutter)");
            }
            return QStringLiteral("Frontend Compiler (") + *target + u')';
        }
        if (startsWith(snap, u"dds")) {
            return decorated(QStringLiteral("Dart Dev Service"), args);
        }
        flutter = startsWith(snap, u"flutter_tools");
    }

    std::optional<QString> command;
    for (qsizetype i = snapshotIndex > 0 ? snapshotIndex + 1 : 1; i < args.size(); ++i) {
        const QString& word = args[i];
        if (startsWith(word, u"-") || startsWith(word, u"/") || word == u"dart") {
            continue;
        }
        if (word == u"flutter") {
            flutter = true;
            continue;
        }
        command = word;
        break;
    }
    if (!command) {
        if (flutter) {
            return QStringLiteral("Flutter");
        }
        return exe == u"puro" ? QStringLiteral("Puro") : QStringLiteral("Dart");
    }

    const QString& cmd = *command;
    if (cmd == u"language-server" || cmd == u"analysis-server") {
        std::optional<QString> label = flagValue(QStringLiteral("--client-id"), args);
        if (label) {
            label->replace(u'-', u' ');
        } else {
            label = ide;
        }
        return qualified(QStringLiteral("Analyzer"), label);
    }
    if (cmd == u"tooling-daemon") {
        return qualified(QStringLiteral("Tooling Daemon"), ide);
    }
    if (cmd == u"devtools") {
        return qualified(QStringLiteral("DevTools"), ide);
    }
    if (cmd == u"mcp-server") {
        return qualified(QStringLiteral("MCP Server"), ide);
    }
    if (cmd == u"development-service") {
        return decorated(QStringLiteral("Dart Dev Service"), args);
    }
    if (cmd == u"daemon") {
        return qualified(flutter ? QStringLiteral("Flutter Daemon") : QStringLiteral("Daemon"),
                         ide);
    }

    QString name =
        (flutter ? QStringLiteral("Flutter ") : QStringLiteral("Dart ")) + capitalized(cmd);
    if (cmd == u"run" || cmd == u"attach" || cmd == u"test" || cmd == u"drive") {
        std::optional<QString> device = flagValue(QStringLiteral("--device-id"), args);
        if (!device) {
            device = flagValue(QStringLiteral("-d"), args);
        }
        // Longer ids are hashes that would swamp the name; no retry with "-d" then.
        if (device && characterCount(*device) <= 24) {
            name += QStringLiteral(" (") + *device + u')';
        }
    }
    return name;
}

bool Identification::isAnalyzer(const QStringList& args) {
    const qsizetype snapshot = firstSnapshotIndex(args);
    if (snapshot > 0 && startsWith(lastPathComponent(args[snapshot]), u"analysis_server")) {
        return true;
    }
    const QString name = displayName(args, std::nullopt);
    return name == u"Analyzer" || name.startsWith(u"Analyzer (");
}

} // namespace ombrix
