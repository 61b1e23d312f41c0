#pragma once

// A path prober that answers from a file set instead of a child process, in
// search order and stat()ing a path once per batch, like the real one. It
// waits on an injected clock: a wait that has nothing to give is a
// sleepMicroseconds() there, which a mock clock turns into an advance, so a
// stuck prober costs a test no real time. A path in `hangs` holds it, as a
// mount that stops answering holds the real child, until the clock reaches
// that path's time. No guard is ever taken as deleted.
//
// Used on one thread; `files`, `clock`, `hangs` and `probed` must outlive it.

#include "Kernel.h"
#include "PathProbe.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace ombrix::testing {

class FakeProbe final : public platform::PathProbe {
public:
    // Path -> clock nanoseconds from which it answers again.
    using Hangs = std::map<std::string, std::int64_t>;
    static constexpr std::int64_t forGood = std::numeric_limits<std::int64_t>::max();

    // `probed`, when given, logs every path looked at, in order.
    FakeProbe(std::vector<platform::PathSearch> searches, const platform::Files& files,
              const platform::Clock& clock, const Hangs& hangs,
              std::vector<std::string>* probed = nullptr)
        : m_searches(std::move(searches))
        , m_files(files)
        , m_clock(clock)
        , m_hangs(hangs)
        , m_probed(probed) {}

    std::vector<platform::PathAnswer> collect(std::chrono::milliseconds wait) override {
        std::vector<platform::PathAnswer> answers;
        const std::int64_t deadline =
            m_clock.monotonicNanos() + std::chrono::nanoseconds(wait).count();
        for (;;) {
            const std::int64_t now = m_clock.monotonicNanos();
            const std::int64_t heldUntil = answerUntilHeld(now, answers);
            if (pending() == 0 || now >= deadline) {
                return answers;
            }
            const std::int64_t until = std::min(deadline, heldUntil);
            m_clock.sleepMicroseconds((until - now + 999) / 1000);
        }
    }

    std::size_t pending() const override { return m_searches.size() - m_next; }

private:
    // Answers in order up to a held path; returns when that one answers again.
    std::int64_t answerUntilHeld(std::int64_t now, std::vector<platform::PathAnswer>& answers) {
        for (; m_next < m_searches.size(); ++m_next) {
            const std::vector<std::string>& paths = m_searches[m_next].paths;
            platform::PathAnswer answer{m_next, std::nullopt, false};
            for (std::size_t i = 0; i < paths.size() && !answer.found; ++i) {
                auto known = m_known.find(paths[i]);
                if (known == m_known.end()) {
                    const auto hang = m_hangs.find(paths[i]);
                    if (hang != m_hangs.end() && now < hang->second) {
                        return hang->second;
                    }
                    known = m_known.emplace(paths[i], m_files.fileExists(paths[i])).first;
                    if (m_probed != nullptr) {
                        m_probed->push_back(paths[i]);
                    }
                }
                if (known->second) {
                    answer.found = i;
                }
            }
            answers.push_back(answer);
        }
        return forGood;
    }

    std::vector<platform::PathSearch> m_searches;
    const platform::Files& m_files;
    const platform::Clock& m_clock;
    const Hangs& m_hangs;
    std::vector<std::string>* m_probed;
    std::map<std::string, bool> m_known;
    std::size_t m_next = 0;
};

} // namespace ombrix::testing
