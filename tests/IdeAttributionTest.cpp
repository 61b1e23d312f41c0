// IDE names from executable paths, and the walk up the parent chain.

// clang-format off
#include <vector> // FakeKernel.h uses it without including it
#include "FakeKernel.h"
// clang-format on
#include "Identification.h"

#include <gtest/gtest.h>
#include <optional>

using ombrix::IdeAncestor;
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

TEST(IdeAncestor, Walk) {
    {
        SCOPED_TRACE("parent is the IDE");
        EXPECT_EQ(Identification::ideAncestor(100, Chain(3, 1)), (IdeAncestor{101, "VS Code"}));
    }
    {
        SCOPED_TRACE("tenth ancestor found");
        EXPECT_EQ(Identification::ideAncestor(100, Chain(12, 10)), (IdeAncestor{110, "VS Code"}));
    }
    {
        SCOPED_TRACE("eleventh ancestor not reached");
        EXPECT_EQ(Identification::ideAncestor(100, Chain(12, 11)), std::nullopt);
    }
    {
        SCOPED_TRACE("the process itself is never examined");
        EXPECT_EQ(Identification::ideAncestor(100, Chain(3, 0)), std::nullopt);
    }
    {
        SCOPED_TRACE("nearest IDE wins");
        Chain kernel(4, 3, "/Applications/Cursor.app/Contents/MacOS/Cursor");
        kernel.processes[101].exe = "/opt/idea-IU-241.1/jbr/bin/java";
        EXPECT_EQ(Identification::ideAncestor(100, kernel), (IdeAncestor{101, "IntelliJ"}));
    }
    {
        SCOPED_TRACE("unreadable path skipped");
        Chain kernel(4, 3);
        kernel.processes[101].exe = std::nullopt;
        kernel.processes[102].exe = std::nullopt;
        EXPECT_EQ(Identification::ideAncestor(100, kernel), (IdeAncestor{103, "VS Code"}));
    }
    {
        SCOPED_TRACE("init ends the walk");
        Chain kernel(1, 1);
        kernel.set(1, 0, "/usr/share/code/code");
        kernel.processes[100].parent = 1;
        EXPECT_EQ(Identification::ideAncestor(100, kernel), std::nullopt);
    }
    {
        SCOPED_TRACE("parent 0 ends the walk");
        Chain kernel(1, 0);
        kernel.processes[101].parent = 0;
        kernel.set(0, 1, "/usr/share/code/code");
        EXPECT_EQ(Identification::ideAncestor(100, kernel), std::nullopt);
    }
    {
        SCOPED_TRACE("process gone mid-walk");
        Chain kernel(4, 4);
        kernel.processes.erase(102); // 101 still names 102 as its parent
        EXPECT_EQ(Identification::ideAncestor(100, kernel), std::nullopt);
    }
    {
        SCOPED_TRACE("unknown pid");
        EXPECT_EQ(Identification::ideAncestor(5, Chain(2, 1)), std::nullopt);
    }
    {
        SCOPED_TRACE("a parent cycle stays bounded");
        Chain kernel(0, -1);
        kernel.set(100, 101, "/bin/bash");
        kernel.set(101, 100, "/bin/bash");
        EXPECT_EQ(Identification::ideAncestor(100, kernel), std::nullopt);
    }
}

} // namespace
