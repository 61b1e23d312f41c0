// Which IDE window a process belongs to.

#include "Identification.h"
#include "IdentificationDetail.h"

#include <array>

namespace ombrix {

using namespace Identification::detail;

namespace {

// The IDE table, asked in order: bundle and product names anywhere in the
// path first, then Linux's plain executables (the editors), then install
// directories (JetBrains IDEs run as the Java runtime inside theirs).
enum class Match { InPath, Executable };

struct Row {
    Match match;
    QStringView text;
    QStringView name;
};

constexpr std::array<Row, 18> ides{{
    {Match::InPath, u"Cursor", u"Cursor"},
    {Match::InPath, u"Windsurf", u"Windsurf"},
    {Match::InPath, u"Visual Studio Code", u"VS Code"},
    {Match::InPath, u"Code Helper", u"VS Code"},
    {Match::InPath, u"Android Studio", u"Android Studio"},
    {Match::InPath, u"IntelliJ", u"IntelliJ"},
    {Match::InPath, u"Xcode", u"Xcode"},
    {Match::InPath, u"Zed", u"Zed"},
    {Match::Executable, u"code", u"VS Code"},
    {Match::Executable, u"code-insiders", u"VS Code"},
    {Match::Executable, u"codium", u"VS Code"},
    {Match::Executable, u"cursor", u"Cursor"},
    {Match::Executable, u"windsurf", u"Windsurf"},
    {Match::Executable, u"zed", u"Zed"},
    {Match::Executable, u"zed-editor", u"Zed"},
    {Match::InPath, u"/android-studio/", u"Android Studio"},
    {Match::InPath, u"/idea-I", u"IntelliJ"},
    {Match::InPath, u"/intellij-idea", u"IntelliJ"},
}};

} // namespace

std::optional<QString> Identification::ideName(const QString& executablePath) {
    const QString executable = lastPathComponent(executablePath);
    for (const Row& row : ides) {
        if (row.match == Match::InPath ? executablePath.contains(row.text)
                                       : executable == row.text) {
            return row.name.toString();
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

} // namespace ombrix
