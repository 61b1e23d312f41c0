// Project searches over a fake file system, in the fake prober on the mock
// clock: where the project is, what is asked, and what a stuck prober costs.

#include "ProjectSearcher.h"

#include "FakeKernel.h"

#include <QSet>
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>

using namespace ombrix;
using namespace std::chrono_literals;
using ombrix::testing::FakeKernel;
using ombrix::testing::FakeProbe;

namespace {

// "/p/1/2/.../n": a chain of n directories below /p.
QString deep(int levels) {
    QString path = "/p";
    for (int i = 1; i <= levels; ++i) {
        path += '/' + QString::number(i);
    }
    return path;
}

// One process's search; the fake prober answers it at once.
std::optional<QString> projectOf(const FakeKernel& kernel, const std::optional<QString>& cwd,
                                 const QStringList& args) {
    ProjectSearcher searcher(kernel, kernel);
    searcher.start({{7, cwd, args}});
    const ProjectSearcher::Answers answers = searcher.collect(0ms);
    EXPECT_TRUE(answers.contains(7));
    EXPECT_TRUE(searcher.idle());
    return answers.value(7, std::nullopt);
}

TEST(ProjectSearch, Table) {
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
        {"nearest pubspec wins", "/p/a/b", {}, {"/p/pubspec.yaml", "/p/a/pubspec.yaml"}, "/p/a"},
        {"farther pubspec found", "/p/a/b", {}, {"/p/pubspec.yaml"}, "/p"},
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
        EXPECT_EQ(projectOf(kernel, c.cwd, c.args), c.expected);
    }
}

TEST(ProjectSearch, ProbesParentsWithSingleSlashes) {
    FakeKernel kernel;
    projectOf(kernel, std::nullopt, {"/x/dart", "/a//b/main.dart/"});
    EXPECT_EQ(kernel.probed,
              (std::vector<std::string>{"/a//b/main.dart/pubspec.yaml", "/a//b/pubspec.yaml",
                                        "/a/pubspec.yaml", "/pubspec.yaml"}));
}

// deep(20)'s first five levels up are deep(30)'s last five: asked once, not twice.
TEST(ProjectSearch, FifteenLevelsPerCandidateEachAskedOnce) {
    FakeKernel kernel;
    projectOf(kernel, deep(30), {"/x/dart", deep(20)});
    EXPECT_EQ(kernel.probed.size(), 25u);
}

// 2000 script paths in one folder: its five directories are asked once, not
// 6 x 2000 times (a process with thousands of path arguments made fifty
// dumps take seconds).
TEST(ProjectSearch, ManyArgumentsUnderOneTreeAskEachDirectoryOnce) {
    QStringList args{QStringLiteral("/x/dart")};
    for (int i = 0; i < 2000; ++i) {
        args.append(QStringLiteral("/w/a/b/c/f%1.dart").arg(i));
    }
    EXPECT_EQ(Identification::projectSearch(std::nullopt, args).fromArgs.size(), 2000 + 5);
    FakeKernel kernel;
    EXPECT_EQ(projectOf(kernel, std::nullopt, args), std::nullopt);
    EXPECT_EQ(kernel.probed.size(), 2000u + 5);
    EXPECT_EQ(kernel.probed.size(),
              std::set<std::string>(kernel.probed.begin(), kernel.probed.end()).size());
    kernel.files = {"/w/a/pubspec.yaml"};
    EXPECT_EQ(projectOf(kernel, std::nullopt, args), "/w/a");
}

// Four searches in one prober, which answers the first and then stops on the
// second's first path, as on a mount that stops answering; once that path
// answers again the search finds /mnt/hung/app.
struct StuckProber {
    static constexpr Pid before = 1, stuck = 2, after = 3, last = 4;
    static inline const std::string hungPath = "/mnt/hung/app/lib/pubspec.yaml";
    FakeKernel kernel;
    ProjectSearcher searcher;
    std::int64_t startedAt = kernel.now;

    explicit StuckProber(std::chrono::milliseconds stall = 100ms)
        : searcher(kernel, kernel, stall) {
        kernel.files = {"/w/a/pubspec.yaml", "/w/b/pubspec.yaml", "/w/c/pubspec.yaml",
                        "/w/d/pubspec.yaml", "/mnt/hung/app/pubspec.yaml"};
        kernel.hangs[hungPath] = FakeProbe::forGood;
        searcher.start({{before, "/w/a/lib", {}},
                        {stuck, "/mnt/hung/app/lib", {}},
                        {after, "/w/b", {}},
                        {last, "/w/c/x", {}}});
    }
    std::chrono::nanoseconds elapsedSince(std::int64_t at) const {
        return std::chrono::nanoseconds(kernel.now - at);
    }
    bool hungPathAnswered() const {
        return std::count(kernel.probed.begin(), kernel.probed.end(), hungPath) > 0;
    }
};

