// Who started a process: the IDE window, editor, coding agent or terminal above it.

#include "Identification.h"
#include "IdentificationDetail.h"

#include <algorithm>
#include <array>

namespace ombrix {

using namespace Identification::detail;

namespace {

// The starter table, asked in order for each ancestor: bundle and product
// names anywhere in the executable's path first, then Linux's plain
// executables (editors, agents, terminals), then install directories
// (JetBrains IDEs run as the Java runtime inside theirs), then agents that
// run as a script. An executable is matched by the file the kernel names and
// by the program name it was started as (a native agent's file is named by
// its version; a node agent renames its process).
enum class Match {
    InPath,     // the executable's path contains the text
    Executable, // the executable's file name, or argv[0]'s, is the text
    Script,     // under a script host, the script's file name is the text
    Package,    // under a script host, the script's path contains the text
};

using Kind = StarterKind;

struct Row {
    Match match;
    QStringView text;
    QStringView name;
    Kind kind = Kind::Ide;
};

constexpr std::array<Row, 84> starters{{
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
    // Editors that start analyzers themselves, from a terminal or on their own.
    {Match::Executable, u"nvim", u"Neovim"},
    {Match::Executable, u"vim", u"Vim"},
    {Match::Executable, u"vim.basic", u"Vim"},
    {Match::Executable, u"vim.gtk3", u"Vim"},
    {Match::Executable, u"vim.nox", u"Vim"},
    {Match::Executable, u"gvim", u"Vim"},
    {Match::Executable, u"emacs", u"Emacs"},
    {Match::Executable, u"emacs-gtk", u"Emacs"},
    {Match::Executable, u"emacs-nox", u"Emacs"},
    {Match::Executable, u"emacs-lucid", u"Emacs"},
    {Match::Executable, u"hx", u"Helix"},
    {Match::Executable, u"helix", u"Helix"},
    {Match::Executable, u"sublime_text", u"Sublime Text"},
    {Match::Executable, u"subl", u"Sublime Text"},
    {Match::Executable, u"kate", u"Kate"},
    // Coding agents as their own executables.
    {Match::Executable, u"claude", u"Claude Code", Kind::Agent},
    {Match::Executable, u"codex", u"Codex", Kind::Agent},
    {Match::Executable, u"gemini", u"Gemini CLI", Kind::Agent},
    {Match::Executable, u"cursor-agent", u"Cursor Agent", Kind::Agent},
    {Match::Executable, u"copilot", u"Copilot CLI", Kind::Agent},
    {Match::Executable, u"opencode", u"opencode", Kind::Agent},
    {Match::Executable, u"aider", u"Aider", Kind::Agent},
    {Match::Executable, u"goose", u"Goose", Kind::Agent},
    {Match::Executable, u"amp", u"Amp", Kind::Agent},
    {Match::Executable, u"qwen", u"Qwen Code", Kind::Agent},
    {Match::Executable, u"auggie", u"Auggie", Kind::Agent},
    {Match::Executable, u"crush", u"Crush", Kind::Agent},
    // ... and as scripts: by their command's name (a link in a bin folder) or their package.
    {Match::Script, u"claude", u"Claude Code", Kind::Agent},
    {Match::Script, u"codex", u"Codex", Kind::Agent},
    {Match::Script, u"gemini", u"Gemini CLI", Kind::Agent},
    {Match::Script, u"cursor-agent", u"Cursor Agent", Kind::Agent},
    {Match::Script, u"copilot", u"Copilot CLI", Kind::Agent},
    {Match::Script, u"opencode", u"opencode", Kind::Agent},
    {Match::Script, u"aider", u"Aider", Kind::Agent},
    {Match::Script, u"amp", u"Amp", Kind::Agent},
    {Match::Script, u"qwen", u"Qwen Code", Kind::Agent},
    {Match::Script, u"auggie", u"Auggie", Kind::Agent},
    {Match::Package, u"/@anthropic-ai/claude-code/", u"Claude Code", Kind::Agent},
    {Match::Package, u"/@openai/codex/", u"Codex", Kind::Agent},
    {Match::Package, u"/@google/gemini-cli/", u"Gemini CLI", Kind::Agent},
    {Match::Package, u"/cursor-agent/", u"Cursor Agent", Kind::Agent},
    {Match::Package, u"/@github/copilot/", u"Copilot CLI", Kind::Agent},
    {Match::Package, u"/opencode-ai/", u"opencode", Kind::Agent},
    {Match::Package, u"/aider/", u"Aider", Kind::Agent},
    {Match::Package, u"/@sourcegraph/amp/", u"Amp", Kind::Agent},
    {Match::Package, u"/@qwen-code/qwen-code/", u"Qwen Code", Kind::Agent},
    {Match::Package, u"/@augmentcode/auggie/", u"Auggie", Kind::Agent},
    // Terminals count only where nothing above names an IDE, editor or agent.
    {Match::Executable, u"gnome-terminal-server", u"Terminal", Kind::Terminal},
    {Match::Executable, u"kgx", u"Terminal", Kind::Terminal},
    {Match::Executable, u"ptyxis", u"Terminal", Kind::Terminal},
    {Match::Executable, u"ptyxis-agent", u"Terminal", Kind::Terminal},
    {Match::Executable, u"konsole", u"Terminal", Kind::Terminal},
    {Match::Executable, u"xfce4-terminal", u"Terminal", Kind::Terminal},
    {Match::Executable, u"kitty", u"Terminal", Kind::Terminal},
    {Match::Executable, u"alacritty", u"Terminal", Kind::Terminal},
    {Match::Executable, u"wezterm", u"Terminal", Kind::Terminal},
    {Match::Executable, u"wezterm-gui", u"Terminal", Kind::Terminal},
    {Match::Executable, u"wezterm-mux-server", u"Terminal", Kind::Terminal},
    {Match::Executable, u"foot", u"Terminal", Kind::Terminal},
    {Match::Executable, u"footclient", u"Terminal", Kind::Terminal},
    {Match::Executable, u"tilix", u"Terminal", Kind::Terminal},
    {Match::Executable, u"xterm", u"Terminal", Kind::Terminal},
    {Match::Executable, u"uxterm", u"Terminal", Kind::Terminal},
    {Match::Executable, u"tmux", u"Terminal", Kind::Terminal},
    {Match::Executable, u"screen", u"Terminal", Kind::Terminal},
    {Match::Executable, u"SCREEN", u"Terminal", Kind::Terminal},
}};

// A row the compiler filled in would match every path.
static_assert(std::none_of(starters.begin(), starters.end(),
                           [](const Row& row) { return row.text.isEmpty(); }));

bool isScriptHost(const QString& program) {
    return program == u"node" || program == u"nodejs" || program == u"bun" || program == u"deno" ||
           program.startsWith(u"python");
}

// The script a host runs: its first argument that is not an option.
const QString* scriptOf(const QStringList& args) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (!args[i].startsWith(u'-')) {
            return &args[i];
        }
    }
    return nullptr;
}

} // namespace

