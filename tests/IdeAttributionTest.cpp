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
    if (!found) {
        return {};
    }
    const char* kind = found->kind == ombrix::StarterKind::Agent      ? " agent"
                       : found->kind == ombrix::StarterKind::Terminal ? " terminal"
                                                                      : "";
    return found->name.toStdString() + '@' + std::to_string(found->pid) + kind;
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

// Each row is a chain of ancestors, parent first, as "executable|argv" (the
// listing's arguments, space-separated; none when the listing lacks them).
TEST(Starter, WhoStartedIt) {
    // clang-format off
    const struct { const char* label; std::vector<const char*> chain; const char* expected; } cases[] = {
        {"VS Code", {"/usr/share/code/code"}, "VS Code@101"},
        {"JetBrains java", {"/opt/idea-IU-241.1/jbr/bin/java"}, "IntelliJ@101"},
        {"Neovim", {"/usr/bin/nvim|nvim lib/main.dart"}, "Neovim@101"},
        {"Vim through alternatives", {"/usr/bin/vim.basic|vim"}, "Vim@101"},
        {"Emacs", {"/usr/bin/emacs-gtk"}, "Emacs@101"},
        {"Helix", {"/usr/bin/hx"}, "Helix@101"},
        {"Sublime Text", {"/opt/sublime_text/sublime_text"}, "Sublime Text@101"},
        {"Kate", {"/usr/bin/kate"}, "Kate@101"},
        {"native Claude Code: its file is a version", {"/home/me/.local/share/claude/versions/2.0.14|claude"}, "Claude Code@101 agent"},
        {"Claude Code under node", {"/usr/bin/node|node --no-warnings /x/@anthropic-ai/claude-code/cli.js"}, "Claude Code@101 agent"},
        {"a node agent that renamed itself", {"/usr/bin/node|claude"}, "Claude Code@101 agent"},
        {"Codex", {"/usr/local/bin/codex"}, "Codex@101 agent"},
        {"Codex under node", {"/usr/bin/node|node /n/lib/node_modules/@openai/codex/bin/codex.js"}, "Codex@101 agent"},
        {"Gemini through its bin link", {"/usr/bin/node|node /usr/local/bin/gemini"}, "Gemini CLI@101 agent"},
        {"Gemini's package", {"/usr/bin/node|node /x/@google/gemini-cli/dist/index.js"}, "Gemini CLI@101 agent"},
        {"Copilot under bun", {"/home/me/.bun/bin/bun|bun /x/@github/copilot/index.js"}, "Copilot CLI@101 agent"},
        {"cursor-agent", {"/home/me/.local/bin/cursor-agent"}, "Cursor Agent@101 agent"},
        {"cursor-agent's own node", {"/c/cursor-agent/v1/node|/c/cursor-agent/v1/node /c/cursor-agent/v1/index.js"}, "Cursor Agent@101 agent"},
        {"opencode", {"/usr/bin/opencode"}, "opencode@101 agent"},
        {"Aider under python", {"/usr/bin/python3.11|/usr/bin/python3 /home/me/.local/bin/aider"}, "Aider@101 agent"},
        {"Goose", {"/usr/local/bin/goose|goose session"}, "Goose@101 agent"},
        {"Amp", {"/usr/bin/node|node /x/@sourcegraph/amp/dist/main.js"}, "Amp@101 agent"},
        {"Qwen Code", {"/usr/bin/node|qwen"}, "Qwen Code@101 agent"},
        {"GNOME Terminal", {"/usr/libexec/gnome-terminal-server"}, "Terminal@101 terminal"},
        {"tmux names its server in argv", {"/usr/bin/tmux|tmux: server"}, "Terminal@101 terminal"},
        {"an agent in an IDE's terminal: the nearest wins", {"/bin/bash", "/usr/bin/claude", "/bin/bash", "/usr/share/code/code"}, "Claude Code@102 agent"},
        {"an editor inside tmux", {"/bin/bash", "/usr/bin/nvim", "/usr/bin/tmux"}, "Neovim@102"},
        {"a terminal below an agent is passed over", {"/usr/bin/tmux", "/bin/bash", "/usr/bin/codex"}, "Codex@103 agent"},
        {"the nearest terminal", {"/usr/bin/tmux", "/bin/bash", "/usr/bin/kitty"}, "Terminal@101 terminal"},
        {"a shell", {"/usr/bin/bash|-bash"}, ""},
        {"node running something else", {"/usr/bin/node|node /srv/app/server.js"}, ""},
        {"an agent's name as a later argument", {"/usr/bin/node|node /srv/app.js claude"}, ""},
        {"a script host's option is no script", {"/usr/bin/node|node --require=/x/@openai/codex/"}, ""},
        {"no command line in the listing", {"/usr/bin/node"}, ""},
        {"code-server is no VS Code window", {"/usr/bin/code-server"}, ""},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FakeKernel kernel;
        std::map<ombrix::platform::Pid, QStringList> args;
        kernel.processes[100].parent = 101;
        for (size_t i = 0; i < c.chain.size(); ++i) {
            const auto pid = ombrix::platform::Pid(101 + i);
            const QStringList parts = QString::fromUtf8(c.chain[i]).split(u'|');
            kernel.processes[pid].parent = i + 1 == c.chain.size() ? 1 : pid + 1;
            kernel.processes[pid].exe = parts[0].toStdString();
            if (parts.size() > 1) {
                args[pid] = parts[1].split(u' ');
            }
        }
        EXPECT_EQ(who(100, kernel, args), c.expected);
    }
    // A process that is its own parent, or a loop, names nobody.
    FakeKernel kernel;
    kernel.processes[100].parent = 100;
    EXPECT_EQ(who(100, kernel), "");
    kernel.processes[100].parent = 101;
    kernel.processes[101].parent = 102;
    kernel.processes[101].exe = "/usr/bin/tmux";
    kernel.processes[102].parent = 101;
    EXPECT_EQ(who(100, kernel), "");
}

} // namespace
