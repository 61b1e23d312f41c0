// Reading flags and fields out of an argument list.

#include "Identification.h"
#include "IdentificationDetail.h"

namespace ombrix {

using namespace Identification::detail;

std::optional<QString> Identification::flagValue(const QString& flag, const QStringList& args) {
    const QString joined = flag + u'=';
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (startsWith(arg, joined)) {
            return arg.sliced(joined.size());
        }
        if (arg == flag && i + 1 < args.size() && !startsWith(args[i + 1], u"-")) {
            return args[i + 1];
        }
    }
    return std::nullopt;
}

std::optional<QString> Identification::spacedFlagValue(const QString& flag,
                                                       const QStringList& args) {
    const QString joined = flag + u'=';
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (!startsWith(args[i], joined)) {
            continue;
        }
        QStringList parts{args[i].sliced(joined.size())};
        for (qsizetype j = i + 1; j < args.size() && !startsWith(args[j], u"--"); ++j) {
            parts.append(args[j]);
        }
        return parts.join(u' ');
    }
    return std::nullopt;
}

QHash<QString, QString> Identification::appNameFields(const QStringList& args) {
    QHash<QString, QString> fields;
    const std::optional<QString> value = spacedFlagValue(QStringLiteral("--app-name"), args);
    if (!value) {
        return fields;
    }
    for (const QString& piece : value->split(QStringLiteral(" - "))) {
        qsizetype keyStart = 0;
        while (keyStart < piece.size() && piece[keyStart] == u':') {
            ++keyStart;
        }
        const qsizetype colon = piece.indexOf(u':', keyStart);
        if (colon < 0 || colon + 1 >= piece.size()) {
            continue; // one part only
        }
        const QString key =
            trimmedBlanks(QStringView(piece).sliced(keyStart, colon - keyStart)).toString();
        const QString field = trimmedBlanks(QStringView(piece).sliced(colon + 1)).toString();
        if (!field.isEmpty()) {
            fields.insert(key, field);
        }
    }
    return fields;
}

} // namespace ombrix
