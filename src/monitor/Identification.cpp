#include "Identification.h"

#include "Kernel.h"

#include <QChar>
#include <QSet>
#include <QStringView>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <array>
#include <utility>

namespace ombrix {

const QString Identification::ownBundleMarker = QStringLiteral("Ombrix.app/Contents/MacOS/");

namespace {

// Matching works on whole user-perceived characters: "--target=" does not
// prefix "--target=\u0301x", because the accent belongs to the "=".
bool isCharacterBoundary(const QString& text, qsizetype position) {
    if (position <= 0 || position >= text.size()) {
        return true;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(position);
    return finder.isAtBoundary();
}

bool startsWith(const QString& text, QStringView prefix) {
    return text.startsWith(prefix) && isCharacterBoundary(text, prefix.size());
}

bool endsWith(const QString& text, QStringView suffix) {
    return text.endsWith(suffix) && isCharacterBoundary(text, text.size() - suffix.size());
}

qsizetype characterCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
    }
    return count;
}

QString stripTrailingSlashes(const QString& path) {
    qsizetype end = path.size();
    while (end > 1 && path[end - 1] == u'/') {
        --end;
    }
    return path.first(end);
}

QString parentPath(const QString& path) {
    const QString trimmed = stripTrailingSlashes(path);
    const qsizetype slash = trimmed.lastIndexOf(u'/');
    if (slash < 0) {
        return QString();
    }
    const QString parent = stripTrailingSlashes(trimmed.first(slash + 1));
    return parent.isEmpty() ? QStringLiteral("/") : parent;
}

QString appendingComponent(const QString& directory, const QString& component) {
    QString base = stripTrailingSlashes(directory);
    if (base == u"/") {
        base.clear();
    }
    return base + u'/' + component;
}

// The first ".snapshot" argument after argv[0], or -1: command words and
// project candidates are read only after it.
qsizetype firstSnapshotIndex(const QStringList& args) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (endsWith(args[i], u".snapshot")) {
            return i;
        }
    }
    return -1;
}

// --- capitalisation ----------------------------------------------------------

bool isCaseIgnorable(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:
    case QChar::Letter_Modifier:
    case QChar::Symbol_Modifier:
        return true;
    default:
        break;
    }
    // Word_Break MidLetter, MidNumLet and Single_Quote.
    switch (c) {
    case 0x0027:
    case 0x002E:
    case 0x003A:
    case 0x00B7:
    case 0x0387:
    case 0x055F:
    case 0x05F4:
    case 0x2018:
    case 0x2019:
    case 0x2024:
    case 0x2027:
    case 0xFE13:
    case 0xFE52:
    case 0xFE55:
    case 0xFF07:
    case 0xFF0E:
    case 0xFF1A:
        return true;
    default:
        return false;
    }
}

bool isCased(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
        return true;
    default:
        break;
    }
    // Other_Lowercase / Other_Uppercase: most have a case partner (circled
    // letters, Roman numerals); the ordinal indicators do not.
    return c == 0x00AA || c == 0x00BA || QChar::toLower(c) != c || QChar::toUpper(c) != c ||
           QChar::toTitleCase(c) != c;
}

QString titleCased(const QString& character, char32_t c) {
    const char32_t title = QChar::toTitleCase(c);
    if (title != QChar::toUpper(c)) {
        return QString::fromUcs4(&title, 1); // digraphs such as U+01C6
    }
    // Full mapping, but only the first letter stays capital: "ß" gives "Ss".
    const QString upper = character.toUpper();
    const qsizetype head = upper.size() > 1 && upper[0].isHighSurrogate() ? 2 : 1;
    if (upper.size() <= head) {
        return upper;
    }
    return upper.first(head) + upper.sliced(head).toLower();
}

// --- IDE table ---------------------------------------------------------------

using Row = std::pair<QStringView, QStringView>;

constexpr std::array<Row, 8> ideFragments{{
    {u"Cursor", u"Cursor"},
    {u"Windsurf", u"Windsurf"},
    {u"Visual Studio Code", u"VS Code"},
    {u"Code Helper", u"VS Code"},
    {u"Android Studio", u"Android Studio"},
    {u"IntelliJ", u"IntelliJ"},
    {u"Xcode", u"Xcode"},
    {u"Zed", u"Zed"},
}};

