#include "Leftovers.h"

#include "FakeKernel.h"
#include "NamedRow.h"

#include <gtest/gtest.h>

namespace {

using namespace ombrix;
using ombrix::testing::FakeKernel;

constexpr Pid kInit = 1, kIde = 50, kUserManager = 60, kUnreadable = 70, kDart = 100;
constexpr std::uint32_t kMe = 1000;

// One process through successive samples: the parent each one reads, and
// whether it is a leftover then.
struct Step {
    std::optional<Pid> parent;
    bool leftover;
};
struct LeftoverRow {
    const char* name;
    std::vector<Step> steps;
    std::optional<bool> service = false;
    Pid session = 0;     // FakeKernel's: 0 its own, -1 unreadable
    Pid initSession = 0; // pid 1's, likewise
    std::optional<std::uint32_t> owner = kMe;
    std::optional<std::uint32_t> user = kMe; // ours; absent: root
    OMBRIX_NAMED_ROW(LeftoverRow)
};

const LeftoverRow kRows[] = {
    {"ChildOfAnIde", {{kIde, false}, {kIde, false}}},
    {"AdoptedByInitFromTheStart", {{kInit, true}}},
    {"AdoptedByTheSessionsReaper", {{kUserManager, true}}},
    {"ServiceMainIsExempt", {{kInit, false}, {kInit, false}}, true},
    {"ServiceUnknownIsNoGuess", {{kInit, false}}, std::nullopt},
    {"ParentUnreadableIsNoGuess", {{std::nullopt, false}}},
    {"ParentsExecutableUnreadable", {{kUnreadable, false}}},
    {"ParentOutsideTheNamespace", {{0, false}}},
    {"IdeEndsLater", {{kIde, false}, {kInit, true}, {kInit, true}}},
    {"IdeEndsLaterWhateverTheUnit", {{kIde, false}, {kUserManager, true}}, true},
    {"AParentUnreadableOnceKeepsTheHistory", {{kIde, false}, {std::nullopt, false}, {kInit, true}}},
    // Whose session it runs in.
    {"InitsOwnChild", {{kInit, false}, {kInit, false}}, false, kInit},
    {"TheUserManagersOwnChild", {{kUserManager, false}}, false, kUserManager},
    {"AnotherSessionUnderInit", {{kInit, true}}, false, 7},
    {"InitsSessionButSeenLivingFirst", {{kIde, false}, {kInit, true}}, false, kInit},
    {"SessionUnreadableIsNoGuess", {{kInit, false}}, false, -1},
    {"InitsSessionUnreadableIsNoGuess", {{kInit, false}}, false, 0, -1},
    // Whose process it is.
    {"AnotherUsersOrphan", {{kInit, false}}, false, 0, 0, 0},
    {"AnotherUsersOrphanSeenLivingFirst", {{kIde, false}, {kInit, false}}, false, 0, 0, 0},
    {"OwnerUnreadableIsNoGuess", {{kInit, false}}, false, 0, 0, std::nullopt},
    {"RootCountsAnyonesOrphan", {{kInit, true}}, false, 0, 0, 0, std::nullopt},
};

class LeftoverTest : public ::testing::TestWithParam<LeftoverRow> {};

TEST_P(LeftoverTest, FollowsTheParent) {
    const LeftoverRow& row = GetParam();
    FakeKernel tree;
    tree.processes[kInit].session = row.initSession;
    tree.processes[kIde].exe = "/usr/share/code/code";
    tree.processes[kUserManager].exe = "/usr/lib/systemd/systemd";
    tree.processes[kUnreadable].exe = std::nullopt;
    tree.processes[kDart].service = row.service;
    tree.processes[kDart].session = row.session;
    tree.processes[kDart].owner = row.owner;
    Leftovers::Lineage seen;
    int sample = 0;
    for (const Step& step : row.steps) {
        EXPECT_EQ(Leftovers::update(seen, kDart, {step.parent, {}, {}}, tree, row.user),
                  step.leftover)
            << "sample " << sample;
        ++sample;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, LeftoverTest, ::testing::ValuesIn(kRows),
                         ombrix::testing::RowName());

TEST(LeftoverSummary, CountsAndBytes) {
    EXPECT_EQ(Leftovers::summary(1, 300 * 1024 * 1024), QStringLiteral("1 leftover \u00b7 300 MB"));
    EXPECT_EQ(Leftovers::summary(3, 2254857830ull), QStringLiteral("3 leftovers \u00b7 2.1 GB"));
}

} // namespace

namespace {

using ombrix::Leftovers::Member;

// "pid>head" for each member in a family, in order.
std::string familiesOf(const std::vector<Member>& members) {
    std::string out;
    const auto heads = ombrix::Leftovers::families(members);
    for (size_t i = 0; i < members.size(); ++i) {
        if (heads[i]) {
            out += (out.empty() ? "" : " ") + std::to_string(members[i].process.id) + '>' +
                   std::to_string(heads[i]->id);
        }
    }
    return out;
}

TEST(LeftoverFamilies, Table) {
    // {{pid, start}, parent, leftover, own}
    // clang-format off
    const struct { const char* label; std::vector<Member> members; std::string expected; } cases[] = {
        {"an analyzer under its leftover MCP server", {{{10, 5}, 1, true, true}, {{11, 6}, 10, false, true}}, "11>10"},
        {"any depth, listed in any order",
         {{{13, 9}, 12, false, true}, {{12, 8}, 11, false, true}, {{10, 5}, 1, true, true}, {{11, 6}, 10, false, true}},
         "13>10 12>10 11>10"},
        {"a living parent makes no family", {{{10, 5}, 7, false, true}, {{11, 6}, 10, false, true}}, ""},
        {"another user's child stays out", {{{10, 5}, 1, true, true}, {{11, 6}, 10, false, false}}, ""},
        {"a parent younger than its child is a reused pid", {{{10, 50}, 1, true, true}, {{11, 6}, 10, false, true}}, ""},
        {"the same tick is no reuse", {{{10, 6}, 1, true, true}, {{11, 6}, 10, false, true}}, "11>10"},
        {"a loop ends the family", {{{11, 6}, 12, false, true}, {{12, 6}, 11, false, true}, {{10, 5}, 1, true, true}}, ""},
        {"its own parent", {{{11, 6}, 11, false, true}}, ""},
        {"two families",
         {{{10, 5}, 1, true, true}, {{20, 5}, 1, true, true}, {{21, 6}, 20, false, true}, {{11, 6}, 10, false, true}},
         "21>20 11>10"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(familiesOf(c.members), c.expected);
    }
}

} // namespace
