// history_bench: what the usage history holds for 1,000 watched processes
// after an hour and ten minutes of samples every 2 s (each one's series
// full), while 50,000 processes of another user are listed beside them,
// measured as heap in use (mallinfo2) before and after, against the 10 MB
// target; and what one sample's record and growth check cost then.
// The last line is "ratio: X", the heap over the target; at most 1.0.

#include "DartProcess.h"
#include "GrowthRule.h"
#include "UsageHistory.h"

#include <QList>
#include <chrono>
#include <cstdio>
#include <malloc.h>

int main() {
    constexpr int processes = 1000;
    constexpr int others = 50'000;
    constexpr qint64 stepMs = 2000;
    constexpr qint64 spanMs = 70 * 60 * 1000;
    constexpr double targetBytes = 10.0 * 1000 * 1000;

    QList<ombrix::DartProcess> rows;
    for (int i = 0; i < processes; ++i) {
        ombrix::DartProcess p;
        p.id = 10'000 + i;
        p.startTime = quint64(i) * 7;
        rows.append(p);
    }
    for (int i = 0; i < others; ++i) {
        ombrix::DartProcess p;
        p.id = 100'000 + i;
        p.ownedByUser = false;
        rows.append(p);
    }

    const size_t before = mallinfo2().uordblks;
    auto* history = new ombrix::UsageHistory;
    qint64 at = 0;
    int samples = 0;
    for (; at < spanMs; at += stepMs, ++samples) {
        for (int i = 0; i < processes; ++i) {
            rows[i].memoryBytes = (quint64(500 + i) << 20) + quint64(at) * 1024;
            rows[i].cpuPercent = double(i % 100);
        }
        history->record(rows, at);
    }
    const double held = double(mallinfo2().uordblks - before);

    // One more sample with every series full: record plus the rule for each row.
    constexpr int timed = 20;
    const auto start = std::chrono::steady_clock::now();
    size_t growing = 0;
    for (int s = 0; s < timed; ++s, at += stepMs) {
        history->record(rows, at);
        for (int i = 0; i < processes; ++i) {
            const auto* series = history->series({rows[i].id, rows[i].startTime});
            growing += ombrix::GrowthRule::growth(*series, {}).has_value();
        }
    }
    const double perSampleMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count() /
        timed;
    const auto* series = history->series({rows[0].id, rows[0].startTime});
    std::printf("%d processes (and %d of another user, %lld series in all), %d samples 2 s "
                "apart: %lld points each\n",
                processes, others, static_cast<long long>(history->count()), samples,
                static_cast<long long>(series->size()));
    std::printf("heap held: %.2f MB (%.1f bytes a point), target %.1f MB\n", held / 1e6,
                held / double(processes) / double(series->size()), targetBytes / 1e6);
    std::printf("one sample of %d rows, record and growth check: %.3f ms (%zu growing)\n",
                processes + others, perSampleMs, growing / timed);
    std::printf("ratio: %.3f\n", held / targetBytes);
    delete history;
    return 0;
}
