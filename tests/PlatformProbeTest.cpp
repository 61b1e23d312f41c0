// platform_probe on this machine: one reading of itself and of the machine,
// taken as a direct child of this test in a working directory of our choosing.

#include "ChildProcess.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kProbe = OMBRIX_BINARY_DIR "/src/platform/platform_probe";

struct Probe {
    std::map<std::string, std::string> values; // "key: value" lines
    pid_t pid = -1;
    int status = -1;
};

// Runs the probe with `args` in `cwd`, stderr dropped, and reads its lines.
Probe runProbe(const std::vector<std::string>& args, const fs::path& cwd) {
    Probe probe;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return probe;
    }
    ombrix::testing::ChildOptions options;
    options.cwd = cwd.string();
    options.fds = {{fds[1], STDOUT_FILENO}};
    options.quietStderr = true;
    std::vector<std::string> argv{kProbe};
    argv.insert(argv.end(), args.begin(), args.end());
    ombrix::testing::Child child(kProbe, std::move(argv), options);
    ::close(fds[1]);
    probe.pid = child.pid();
    if (probe.pid <= 0) {
        ::close(fds[0]);
        return probe;
    }
    FILE* out = ::fdopen(fds[0], "r");
    char line[8192];
    while (std::fgets(line, sizeof line, out) != nullptr) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        const auto colon = text.find(": ");
        if (colon != std::string::npos) {
            probe.values[text.substr(0, colon)] = text.substr(colon + 2);
        }
    }
    std::fclose(out);
    probe.status = child.wait();
    return probe;
}

unsigned long long number(const std::string& text) {
    return std::stoull(text);
}

} // namespace

TEST(PlatformProbe, ReadsItselfAndTheMachine) {
    const fs::path cwd = fs::canonical(fs::temp_directory_path());
    auto probe = runProbe({}, cwd);
    ASSERT_TRUE(WIFEXITED(probe.status) && WEXITSTATUS(probe.status) == 0);
    auto& r = probe.values;

    EXPECT_EQ(r["pid"], std::to_string(probe.pid));
    EXPECT_EQ(r["own_pid"], std::to_string(probe.pid));
    EXPECT_EQ(r["parent"], std::to_string(::getpid()));
    EXPECT_EQ(r["exe"], fs::canonical(kProbe).string());
    EXPECT_EQ(r["cwd"], cwd.string());
    EXPECT_GT(number(r["footprint"]), 0u);
    ASSERT_NE(r["cpu_ns"], "none");
    EXPECT_LT(number(r["cpu_ns"]), 60'000'000'000ull) << "a fresh process used under a minute";

    unsigned numer = 0, denom = 0;
    ASSERT_EQ(std::sscanf(r["timebase"].c_str(), "%u/%u", &numer, &denom), 2) << r["timebase"];
    EXPECT_GT(numer, 0u);
    EXPECT_GT(denom, 0u);

    const auto physical = number(r["physical"]);
    const auto page = number(r["counter_unit_bytes"]);
    EXPECT_GT(physical, 64ull << 20);
    EXPECT_GT(page, 0u);
    EXPECT_LT(number(r["footprint"]), physical);
    // Each counter is a share of the machine: a unit mix-up overshoots it.
    for (const char* key :
         {"vm_wire", "vm_purgeable", "vm_compressor", "vm_external", "vm_internal"}) {
        ASSERT_NE(r[key], "none") << key;
        EXPECT_LE(number(r[key]) * page, physical) << key;
    }
    EXPECT_GT(number(r["vm_internal"]), 0u);
    if (r["swap_used"] != "none") {
        number(r["swap_used"]); // a number, not garbage
    }
    if (r["pressure_level"] != "none") {
        EXPECT_TRUE(r["pressure_level"] == "1" || r["pressure_level"] == "2" ||
                    r["pressure_level"] == "4")
            << r["pressure_level"];
    }
    ASSERT_FALSE(r["home"].empty());
    EXPECT_EQ(r["home"].front(), '/');
    EXPECT_GT(number(r["monotonic_ns"]), 0u);
}

TEST(PlatformProbe, OtherPidsAndBadArguments) {
    struct Row {
        const char* name;
        std::string arg;
        int exitCode;
        bool folded; // every per-process reading is "none"
    };
    const Row rows[] = {
        {"init: readable or folded, never a crash", "1", 0, false},
        {"no such process", "2147483647", 0, true},
        {"negative pid", "-1", 0, true},
        {"zero", "0", 0, true},
        {"not a pid", "12ab", 2, false},
        {"too large", "99999999999", 2, false},
        {"empty", "", 2, false},
    };
    for (const Row& row : rows) {
        auto probe = runProbe({row.arg}, "/");
        ASSERT_TRUE(WIFEXITED(probe.status)) << row.name;
        EXPECT_EQ(WEXITSTATUS(probe.status), row.exitCode) << row.name;
        if (row.folded) {
            for (const char* key : {"parent", "exe", "cwd", "cpu_ns", "footprint"}) {
                EXPECT_EQ(probe.values[key], "none") << row.name << ": " << key;
            }
            EXPECT_EQ(probe.values["own_pid"], std::to_string(probe.pid)) << row.name;
        }
    }
}
