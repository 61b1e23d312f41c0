// platform_probe on this machine: one reading of itself and of the machine.

#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

std::map<std::string, std::string> runProbe(const std::string& args) {
    std::map<std::string, std::string> out;
    const std::string command = OMBRIX_BINARY_DIR "/src/platform/platform_probe " + args;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char line[8192];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        const auto colon = text.find(": ");
        if (colon != std::string::npos) {
            out[text.substr(0, colon)] = text.substr(colon + 2);
        }
    }
    out["status"] = std::to_string(::pclose(pipe));
    return out;
}

unsigned long long number(const std::string& text) {
    return std::stoull(text);
}

} // namespace

TEST(PlatformProbe, ReadsItselfAndTheMachine) {
    auto r = runProbe("");
    ASSERT_EQ(r["status"], "0");
    EXPECT_EQ(r["pid"], r["own_pid"]);
    EXPECT_NE(r["parent"], "none");
    EXPECT_NE(r["exe"].find("platform_probe"), std::string::npos) << r["exe"];
    EXPECT_EQ(r["cwd"].front(), '/');
    EXPECT_GT(number(r["footprint"]), 0u);
    EXPECT_NE(r["cpu_ns"], "none");
    EXPECT_GT(number(r["physical"]), 64ull << 20);
    EXPECT_GT(number(r["page_size"]), 0u);
    EXPECT_NE(r["vm_internal"], "none");
    EXPECT_GT(number(r["monotonic_ns"]), 0u);
    EXPECT_FALSE(r["home"].empty());
}

TEST(PlatformProbe, OtherPidsAndBadArguments) {
    struct Row {
        const char* name;
        std::string args;
        std::string status;
        std::string footprint;
    };
    const Row rows[] = {
        {"init is readable or folded, never a crash", "1", "0", ""},
        {"no such process", "2147483647", "0", "none"},
        {"not a pid", "12ab", std::to_string(2 << 8), ""},
        {"too large", "99999999999", std::to_string(2 << 8), ""},
    };
    for (const Row& row : rows) {
        auto r = runProbe(row.args + " 2>/dev/null");
        EXPECT_EQ(r["status"], row.status) << row.name;
        if (!row.footprint.empty()) {
            EXPECT_EQ(r["footprint"], row.footprint) << row.name;
            EXPECT_EQ(r["exe"], "none") << row.name;
        }
    }
}
