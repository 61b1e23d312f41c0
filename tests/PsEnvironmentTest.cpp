// The environment the ps child runs in (one function serves both backends).

#include "PsEnvironment.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ombrix::platform;

TEST(PsEnvironment, DropsColumnsAndForcesUtf8) {
    struct Row {
        const char* name;
        std::vector<const char*> env;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"empty", {nullptr}, {"LC_ALL=C.UTF-8"}},
        {"columns dropped, order kept",
         {"A=1", "COLUMNS=80", "B=2", nullptr},
         {"A=1", "B=2", "LC_ALL=C.UTF-8"}},
        {"empty columns dropped", {"COLUMNS=", nullptr}, {"LC_ALL=C.UTF-8"}},
        {"locale replaced", {"LC_ALL=POSIX", "LANG=C", nullptr}, {"LANG=C", "LC_ALL=C.UTF-8"}},
        {"look-alikes kept",
         {"COLUMNSX=1", "MY_COLUMNS=2", "LC_ALLX=3", nullptr},
         {"COLUMNSX=1", "MY_COLUMNS=2", "LC_ALLX=3", "LC_ALL=C.UTF-8"}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(psEnvironment(row.env.data()), row.expected) << row.name;
    }
    EXPECT_EQ(psEnvironment(nullptr), std::vector<std::string>{"LC_ALL=C.UTF-8"});
}