// Linux installs carry no bundle names: the editors run as a plain executable,
// JetBrains IDEs as the Java runtime inside their install directory.
constexpr std::array<Row, 7> ideExecutables{{
    {u"code", u"VS Code"},
    {u"code-insiders", u"VS Code"},
    {u"codium", u"VS Code"},
    {u"cursor", u"Cursor"},
    {u"windsurf", u"Windsurf"},
    {u"zed", u"Zed"},
    {u"zed-editor", u"Zed"},
}};

constexpr std::array<Row, 3> ideInstallFragments{{
    {u"/android-studio/", u"Android Studio"},
    {u"/idea-I", u"IntelliJ"},
    {u"/intellij-idea", u"IntelliJ"},
}};

constexpr std::array<QStringView, 8> toolingFragments{
    u"/.puro/",       u"/dart-sdk/", u"/Library/", u"/Applications/",
    u"/flutter/bin/", u"/private/",  u"/var/",     u"/tmp/",
};

} // namespace

// --- flags -------------------------------------------------------------------

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

// --- classification ------------------------------------------------------------

bool Identification::isToolingPath(const QString& path) {
    for (QStringView fragment : toolingFragments) {
        if (path.contains(fragment)) {
            return true;
        }
    }
    return false;
}

bool Identification::isWatched(const QStringList& args) {
    if (args.isEmpty()) {
        return false;
    }
    const QString name = lastPathComponent(args.first()).toLower();
    if (!startsWith(name, u"dart") && name != u"puro" && name != u"flutter_tester" &&
        !args.first().contains(u"/dart-sdk/")) {
        return false;
    }
    // The marker holds no space, so it is in the joined command line exactly
    // when it is inside one argument; most processes never get this far.
    return std::none_of(args.cbegin(), args.cend(),
                        [](const QString& arg) { return arg.contains(ownBundleMarker); });
}

// --- naming --------------------------------------------------------------------

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

// --- projects ------------------------------------------------------------------

Identification::ProjectSearch Identification::projectSearch(const std::optional<QString>& cwd,
                                                            const QStringList& args) {
    // Each directory is listed once, so a process with thousands of path
    // arguments under one tree costs one check per directory, not fifteen per
    // argument. A directory first reached with more levels left than now
    // already had everything above it listed: the walk stops there.
    constexpr int directoriesPerCandidate = 15;
    QHash<QString, int> levelsLeft;
    const auto walk = [&levelsLeft](const QString& candidate, QStringList& into) {
        QString directory = candidate;
        for (int left = directoriesPerCandidate; left > 0; --left) {
            const auto seen = levelsLeft.constFind(directory);
            if (seen != levelsLeft.constEnd() && *seen >= left) {
                return;
            }
            if (seen == levelsLeft.constEnd()) {
                into.append(directory);
            }
            levelsLeft.insert(directory, left);
            QString parent = parentPath(directory);
            if (parent == directory) {
                return;
            }
            directory = std::move(parent);
        }
    };

    ProjectSearch search;
    if (usableWorkingDirectory(cwd)) {
        walk(*cwd, search.fromCwd);
    }
    // The argument walk does not lean on the directory's: the directory may
    // turn out deleted, and then only the arguments count.
    levelsLeft.clear();
    const qsizetype snapshotIndex = firstSnapshotIndex(args);
    for (qsizetype i = snapshotIndex > 0 ? snapshotIndex + 1 : 1; i < args.size(); ++i) {
        if (startsWith(args[i], u"/") && !isToolingPath(args[i])) {
            walk(args[i], search.fromArgs);
        }
    }
    return search;
}

QString Identification::pubspecPath(const QString& directory) {
    return appendingComponent(directory, QStringLiteral("pubspec.yaml"));
}

