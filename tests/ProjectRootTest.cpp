// Project root search over a fake file system.

// clang-format off
#include <vector> // FakeKernel.h uses it without including it
#include "FakeKernel.h"
// clang-format on
#include "Identification.h"

#include <QSet>
#include <gtest/gtest.h>
#include <optional>

namespace Identification = ombrix::Identification;
using ombrix::testing::FakeKernel;

namespace {

// "/p/1/2/.../n": a chain of n directories below /p.
QString deep(int levels) {
    QString path = "/p";
    for (int i = 1; i <= levels; ++i) {
        path += '/' + QString::number(i);
    }
    return path;
}

TEST(ProjectRoot, Table) {
    const std::optional<QString> none;
    const struct {
        const char* name;
        std::optional<QString> cwd;
        QStringList args;
        std::set<std::string> files;
        std::optional<QString> expected;
    } cases[] = {
        {"pubspec above cwd",
         "/home/me/app/lib",
         {"/x/dart"},
         {"/home/me/app/pubspec.yaml"},
         "/home/me/app"},
        {"script argument searched from root cwd",
         "/",
         {"/x/dart", "/home/me/app/bin/main.dart"},
         {"/home/me/app/pubspec.yaml"},
         "/home/me/app"},
        {"only arguments after the snapshot",
         none,
         {"/x/dart", "/w/analysis_server.dart.snapshot", "--port", "/home/me/app"},
         {"/w/pubspec.yaml", "/home/me/app/pubspec.yaml"},
         "/home/me/app"},
        {"snapshot path itself is no candidate",
         none,
         {"/x/dart", "/w/analysis_server.dart.snapshot"},
         {"/w/pubspec.yaml"},
         none},
        {"argument 0 is no candidate", none, {"/w/bin/dart"}, {"/w/pubspec.yaml"}, none},
        {"cwd searched before arguments",
         "/home/me/a",
         {"/x/dart", "/home/me/b"},
         {"/home/me/a/pubspec.yaml", "/home/me/b/pubspec.yaml"},
         "/home/me/a"},
        {"14 levels up is found", deep(14), {}, {"/p/pubspec.yaml"}, "/p"},
        {"15 levels up is not, fallback to cwd", deep(15), {}, {"/p/pubspec.yaml"}, deep(15)},
        {"no pubspec: cwd itself", "/home/me/scratch", {}, {}, "/home/me/scratch"},
        {"home searched", "/home/me", {}, {"/home/me/pubspec.yaml"}, "/home/me"},
        {"home never the fallback", "/home/me", {}, {}, none},
        {"root never the fallback", "/", {}, {"/pubspec.yaml"}, none},
        {"root reachable from below", "/srv/x", {}, {"/pubspec.yaml"}, "/"},
        {"tooling cwd neither searched nor returned",
         "/private/tmp/x",
         {"/x/dart", "/home/me/app"},
         {"/private/tmp/x/pubspec.yaml", "/home/me/app/pubspec.yaml"},
         "/home/me/app"},
        {"tooling cwd alone", "/home/me/.puro/envs/stable", {}, {}, none},
        {"tooling argument skipped",
         none,
         {"/x/dart", "/tmp/app/main.dart"},
         {"/tmp/app/pubspec.yaml"},
         none},
        {"nothing at all", none, {}, {}, none},
        {"trailing slash keeps the candidate",
         "/home/me/app/",
         {},
         {"/home/me/app/pubspec.yaml"},
         "/home/me/app/"},
        {"relative cwd is not used", "app", {}, {"app/pubspec.yaml", "/pubspec.yaml"}, none},
        {"empty cwd is not used", "", {}, {"pubspec.yaml"}, none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeKernel kernel;
        kernel.files = c.files;
        EXPECT_EQ(Identification::projectRoot(c.cwd, c.args, {}, kernel), c.expected);
    }
}

TEST(ProjectRoot, ProbesParentsWithSingleSlashes) {
    QStringList probed;
    const auto record = [&](const QString& path) {
        probed.append(path);
        return false;
    };
    FakeKernel kernel;
    Identification::projectRoot(std::nullopt, {"/x/dart", "/a//b/main.dart/"}, record, kernel);
    EXPECT_EQ(probed, (QStringList{"/a//b/main.dart/pubspec.yaml", "/a//b/pubspec.yaml",
                                   "/a/pubspec.yaml", "/pubspec.yaml"}));
}

TEST(ProjectRoot, GivenPredicateReplacesTheKernel) {
    FakeKernel kernel;
    kernel.files = {"/p/a/b/pubspec.yaml"};
    const auto onlyP = [](const QString& path) { return path == "/p/pubspec.yaml"; };
    EXPECT_EQ(Identification::projectRoot(QString("/p/a/b"), {}, onlyP, kernel), "/p");
}

// deep(20)'s first five levels up are deep(30)'s last five: asked once, not twice.
TEST(ProjectRoot, FifteenLevelsPerCandidateEachAskedOnce) {
    int calls = 0;
    FakeKernel kernel;
    Identification::projectRoot(
        deep(30), {"/x/dart", deep(20)},
        [&](const QString&) {
            ++calls;
            return false;
        },
        kernel);
    EXPECT_EQ(calls, 25);
}

// 2000 script paths in one folder: its five directories are asked once, not
// 6 x 2000 times (a process with thousands of path arguments made fifty
// dumps take seconds).
TEST(ProjectRoot, ManyArgumentsUnderOneTreeAskEachDirectoryOnce) {
    QStringList args{QStringLiteral("/x/dart")};
    for (int i = 0; i < 2000; ++i) {
        args.append(QStringLiteral("/w/a/b/c/f%1.dart").arg(i));
    }
    QStringList asked;
    FakeKernel kernel;
    const auto none = [&](const QString& path) {
        asked.append(path);
        return false;
    };
    EXPECT_EQ(Identification::projectRoot(std::nullopt, args, none, kernel), std::nullopt);
    EXPECT_EQ(asked.size(), 2000 + 5);
    EXPECT_EQ(asked.size(), QSet<QString>(asked.begin(), asked.end()).size());
    const auto inA = [](const QString& path) {
        return path == QStringLiteral("/w/a/pubspec.yaml");
    };
    EXPECT_EQ(Identification::projectRoot(std::nullopt, args, inA, kernel), "/w/a");
}

TEST(WorkingDirectory, FromKernel) {
    FakeKernel kernel;
    kernel.processes[10].cwd = "/home/me/caf\xc3\xa9";
    kernel.processes[11].cwd = std::nullopt;
    EXPECT_EQ(Identification::workingDirectory(10, kernel), QString::fromUtf8("/home/me/café"));
    EXPECT_EQ(Identification::workingDirectory(11, kernel), std::nullopt);
    EXPECT_EQ(Identification::workingDirectory(12, kernel), std::nullopt);
}

} // namespace
