// The dump's own choices, on a fake machine: two readings over the measured
// interval, listing order, only what both readings saw, and the daemons asked
// address by address.

#include "Dump.h"

#include "FakeKernel.h"

#include <QPromise>
#include <gtest/gtest.h>

using namespace ombrix;

namespace {

// Each process spins at `spin` cores for as long as the fake clock runs.
struct SpinningKernel : ombrix::testing::FakeKernel {
    std::map<platform::Pid, double> spin;
    std::string later; // listed from the second listing on
    std::string listProcesses() const override {
        const std::string text = FakeKernel::listProcesses();
        return listCalls > 1 ? text + later : text;
    }
    std::optional<platform::ProcessUsage> usage(platform::Pid pid) const override {
        auto usage = FakeKernel::usage(pid);
        if (usage && spin.count(pid)) {
            usage->cpuTime += std::uint64_t(spin.at(pid) * double(now));
        }
        return usage;
    }
};

std::string print(const platform::Kernel& kernel, const ProcessMonitor::Resolver& resolver) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    Dump::print(kernel, resolver, out);
    std::fclose(out);
    std::string printed(text, size);
    std::free(text);
    return printed;
}

} // namespace

TEST(Dump, TwoReadingsInListingOrderAndEveryDaemonAddressInTurn) {
    SpinningKernel kernel;
    kernel.processes[50].exe = "/usr/share/code/code";
    for (platform::Pid pid : {10, 11, 12, 13}) {
        kernel.processes[pid].parent = 50;
        kernel.processes[pid].usage =
            platform::ProcessUsage{0, 1 << 20, 7, std::nullopt, std::nullopt, std::nullopt};
        kernel.processes[pid].cwd = "/home/me/app/lib";
    }
    kernel.files = {"/home/me/app/pubspec.yaml"};
    kernel.processes[11].cwd = "/";
    kernel.processes[12].cwd = "/";
    kernel.processes[12].usage->physFootprint = 1 << 30; // heavier, still printed last
    kernel.spin = {{10, 0.25}, {12, 1.0}};
    kernel.later = "13 /x/dart run\n"; // started between the readings: no CPU figure, no line
    kernel.setListing("10 /x/dart language-server --dtd-uri=ws://127.0.0.1:1/a\n"
                      "11 /x/dart language-server --dtd-uri=ws://127.0.0.1:1/b\n"
                      "12 /x/dart language-server --dtd-uri=ws://127.0.0.1:1/c\n");
    std::vector<QString> asked;
    const auto resolver = [&](const QUrl& url, std::chrono::milliseconds) {
        asked.push_back(url.path());
        QPromise<std::optional<QString>> promise;
        promise.start();
        // The window's first address has nothing to say; that is not its answer.
        promise.addResult(url.path() == "/a" ? std::nullopt : std::optional(QString("/ws")));
        promise.finish();
        return promise.future();
    };

    EXPECT_EQ(print(kernel, resolver), "10\tAnalyzer (VS Code)\t25.0%\t1 MB\t/home/me/app\n"
                                       "11\tAnalyzer (VS Code)\t0.0%\t1 MB\tworkspace: /ws\n"
                                       "12\tAnalyzer (VS Code)\t100.0%\t1 GB\tworkspace: /ws\n");
    EXPECT_EQ(asked, (std::vector<QString>{"/a", "/b"}));
}

// A search stuck on a hung path costs its process the project and the dump
// the grace, waited, not spun (on this clock a spin would never end); the
// other process keeps its project.
TEST(Dump, AStuckSearchCostsItsProjectAndAtMostTheGrace) {
    ombrix::testing::FakeKernel kernel;
    kernel.setListing("10 /x/dart run\n11 /x/dart run\n");
    kernel.processes[10].cwd = "/mnt/hung/app";
    kernel.processes[11].cwd = "/w/app";
    kernel.files = {"/w/app/pubspec.yaml"};
    kernel.hangs["/mnt/hung/app/pubspec.yaml"] = ombrix::testing::FakeProbe::forGood;
    const std::int64_t start = kernel.now;
    const std::string printed = print(kernel, [](const QUrl&, std::chrono::milliseconds) {
        return QFuture<std::optional<QString>>();
    });
    EXPECT_EQ(printed, "10\tDart Run\t0.0%\tZero KB\t-\n"
                       "11\tDart Run\t0.0%\tZero KB\t/w/app\n");
    const auto spent = std::chrono::nanoseconds(kernel.now - start);
    EXPECT_GE(spent, Dump::interval + Dump::searchGrace - std::chrono::milliseconds(1));
    EXPECT_LE(spent, Dump::interval + Dump::searchGrace + std::chrono::milliseconds(10));
}