// The stuck search stays with its prober; every other one still wanted is
// restarted in one new prober and answered, whether the stuck search is still
// wanted, let go, or its pid searched again (not current either way: each
// current entry of the batch must be restarted, the stuck one is the first
// unanswered, wanted or not).
TEST(ProjectSearcher, AStuckProberKeepsOnlyTheSearchItIsOn) {
    const struct {
        const char* name;
        bool letGo;
        bool reused;
    } rows[] = {
        {"stuck search still wanted", false, false},
        {"stuck search let go", true, false},
        {"stuck pid searched again", true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StuckProber s;
        using S = StuckProber;
        if (row.letGo) {
            s.searcher.retain({S::before, S::after, S::last});
        }
        if (row.reused) {
            s.searcher.start({{S::stuck, "/w/d", {}}});
        }
        const ProjectSearcher::Answers answers = s.searcher.collect(1s);
        EXPECT_EQ(answers.value(S::before), "/w/a");
        EXPECT_EQ(answers.value(S::after), "/w/b");
        EXPECT_EQ(answers.value(S::last), "/w/c");
        EXPECT_EQ(answers.contains(S::stuck), row.reused);
        if (row.reused) {
            EXPECT_EQ(answers.value(S::stuck), "/w/d");
        }
        EXPECT_EQ(s.searcher.searching(S::stuck), !row.letGo);
        EXPECT_EQ(s.kernel.probers, row.reused ? 3 : 2) << "one restart, not one per stall";
        EXPECT_FALSE(s.hungPathAnswered());
        // Returns once the stall is seen, not at the end of its wait.
        EXPECT_GE(s.elapsedSince(s.startedAt), 100ms);
        EXPECT_LT(s.elapsedSince(s.startedAt), 200ms);
    }
}

TEST(ProjectSearcher, AStallIsCountedOnTheInjectedClock) {
    for (const auto stall : {50ms, 100ms, 300ms}) {
        SCOPED_TRACE(stall.count());
        StuckProber s(stall);
        const auto early = s.searcher.collect(stall - 20ms);
        EXPECT_EQ(early.keys(), QList<Pid>{StuckProber::before});
        EXPECT_EQ(s.kernel.probers, 1);
        const auto late = s.searcher.collect(40ms);
        EXPECT_TRUE(late.contains(StuckProber::after) && late.contains(StuckProber::last));
        EXPECT_EQ(s.kernel.probers, 2);
        EXPECT_GE(s.elapsedSince(s.startedAt), stall);
        EXPECT_LT(s.elapsedSince(s.startedAt), stall + 10ms);
    }
}

// Once only a stuck search is left, collect() returns at once while finish()
// waits on it until its wait ends, taking a late answer; a later read still
// takes what came late.
TEST(ProjectSearcher, CollectLeavesAStuckSearchWhereFinishWaitsOnIt) {
    const struct {
        const char* name;
        bool finish;
        std::optional<std::chrono::milliseconds> answersAfter; // none: never
        std::chrono::milliseconds wait;
        bool answered;
        std::chrono::milliseconds elapsed;
    } rows[] = {
        {"collect returns at once", false, std::nullopt, 1000ms, false, 0ms},
        {"collect does not wait for a late answer", false, 150ms, 1000ms, false, 0ms},
        {"finish waits until its wait ends", true, std::nullopt, 200ms, false, 200ms},
        {"finish takes a late answer", true, 150ms, 1000ms, true, 150ms},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StuckProber s;
        ASSERT_EQ(s.searcher.collect(1s).size(), 3);
        const std::int64_t from = s.kernel.now;
        if (row.answersAfter) {
            s.kernel.hangs[StuckProber::hungPath] =
                from + std::chrono::nanoseconds(*row.answersAfter).count();
        }
        const auto answers =
            row.finish ? s.searcher.finish(row.wait) : s.searcher.collect(row.wait);
        EXPECT_EQ(answers.contains(StuckProber::stuck), row.answered);
        EXPECT_GE(s.elapsedSince(from), row.elapsed);
        EXPECT_LT(s.elapsedSince(from), row.elapsed + 10ms);
        if (row.answersAfter && !row.answered) {
            s.kernel.advance(std::chrono::nanoseconds(*row.answersAfter).count());
            EXPECT_EQ(s.searcher.collect(0ms).value(StuckProber::stuck), "/mnt/hung/app");
        } else if (row.answered) {
            EXPECT_EQ(answers.value(StuckProber::stuck), "/mnt/hung/app");
        }
        EXPECT_EQ(s.searcher.idle(), row.answersAfter.has_value());
    }
}

} // namespace