std::optional<QString> Identification::ideName(const QString& executablePath) {
    const auto found = starter(0, executablePath, nullptr);
    if (found && found->kind == StarterKind::Ide) {
        return found->name;
    }
    return std::nullopt;
}

std::optional<IdeAncestor> Identification::starter(Pid pid,
                                                   const std::optional<QString>& executablePath,
                                                   const QStringList* args) {
    const QString path = executablePath.value_or(QString());
    const QString executable = executablePath ? lastPathComponent(path) : QString();
    const QString program = args && !args->isEmpty() ? lastPathComponent(args->first()) : QString();
    const QString* script = args && isScriptHost(program) ? scriptOf(*args) : nullptr;
    const QString scriptName = script ? lastPathComponent(*script) : QString();
    for (const Row& row : starters) {
        bool matched = false;
        switch (row.match) {
        case Match::InPath:
            matched = executablePath && path.contains(row.text);
            break;
        case Match::Executable:
            matched = (executablePath && executable == row.text) ||
                      (!program.isEmpty() && program == row.text);
            break;
        case Match::Script:
            matched = script && scriptName == row.text;
            break;
        case Match::Package:
            matched = script && script->contains(row.text);
            break;
        }
        if (matched) {
            return IdeAncestor{pid, row.name.toString(), row.kind, path};
        }
    }
    return std::nullopt;
}

std::optional<IdeAncestor> Identification::ideAncestor(Pid pid, const platform::ProcessTree& tree,
                                                       const ArgumentsOf& args) {
    constexpr int ancestorLimit = 10;
    std::array<Pid, ancestorLimit + 1> seen{pid};
    std::optional<IdeAncestor> terminal;
    Pid current = pid;
    for (int step = 0; step < ancestorLimit; ++step) {
        const std::optional<Pid> parent = tree.parent(current);
        if (!parent) {
            return std::nullopt;
        }
        if (*parent <= 1) {
            return terminal;
        }
        if (std::find(seen.begin(), seen.begin() + step + 1, *parent) != seen.begin() + step + 1) {
            return std::nullopt; // a table that loops names nobody
        }
        seen[size_t(step) + 1] = *parent;
        const std::optional<std::string> exe = tree.executablePath(*parent);
        auto found =
            starter(*parent, exe ? std::optional(QString::fromStdString(*exe)) : std::nullopt,
                    args ? args(*parent) : nullptr);
        if (found && found->isWindow()) {
            return found;
        }
        if (found && !terminal) {
            terminal = std::move(found);
        }
        current = *parent;
    }
    return terminal;
}

std::optional<IdeAncestor> Identification::windowAncestor(Pid pid,
                                                          const platform::ProcessTree& tree,
                                                          const ArgumentsOf& args) {
    auto found = ideAncestor(pid, tree, args);
    if (found && !found->isWindow()) {
        return std::nullopt;
    }
    return found;
}

} // namespace ombrix
