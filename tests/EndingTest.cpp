// Ending a real process whose identity cannot be read: the descriptors run
// out (before SIGTERM, or during the grace), or /proc hides it as hidepid
// does. Not knowing must never read as ended, nor lead to a signal.

#include "Ending.h"

#include "ChildProcess.h"
#include "LinuxKernel.h"
#include "NamedRow.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>

namespace ombrix {
namespace {

using namespace std::chrono_literals;
using platform::Pid;
using platform::Signalled;

// The kernel's process table and clock, recording the signals that went out.
// From the clock's `starveFrom`th sleep (0: from the start) up to its
// `starveUntil`th, this process may open no descriptor at all.
class Witness : public platform::ProcessTable, public platform::Clock {
public:
    Witness(const platform::LinuxKernel& kernel, int starveFrom, int starveUntil)
        : m_kernel(kernel)
        , m_from(starveFrom)
        , m_until(starveUntil) {
        ::getrlimit(RLIMIT_NOFILE, &m_limit);
        step();
    }
    ~Witness() override { restore(); }
    void restore() const { ::setrlimit(RLIMIT_NOFILE, &m_limit); }
    mutable std::string sent;

    std::string listProcesses() const override { return m_kernel.listProcesses(); }
    Pid ownPid() const override { return m_kernel.ownPid(); }
    platform::Timebase timebase() const override { return m_kernel.timebase(); }
    std::optional<platform::ProcessUsage> usage(Pid pid) const override {
        return m_kernel.usage(pid);
    }
    std::optional<std::string> workingDirectory(Pid pid) const override {
        return m_kernel.workingDirectory(pid);
    }
    Signalled terminate(Pid pid, std::uint64_t startTime) const override {
        return log("TERM", m_kernel.terminate(pid, startTime));
    }
    Signalled forceQuit(Pid pid, std::uint64_t startTime) const override {
        return log("KILL", m_kernel.forceQuit(pid, startTime));
    }
    platform::Liveness liveness(Pid pid, std::uint64_t startTime) const override {
        return m_kernel.liveness(pid, startTime);
    }
    std::optional<std::uint32_t> ownUser() const override { return m_kernel.ownUser(); }
    std::int64_t monotonicNanos() const override { return m_kernel.monotonicNanos(); }
    void sleepMicroseconds(std::int64_t micros) const override {
        m_kernel.sleepMicroseconds(micros);
        ++m_sleeps;
        step();
    }

private:
    Signalled log(const char* signal, Signalled outcome) const {
        if (outcome == Signalled::Sent) {
            sent += sent.empty() ? signal : std::string(" ") + signal;
        }
        return outcome;
    }
    void step() const {
        if (m_sleeps == m_until) {
            restore();
        } else if (m_sleeps == m_from) {
            rlimit none = m_limit;
            none.rlim_cur = 0;
            ::setrlimit(RLIMIT_NOFILE, &none);
        }
    }

    const platform::LinuxKernel& m_kernel;
    const int m_from;
    const int m_until;
    rlimit m_limit{};
    mutable int m_sleeps = 0;
};

struct EndCase {
    const char* name;
    bool hidden;     // a /proc that shows no process at all, as hidepid=invisible does
    bool child;      // false: a pid above any pid_max, which no process can hold
    bool deafToTerm; // SIGTERM blocked: only SIGKILL ends it
    int starveFrom;  // see Witness; -1: never
    int starveUntil;
    const char* sent;
    const char* outcome;
    bool leftRunning; // so the command exits with 1
    OMBRIX_NAMED_ROW(EndCase)
};

const EndCase kCases[] = {
    {"NoDescriptorForTheCheck", false, true, false, 0, -1, "", "unknown", true},
    {"DescriptorsRunOutDuringTheGrace", false, true, true, 1, -1, "TERM", "unknown", true},
    {"DescriptorsBackBeforeTheGraceEnds", false, true, true, 1, 3, "TERM KILL", "killed", false},
    {"HiddenByHidepid", true, true, false, -1, -1, "", "unknown", true},
    {"NoProcessHoldsThePid", true, false, false, -1, -1, "", "gone", false},
};

class EndingTest : public ::testing::TestWithParam<EndCase> {};

TEST_P(EndingTest, UnknownIsNeverEndedNorSignalled) {
    const EndCase& c = GetParam();
    char hidden[] = "/tmp/ombrix-hidden-proc-XXXXXX";
    ASSERT_NE(::mkdtemp(hidden), nullptr);
    const platform::LinuxKernel kernel(c.hidden ? hidden : "/proc");
    const platform::LinuxKernel& real =
        static_cast<const platform::LinuxKernel&>(platform::systemKernel());

    testing::ChildOptions options;
    if (c.deafToTerm) {
        options.blockedSignals = {SIGTERM};
    }
    testing::Child child("/bin/sleep", {"sleep", "30"}, options);
    ASSERT_GT(child.pid(), 0);
    const auto usage = real.usage(child.pid());
    ASSERT_TRUE(usage);
    const ProcessRef target{c.child ? child.pid() : Pid(4'194'304 + 1000), usage->startTime};

    std::vector<Ending::Outcome> outcomes;
    {
        const Witness witness(kernel, c.starveFrom, c.starveUntil);
        outcomes = Ending::endAll(witness, witness, {target}, 400ms, 2s);
        witness.restore();
        EXPECT_EQ(witness.sent, c.sent);
    }
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_STREQ(Ending::text(outcomes[0]), c.outcome);
    EXPECT_EQ(Ending::leftRunning(outcomes[0]), c.leftRunning);
    EXPECT_EQ(real.liveness(target.id, target.startTime) == platform::Liveness::Running,
              c.leftRunning);
    std::filesystem::remove(hidden);
}

INSTANTIATE_TEST_SUITE_P(Cases, EndingTest, ::testing::ValuesIn(kCases),
                         ombrix::testing::RowName());

} // namespace
} // namespace ombrix
