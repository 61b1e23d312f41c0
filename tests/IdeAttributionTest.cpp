// Who started a process: IDE, editor, agent or terminal names, and the walk up the parent chain.

// clang-format off
#include <vector> // FakeKernel.h uses it without including it
#include "FakeKernel.h"
// clang-format on
#include "Identification.h"

#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>

namespace Identification = ombrix::Identification;
using ombrix::testing::FakeKernel;

namespace {

TEST(IdeName, Table) {
    const std::optional<QString> none;
    const struct {
        const char* path;
        std::optional<QString> expected;
    } cases[] = {
        {"/Applications/Cursor.app/Contents/MacOS/Cursor", "Cursor"},
        {"/Applications/Xcode.app/Contents/MacOS/Xcode", "Xcode"},
        {"/Applications/Visual Studio Code.app/Contents/Frameworks/Code Helper (Plugin).app/"
         "Contents/MacOS/Code Helper (Plugin)",
         "VS Code"},
        {"/Applications/Cursor.app/Contents/Frameworks/Code Helper.app/x", "Cursor"},
        {"/Applications/Android Studio.app/Contents/MacOS/studio", "Android Studio"},
        {"/Users/me/Zed Builds/bin/anything", "Zed"},
        {"/bin/zsh", none},
        {"/usr/share/code/code", "VS Code"},
        {"/usr/share/code-insiders/code-insiders", "VS Code"},
        {"/usr/share/codium/codium", "VS Code"},
        {"/opt/cursor/cursor", "Cursor"},
        {"/usr/share/windsurf/windsurf", "Windsurf"},
        {"/usr/bin/zed", "Zed"},
        {"/home/me/.local/zed.app/libexec/zed-editor", "Zed"},
        {"/opt/idea-IU-241.1/jbr/bin/java", "IntelliJ"},
        {"/home/me/.local/share/JetBrains/Toolbox/apps/intellij-idea-ultimate/jbr/bin/java",
         "IntelliJ"},
        {"/opt/android-studio/jbr/bin/java", "Android Studio"},
        {"/usr/bin/code-server", none},
        {"/usr/bin/Code", none},
        {"/usr/lib/jvm/java-17/bin/java", none},
        {"/opt/idea-notes/bin/app", none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Identification::ideName(c.path), c.expected);
    }
}

// Pid 100 + i has parent 100 + i + 1 up to 100 + length, whose parent is
// init; the `ideAt`-th ancestor runs the IDE.
struct Chain : FakeKernel {
    Chain(int length, int ideAt, const std::string& ide = "/usr/share/code/code") {
        for (int i = 0; i <= length; ++i) {
            set(100 + i, i == length ? 1 : 100 + i + 1, i == ideAt ? ide : "/bin/bash");
        }
    }
    void set(ombrix::platform::Pid pid, ombrix::platform::Pid parent,
             std::optional<std::string> exe) {
        processes[pid].parent = parent;
        processes[pid].exe = std::move(exe);
    }
};

// "Name@pid" of the starter the walk finds, "" for none.
std::string who(ombrix::platform::Pid pid, const FakeKernel& kernel,
                const std::map<ombrix::platform::Pid, QStringList>& args = {}) {
    const auto found = Identification::ideAncestor(pid, kernel, [&args](ombrix::Pid p) {
        const auto it = args.find(p);
        return it == args.end() ? nullptr : &it->second;
    });
    return found ? found->name.toStdString() + '@' + std::to_string(found->pid) : std::string();
}

TEST(IdeAncestor, Walk) {
    {
        SCOPED_TRACE("parent is the IDE");
        EXPECT_EQ(who(100, Chain(3, 1)), "VS Code@101");
    }
    {
        SCOPED_TRACE("tenth ancestor found");
        EXPECT_EQ(who(100, Chain(12, 10)), "VS Code@110");
    }
    {
        SCOPED_TRACE("eleventh ancestor not reached");
        EXPECT_EQ(who(100, Chain(12, 11)), "");
    }
    {
        SCOPED_TRACE("the process itself is never examined");
        EXPECT_EQ(who(100, Chain(3, 0)), "");
    }
    {
        SCOPED_TRACE("nearest IDE wins");
        Chain kernel(4, 3, "/Applications/Cursor.app/Contents/MacOS/Cursor");
        kernel.processes[101].exe = "/opt/idea-IU-241.1/jbr/bin/java";
        EXPECT_EQ(who(100, kernel), "IntelliJ@101");
    }
    {
        SCOPED_TRACE("unreadable path skipped");
        Chain kernel(4, 3);
        kernel.processes[101].exe = std::nullopt;
        kernel.processes[102].exe = std::nullopt;
        EXPECT_EQ(who(100, kernel), "VS Code@103");
    }
    {
        SCOPED_TRACE("init ends the walk");
        Chain kernel(1, 1);
        kernel.set(1, 0, "/usr/share/code/code");
        kernel.processes[100].parent = 1;
        EXPECT_EQ(who(100, kernel), "");
    }
    {
        SCOPED_TRACE("parent 0 ends the walk");
        Chain kernel(1, 0);
        kernel.processes[101].parent = 0;
        kernel.set(0, 1, "/usr/share/code/code");
        EXPECT_EQ(who(100, kernel), "");
    }
    {
        SCOPED_TRACE("process gone mid-walk");
        Chain kernel(4, 4);
        kernel.processes.erase(102); // 101 still names 102 as its parent
        EXPECT_EQ(who(100, kernel), "");
    }
    {
        SCOPED_TRACE("unknown pid");
        EXPECT_EQ(who(5, Chain(2, 1)), "");
    }
    {
        SCOPED_TRACE("a parent cycle stays bounded");
        Chain kernel(0, -1);
        kernel.set(100, 101, "/bin/bash");
        kernel.set(101, 100, "/bin/bash");
        EXPECT_EQ(who(100, kernel), "");
    }
}

TEST(Starter, Table) {
    using ombrix::StarterKind;
    const struct {
        const char* label;
        std::optional<QString> exe;
        QStringList args;
        const char* name; // "" for none
        StarterKind kind = StarterKind::Ide;
    } cases[] = {
        {"VS Code by path", "/usr/share/code/code", {"/usr/share/code/code"}, "VS Code"},
        {"VS Code helper by bundle",
         "/Applications/Visual Studio Code.app/x/Code Helper",
         {},
         "VS Code"},
        {"JetBrains java", "/opt/idea-IU-241.1/jbr/bin/java", {"java"}, "IntelliJ"},
        {"Neovim", "/usr/bin/nvim", {"nvim", "lib/main.dart"}, "Neovim"},
        {"Vim through alternatives", "/usr/bin/vim.basic", {"vim"}, "Vim"},
        {"Emacs", "/usr/bin/emacs-gtk", {"emacs"}, "Emacs"},
        {"Helix", "/usr/bin/hx", {"hx", "."}, "Helix"},
        {"Sublime Text",
         "/opt/sublime_text/sublime_text",
         {"/opt/sublime_text/sublime_text"},
         "Sublime Text"},
        {"Kate", "/usr/bin/kate", {"kate"}, "Kate"},
        {"Claude Code, native: the file is a version",
         "/home/me/.local/share/claude/versions/2.0.14",
         {"claude"},
         "Claude Code",
         StarterKind::Agent},
        {"Claude Code as a node script",
         "/usr/bin/node",
         {"node", "--no-warnings", "/usr/lib/node_modules/@anthropic-ai/claude-code/cli.js"},
         "Claude Code",
         StarterKind::Agent},
        {"a node agent that renamed its process",
         "/usr/bin/node",
         {"claude"},
         "Claude Code",
         StarterKind::Agent},
        {"Codex", "/usr/local/bin/codex", {"codex"}, "Codex", StarterKind::Agent},
        {"Codex as a script",
         "/usr/bin/node",
         {"node", "/opt/n/lib/node_modules/@openai/codex/bin/codex.js"},
         "Codex",
         StarterKind::Agent},
        {"Gemini through its bin link",
         "/usr/bin/node",
         {"node", "/usr/local/bin/gemini"},
         "Gemini CLI",
         StarterKind::Agent},
        {"Gemini as a package",
         "/usr/bin/node",
         {"node", "/x/node_modules/@google/gemini-cli/dist/index.js"},
         "Gemini CLI",
         StarterKind::Agent},
        {"Copilot under bun",
         "/home/me/.bun/bin/bun",
         {"bun", "/x/node_modules/@github/copilot/index.js"},
         "Copilot CLI",
         StarterKind::Agent},
        {"cursor-agent",
         "/home/me/.local/bin/cursor-agent",
         {"cursor-agent"},
         "Cursor Agent",
         StarterKind::Agent},
        {"cursor-agent's node",
         "/home/me/.local/share/cursor-agent/versions/1/node",
         {"/home/me/.local/share/cursor-agent/versions/1/node",
          "/home/me/.local/share/cursor-agent/versions/1/index.js"},
         "Cursor Agent",
         StarterKind::Agent},
        {"opencode", "/usr/bin/opencode", {"opencode"}, "opencode", StarterKind::Agent},
        {"Aider under python",
         "/usr/bin/python3.11",
         {"/usr/bin/python3", "/home/me/.local/bin/aider"},
         "Aider",
         StarterKind::Agent},
        {"Goose", "/usr/local/bin/goose", {"goose", "session"}, "Goose", StarterKind::Agent},
        {"Amp",
         "/usr/bin/node",
         {"node", "/x/node_modules/@sourcegraph/amp/dist/main.js"},
         "Amp",
         StarterKind::Agent},
        {"Qwen Code", "/usr/bin/node", {"qwen"}, "Qwen Code", StarterKind::Agent},
        {"GNOME Terminal",
         "/usr/libexec/gnome-terminal-server",
         {"/usr/libexec/gnome-terminal-server"},
         "Terminal",
         StarterKind::Terminal},
        {"tmux names its server in argv",
         "/usr/bin/tmux",
         {"tmux: server"},
         "Terminal",
         StarterKind::Terminal},
        {"kitty", "/usr/bin/kitty", {"kitty"}, "Terminal", StarterKind::Terminal},
        {"a shell", "/usr/bin/bash", {"-bash"}, ""},
        {"node running something else", "/usr/bin/node", {"node", "/srv/app/server.js"}, ""},
        {"an agent's name as a later argument",
         "/usr/bin/node",
         {"node", "/srv/app.js", "claude"},
         ""},
        {"a script host's options are not the script",
         "/usr/bin/node",
         {"node", "--require=/x/@openai/codex/"},
         ""},
        {"unreadable executable, no listing", std::nullopt, {}, ""},
        {"code-server is no VS Code window", "/usr/bin/code-server", {"code-server"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const auto found = Identification::starter(7, c.exe, c.args.isEmpty() ? nullptr : &c.args);
        EXPECT_EQ(found ? found->name.toStdString() : std::string(), c.name);
        if (found) {
            EXPECT_EQ(found->kind, c.kind);
            EXPECT_EQ(found->pid, 7);
        }
    }
}

TEST(Starter, WalkPrefersWindowsOverTerminals) {
    const std::string bash = "/bin/bash";
    const struct {
        const char* label;
        std::vector<std::pair<std::string, QStringList>> ancestors; // parent first
        std::string expected;
    } cases[] = {
        {"agent in an IDE's terminal: the nearest wins",
         {{bash, {}}, {"/usr/bin/claude", {"claude"}}, {bash, {}}, {"/usr/share/code/code", {}}},
         "Claude Code@102"},
        {"an editor inside tmux",
         {{bash, {}}, {"/usr/bin/nvim", {}}, {"/usr/bin/tmux", {"tmux: server"}}},
         "Neovim@102"},
        {"a terminal under an agent is passed over",
         {{"/usr/bin/tmux", {}}, {bash, {}}, {"/usr/bin/codex", {}}},
         "Codex@103"},
        {"a terminal alone",
         {{bash, {}}, {"/usr/libexec/gnome-terminal-server", {}}},
         "Terminal@102"},
        {"the nearest terminal",
         {{"/usr/bin/tmux", {}}, {bash, {}}, {"/usr/bin/kitty", {}}},
         "Terminal@101"},
        {"an agent only the listing names",
         {{bash, {}}, {"/usr/bin/node", {"node", "/x/@anthropic-ai/claude-code/cli.js"}}},
         "Claude Code@102"},
        {"nothing", {{bash, {}}, {bash, {}}}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FakeKernel kernel;
        std::map<ombrix::platform::Pid, QStringList> args;
        kernel.processes[100].parent = 101;
        for (size_t i = 0; i < c.ancestors.size(); ++i) {
            const ombrix::platform::Pid pid = 101 + ombrix::platform::Pid(i);
            kernel.processes[pid].parent = i + 1 == c.ancestors.size() ? 1 : pid + 1;
            kernel.processes[pid].exe = c.ancestors[i].first;
            if (!c.ancestors[i].second.isEmpty()) {
                args[pid] = c.ancestors[i].second;
            }
        }
        EXPECT_EQ(who(100, kernel, args), c.expected);
    }
    {
        SCOPED_TRACE("a process that is its own parent, or a loop, names nobody");
        FakeKernel kernel;
        kernel.processes[100].parent = 100;
        EXPECT_EQ(who(100, kernel), "");
        kernel.processes[100].parent = 101;
        kernel.processes[101].parent = 102;
        kernel.processes[101].exe = "/usr/bin/tmux";
        kernel.processes[102].parent = 101;
        kernel.processes[102].exe = "/bin/bash";
        EXPECT_EQ(who(100, kernel), "");
    }
    {
        SCOPED_TRACE("the walk reads no command line the listing lacks");
        FakeKernel kernel;
        kernel.processes[100].parent = 101;
        kernel.processes[101].exe = "/usr/bin/node";
        EXPECT_EQ(who(100, kernel), "");
    }
}

} // namespace
