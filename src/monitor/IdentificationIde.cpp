// Which IDE window a process belongs to.

#include "Identification.h"
#include "IdentificationDetail.h"

#include <array>
#include <utility>

namespace ombrix {

using namespace Identification::detail;

namespace {

// The IDE table.

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

} // namespace

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

} // namespace ombrix