bool Identification::usableWorkingDirectory(const std::optional<QString>& cwd) {
    // A relative directory would be probed against Ombrix's own working
    // directory and shown as a project; only absolute ones are taken.
    return cwd && startsWith(*cwd, u"/") && *cwd != u"/" && !isToolingPath(*cwd);
}

std::optional<QString> Identification::projectFallback(const std::optional<QString>& cwd,
                                                       const QString& home) {
    if (usableWorkingDirectory(cwd) && *cwd != home) {
        return cwd;
    }
    return std::nullopt;
}

std::optional<QString> Identification::projectRoot(const std::optional<QString>& cwd,
                                                   const QStringList& args,
                                                   const FileExists& fileExists,
                                                   const platform::Files& files) {
    const ProjectSearch search = projectSearch(cwd, args);
    QSet<QString> asked;
    for (const QStringList* part : {&search.fromCwd, &search.fromArgs}) {
        for (const QString& directory : *part) {
            if (asked.contains(directory)) {
                continue;
            }
            asked.insert(directory);
            const QString pubspec = pubspecPath(directory);
            if (fileExists ? fileExists(pubspec) : files.fileExists(pubspec.toStdString())) {
                return directory;
            }
        }
    }
    return projectFallback(cwd, QString::fromStdString(files.homeDirectory()));
}

std::optional<QString> Identification::workingDirectory(Pid pid,
                                                        const platform::ProcessTable& table) {
    const std::optional<std::string> directory = table.workingDirectory(pid);
    if (!directory) {
        return std::nullopt;
    }
    return QString::fromStdString(*directory);
}

// --- IDE attribution -------------------------------------------------------------

std::optional<QString> Identification::ideName(const QString& executablePath) {
    for (const auto& [fragment, name] : ideFragments) {
        if (executablePath.contains(fragment)) {
            return name.toString();
        }
    }
    const QString executable = lastPathComponent(executablePath);
    for (const auto& [file, name] : ideExecutables) {
        if (executable == file) {
            return name.toString();
        }
    }
    for (const auto& [fragment, name] : ideInstallFragments) {
        if (executablePath.contains(fragment)) {
            return name.toString();
        }
    }
    return std::nullopt;
}

std::optional<IdeAncestor> Identification::ideAncestor(Pid pid, const platform::ProcessTree& tree) {
    constexpr int ancestorLimit = 10;
    Pid current = pid;
    for (int step = 0; step < ancestorLimit; ++step) {
        const std::optional<Pid> parent = tree.parent(current);
        if (!parent || *parent <= 1) {
            return std::nullopt;
        }
        if (const std::optional<std::string> path = tree.executablePath(*parent)) {
            if (std::optional<QString> name = ideName(QString::fromStdString(*path))) {
                return IdeAncestor{*parent, std::move(*name)};
            }
        }
        current = *parent;
    }
    return std::nullopt;
}

// --- text helpers ------------------------------------------------------------------

QString Identification::lastPathComponent(const QString& path) {
    // "/" (and "//") keep their root, as the platform path helpers do.
    const QString trimmed = stripTrailingSlashes(path);
    if (trimmed == u"/") {
        return trimmed;
    }
    return trimmed.sliced(trimmed.lastIndexOf(u'/') + 1);
}

QStringView Identification::trimmedBlanks(QStringView text) {
    const auto isBlank = [](QChar c) {
        return c == u'\t' || c.category() == QChar::Separator_Space;
    };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return text.sliced(begin, end - begin);
}

QString Identification::capitalized(const QString& text) {
    QString result;
    result.reserve(text.size());
    bool afterCased = false;
    for (qsizetype i = 0; i < text.size();) {
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const qsizetype width = pair ? 2 : 1;
        const char32_t c =
            pair ? QChar::surrogateToUcs4(text[i], text[i + 1]) : char32_t(text[i].unicode());
        const QString character = text.sliced(i, width);
        i += width;

        if (isCased(c)) {
            result += afterCased ? character.toLower() : titleCased(character, c);
        } else {
            result += character;
        }
        if (!isCaseIgnorable(c)) {
            afterCased = isCased(c);
        }
    }
    return result;
}

} // namespace ombrix
