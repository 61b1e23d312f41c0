// Analyzers that double up on one folder, and analyzers of the whole home folder.

#include "Analyzers.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using namespace ombrix;

struct Analyzer {
    Pid id;
    quint64 start;
    const char* project;   // "" none
    const char* workspace; // "" none
    std::optional<StarterKind> by = std::nullopt;
    bool foreign = false;
    bool analyzer = true;
    bool homeCwd = false;
};

QList<DartProcess> rowsOf(const std::vector<Analyzer>& analyzers) {
    QList<DartProcess> rows;
    for (const Analyzer& a : analyzers) {
        DartProcess row;
        row.id = a.id;
        row.startTime = a.start;
        row.name = QStringLiteral("Analyzer %1").arg(a.id);
        row.memoryBytes = 1024 * 1024;
        if (*a.project) {
            row.projectPath = QString::fromUtf8(a.project);
        }
        if (*a.workspace) {
            row.workspace = QString::fromUtf8(a.workspace);
        }
        if (a.by) {
            row.startedBy = IdeAncestor{7, QStringLiteral("x"), *a.by, QString()};
        }
        row.foreign = a.foreign;
        row.analyzer = a.analyzer;
        row.homeCwd = a.homeCwd;
        rows.append(row);
    }
    return rows;
}

// "pid=kept" for each duplicate, "pid~home" for each home-folder analyzer, in row order.
std::string marks(const QList<DartProcess>& rows) {
    std::string out;
    for (const DartProcess& row : rows) {
        if (row.duplicateOf) {
            out += (out.empty() ? "" : " ") + std::to_string(row.id) + '=' +
                   std::to_string(row.duplicateOf->process.id);
        }
        if (row.homeFolder) {
            out += (out.empty() ? "" : " ") + std::to_string(row.id) + "~home";
        }
    }
    return out;
}

TEST(Analyzers, MarksTable) {
    constexpr auto ide = StarterKind::Ide, agent = StarterKind::Agent, term = StarterKind::Terminal;
    constexpr auto none = std::nullopt;
    // {pid, start, project, workspace, started by, foreign, analyzer, home cwd}
    // clang-format off
    const struct { const char* label; std::vector<Analyzer> rows; std::string marks; QStringList lines; } cases[] = {
        {"the editor's analyzer is kept, the agents' are duplicates",
         {{30, 9, "/p/app", "", agent}, {31, 5, "/p/app", "", agent}, {32, 7, "/p/app", "", ide}},
         "30=32 31=32", {"3 analyzers on app \u00b7 3 MB"}},
        {"without exactly one editor's, the oldest",
         {{30, 9, "/p/app", "", ide}, {31, 5, "/p/app", "", term}, {32, 7, "/p/app", "", ide}},
         "30=31 32=31", {"3 analyzers on app \u00b7 3 MB"}},
        {"a start time tie goes to the lower pid", {{41, 5, "/p/app", ""}, {40, 5, "/p/app", ""}},
         "41=40", {"2 analyzers on app \u00b7 2 MB"}},
        {"a workspace stands in for a project", {{30, 1, "", "/p/mono"}, {31, 2, "/p/mono", ""}},
         "31=30", {"2 analyzers on mono \u00b7 2 MB"}},
        {"other folders, other users and other tools stay apart",
         {{30, 1, "/p/app", ""}, {31, 2, "/p/other", ""}, {32, 3, "/p/app", "", none, true},
          {33, 4, "/p/app", "", none, false, false}, {34, 5, "", ""}},
         "", {}},
        {"two groups, in the order of their first rows",
         {{50, 1, "/p/b", ""}, {30, 1, "/p/a", ""}, {51, 2, "/p/b", ""}, {31, 2, "/p/a", ""}},
         "51=50 31=30", {"2 analyzers on b \u00b7 2 MB", "2 analyzers on a \u00b7 2 MB"}},
        {"the home folder and the root, by folder or working directory",
         {{30, 1, "", "/home/me"}, {31, 1, "", "", none, false, true, true}, {32, 1, "/", ""},
          {33, 1, "/home/me/app", "", none, false, true, true}, {34, 1, "", "", none, false, false, true}},
         "30~home 31~home 32~home", {}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        QList<DartProcess> rows = rowsOf(c.rows);
        Analyzers::mark(rows, QStringLiteral("/home/me"));
        EXPECT_EQ(marks(rows), c.marks);
        EXPECT_EQ(Analyzers::groupLines(rows), c.lines);
        Analyzers::mark(rows, QStringLiteral("/home/me")); // a second sample changes nothing
        EXPECT_EQ(marks(rows), c.marks);
    }
}

} // namespace
