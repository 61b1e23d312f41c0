// Ending real processes whose stat cannot be read: no descriptor left (before
// SIGTERM, or for part of the grace), or /proc hiding them as hidepid does.

#include "Ending.h"

#include "ChildProcess.h"
#include "LinuxKernel.h"
#include "NamedRow.h"

#include <climits>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace ombrix {
namespace {

using namespace std::chrono_literals;
constexpr int never = INT_MAX;

// The kernel, whose clock takes away every descriptor from its `from`th sleep
// (0: at once) up to its `until`th.
class Starved : public platform::LinuxKernel {
public:
    Starved(std::string proc, int from, int until)
        : LinuxKernel(std::move(proc))
        , m_from(from)
        , m_until(until) {
        ::getrlimit(RLIMIT_NOFILE, &m_limit);
        // UBSan checks a type on its first call through it with a pipe:
        // make those calls while there are descriptors.
        static_cast<const platform::Clock&>(*this).monotonicNanos();
        static_cast<const platform::ProcessTable&>(*this).liveness(::getpid(), 0);
        step();
    }
    ~Starved() override { ::setrlimit(RLIMIT_NOFILE, &m_limit); }

    void sleepMicroseconds(std::int64_t micros) const override {
        LinuxKernel::sleepMicroseconds(micros);
        ++m_sleeps;
        step();
    }

private:
    void step() const {
        rlimit now = m_limit;
        now.rlim_cur = m_sleeps >= m_from && m_sleeps < m_until ? 0 : m_limit.rlim_cur;
        ::setrlimit(RLIMIT_NOFILE, &now);
    }

    const int m_from;
    const int m_until;
    rlimit m_limit{};
    mutable int m_sleeps = 0;
};

struct EndCase {
    const char* name;
    bool hidden;     // a /proc that shows no process, as hidepid=invisible does
    bool child;      // false: a pid above any pid_max, which no process can hold
    bool deafToTerm; // SIGTERM blocked
    int starveFrom;
    int starveUntil;
    const char* outcome;
    bool leftRunning; // and so the command's exit status is 1
    OMBRIX_NAMED_ROW(EndCase)
};

const EndCase kCases[] = {
    {"NoDescriptorForTheCheck", false, true, false, 0, never, "unknown", true},
    {"DescriptorsRunOutInTheGrace", false, true, true, 1, never, "unknown", true},
    {"DescriptorsBackBeforeTheGraceEnds", false, true, true, 1, 3, "killed", false},
    {"HiddenByHidepid", true, true, false, never, never, "unknown", true},
    {"NoProcessHoldsThePid", true, false, false, never, never, "gone", false},
};

class EndingTest : public ::testing::TestWithParam<EndCase> {};

TEST_P(EndingTest, UnknownIsNeverEndedNorSignalled) {
    const EndCase& c = GetParam();
    char hidden[] = "/tmp/ombrix-hidden-proc-XXXXXX";
    ASSERT_NE(::mkdtemp(hidden), nullptr);
    testing::ChildOptions options;
    options.blockedSignals = c.deafToTerm ? std::vector<int>{SIGTERM} : std::vector<int>{};
    testing::Child child("/bin/sleep", {"sleep", "30"}, options);
    const auto usage = platform::systemKernel().usage(child.pid());
    ASSERT_TRUE(usage);
    const ProcessRef target{c.child ? child.pid() : 4'195'304, usage->startTime};

    std::vector<Ending::Outcome> outcomes;
    {
        const Starved kernel(c.hidden ? hidden : "/proc", c.starveFrom, c.starveUntil);
        outcomes = Ending::endAll(kernel, kernel, {target}, 400ms, 2s);
    }
    EXPECT_STREQ(Ending::text(outcomes.at(0)), c.outcome);
    EXPECT_EQ(Ending::leftRunning(outcomes.at(0)), c.leftRunning);
    EXPECT_EQ(platform::systemKernel().liveness(target.id, target.startTime) ==
                  platform::Liveness::Running,
              c.leftRunning);
    ::rmdir(hidden);
}

INSTANTIATE_TEST_SUITE_P(Cases, EndingTest, ::testing::ValuesIn(kCases),
                         ombrix::testing::RowName());

} // namespace
} // namespace ombrix
