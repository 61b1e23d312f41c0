#include "ProcessListing.h"

#include "Identification.h"
#include "Kernel.h"

#include <QStringDecoder>
#include <QStringView>
#include <limits>
#include <optional>

namespace ombrix {

namespace {

// Optional sign, ASCII digits only, inside the signed 32-bit range. QString's
// own conversions accept blanks and non-ASCII digits, which a pid field must not.
std::optional<Pid> parsePid(QStringView text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    const qint64 limit = negative ? -qint64(std::numeric_limits<Pid>::min())
                                  : qint64(std::numeric_limits<Pid>::max());
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = value * 10 + (c - u'0');
        if (value > limit) {
            return std::nullopt;
        }
    }
    return Pid(negative ? -value : value);
}

} // namespace

QString ProcessListing::listProcesses(const platform::ProcessTable& table) {
    const std::string bytes = table.listProcesses();
    // A half-decoded table would name processes after replacement characters;
    // any invalid byte discards the whole run instead.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (decoder.hasError()) {
        return QString();
    }
    return text;
}

std::optional<ListedProcess> ProcessListing::parseLine(QStringView line) {
    const QStringView trimmed = Identification::trimmedBlanks(line);
    const qsizetype space = trimmed.indexOf(u' ');
    if (space < 0) {
        return std::nullopt;
    }
    const std::optional<Pid> pid = parsePid(trimmed.first(space));
    if (!pid) {
        return std::nullopt;
    }
    QStringList args;
    for (QStringView piece : trimmed.sliced(space + 1).split(u' ', Qt::SkipEmptyParts)) {
        args.append(piece.toString());
    }
    if (args.isEmpty()) {
        return std::nullopt;
    }
    return ListedProcess{*pid, std::move(args)};
}

QList<ListedProcess> ProcessListing::parse(const QString& psOutput) {
    QList<ListedProcess> entries;
    forEachLine(psOutput, [&entries](QStringView line) {
        if (auto entry = parseLine(line)) {
            entries.append(std::move(*entry));
        }
    });
    return entries;
}

} // namespace ombrix
