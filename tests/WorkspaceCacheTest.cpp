// The per-window workspace cache of ProcessMonitor, against a fake process
// table and a resolver whose answers the test hands out when it chooses.

#include "MonitorHarness.h"

#include <QCoreApplication>
#include <QPromise>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace ombrix;

namespace {

constexpr Pid window = 50;

struct PendingQuery {
    QUrl url;
    std::shared_ptr<QPromise<std::optional<QString>>> promise;
};

// Delivers what is already queued: a finished query reaches the monitor as a
// posted event, so after this the monitor has taken every answer given so far.
void deliverQueued() {
    QCoreApplication::sendPostedEvents();
}

// Workspace queries stay out until the test answers them.
struct Cache : ombrix::testing::FakeKernelMonitor {
    std::vector<PendingQuery> queries;

    Cache()
        : FakeKernelMonitor([this](const QUrl& url, std::chrono::milliseconds) {
            auto promise = std::make_shared<QPromise<std::optional<QString>>>();
            promise->start();
            queries.push_back({url, promise});
            return promise->future();
        }) {
        ideWindow(window);
    }

    void process(Pid pid, Pid parent = window) { FakeKernelMonitor::process(pid, 0, 100, parent); }

    // Number of sample() calls so far: each appends exactly one pressure entry, synchronously.
    qsizetype samples() const { return monitor->pressureHistory().size(); }

    // Answers reach the monitor only when the test delivers them.
    void sample() { FakeKernelMonitor::sample(ombrix::testing::Posted::Leave); }

    void answer(std::size_t index, std::optional<QString> root) {
        ASSERT_LT(index, queries.size());
        const qsizetype before = samples();
        queries[index].promise->addResult(root);
        queries[index].promise->finish();
        deliverQueued();
        // A root brings one extra sample; wait until it has applied its listing.
        if (root) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return samples() > before; }, 5000));
        }
    }

    std::optional<QString> workspaceOf(Pid pid) const {
        const auto found = row(pid);
        if (!found) {
            ADD_FAILURE() << "no row for pid " << pid;
            return std::nullopt;
        }
        return found->workspace;
    }
};

const char* const urlA = "ws://127.0.0.1:4001/secretA";
const char* const urlB = "ws://127.0.0.1:4002/secretB";

std::string analyzer(Pid pid, const char* url) {
    return std::to_string(pid) + " /x/dart language-server --dtd-uri=" + url + "\n";
}

} // namespace

// Which listings make a window worth asking, and with which URL.
TEST(WorkspaceCache, queriesStartedForAListing) {
    struct Row {
        const char* name;
        std::string listing;
        std::vector<QString> expectedUrls;
        Pid ownParent = 1;
    };
    const Row rows[] = {
        {"secure scheme accepted",
         analyzer(10, "wss://127.0.0.1:4001/s"),
         {QStringLiteral("wss://127.0.0.1:4001/s")}},
        {"http scheme ignored", analyzer(10, "http://127.0.0.1:4001/s"), {}},
        {"scheme in other case ignored", analyzer(10, "WS://127.0.0.1:4001/s"), {}},
        {"not a URL", analyzer(10, "ws://[::1/s"), {}},
        {"two URLs in one window", analyzer(10, urlA) + analyzer(11, urlB), {}},
        {"same URL twice", analyzer(10, urlA) + analyzer(11, urlA), {QString(urlA)}},
        {"conflict decided over the whole listing",
         analyzer(10, urlA) + analyzer(11, urlB) + analyzer(12, urlA),
         {}},
        {"spaced flag form",
         "10 /x/dart language-server --dtd-uri ws://127.0.0.1:4001/s\n",
         {QStringLiteral("ws://127.0.0.1:4001/s")}},
        // Daemon addresses are read from every listed process, not only watched ones.
        {"unwatched process",
         "10 /usr/bin/node ext.js --dtd-uri=ws://127.0.0.1:4001/s\n",
         {QStringLiteral("ws://127.0.0.1:4001/s")}},
        {"own process",
         "999 /opt/ombrix/ombrix --dtd-uri=ws://127.0.0.1:4001/s\n",
         {QStringLiteral("ws://127.0.0.1:4001/s")},
         window},
        {"no IDE ancestor", "20 /x/dart language-server --dtd-uri=ws://127.0.0.1:4001/s\n", {}},
    };
    for (const Row& row : rows) {
        Cache c;
        c.process(10);
        c.process(11);
        c.process(12);
        c.process(20, 1);
        c.process(999, row.ownParent);
        c.kernel.setListing(row.listing);
        c.sample();
        std::vector<QString> urls;
        for (const auto& q : c.queries) {
            urls.push_back(q.url.toString());
        }
        EXPECT_EQ(urls, row.expectedUrls) << row.name;
        // A second cycle while the first query is still out starts nothing new.
        c.sample();
        EXPECT_EQ(c.queries.size(), row.expectedUrls.size()) << row.name;
    }
}

TEST(WorkspaceCache, foundRootTriggersExactlyOneExtraSampleAndAnEmptyOneNone) {
    struct Row {
        const char* name;
        std::optional<QString> root;
        qsizetype extraSamples;
    };
    const Row rows[] = {
        {"root found", QStringLiteral("/home/me/ws"), 1},
        {"no root", std::nullopt, 0},
    };
    for (const Row& row : rows) {
        Cache c;
        c.process(10);
        c.kernel.setListing(analyzer(10, urlA));
        c.sample();
        ASSERT_EQ(c.queries.size(), 1u) << row.name;
        // Still resolving: the row has no workspace yet.
        EXPECT_FALSE(c.workspaceOf(10)) << row.name;
        const qsizetype before = c.samples();
        c.answer(0, row.root);
        EXPECT_EQ(c.samples() - before, row.extraSamples) << row.name;
        // The extra sample showed the root without waiting for the poll loop.
        EXPECT_EQ(c.workspaceOf(10), row.root) << row.name;
        // Resolved, with or without a path: never asked again while the window stays.
        for (int i = 0; i < 3; ++i) {
            c.sample();
        }
        // One worker reads in order: a stray extra sample has been applied by now.
        EXPECT_EQ(c.samples() - before, row.extraSamples + 3) << row.name;
        EXPECT_EQ(c.queries.size(), 1u) << row.name;
        EXPECT_EQ(c.workspaceOf(10), row.root) << row.name;
    }
}

TEST(WorkspaceCache, failedQueryCountsAsAnEmptyAnswer) {
    Cache c;
    c.process(10);
    c.kernel.setListing(analyzer(10, urlA));
    c.sample();
    ASSERT_EQ(c.queries.size(), 1u);
    const qsizetype before = c.samples();
    c.queries[0].promise.reset(); // dropped unfinished: the future is cancelled
    deliverQueued();
    c.sample();
    EXPECT_EQ(c.samples(), before + 1) << "no extra sample for a failed query";
    EXPECT_EQ(c.queries.size(), 1u);
    EXPECT_FALSE(c.workspaceOf(10));
}

TEST(WorkspaceCache, changedUrlKeepsTheAnswerWithoutAskingAgain) {
    Cache c;
    c.process(10);
    c.kernel.setListing(analyzer(10, urlA));
    c.sample();
    c.answer(0, QStringLiteral("/home/me/ws"));
    c.kernel.setListing(analyzer(10, urlB));
    c.sample();
    EXPECT_EQ(c.queries.size(), 1u);
    EXPECT_EQ(c.workspaceOf(10), QStringLiteral("/home/me/ws"));
}

// A cycle without one clear URL for the window forgets its answer; the next clear one asks again.
TEST(WorkspaceCache, windowLeavingForOneCycleLosesItsEntryAndIsAskedAgain) {
    struct Row {
        const char* name;
        std::string gap; // the listing of the cycle in between
    };
    const Row rows[] = {
        {"conflicting URLs", analyzer(10, urlA) + analyzer(11, urlB)},
        {"URL flag gone", "10 /x/dart language-server\n"},
        {"tooling processes ended", ""},
    };
    for (const Row& row : rows) {
        for (const std::optional<QString>& first :
             {std::optional<QString>(QStringLiteral("/ws")), std::optional<QString>()}) {
            Cache c;
            c.process(10);
            c.process(11);
            c.kernel.setListing(analyzer(10, urlA));
            c.sample();
            c.answer(0, first);
            c.kernel.setListing(row.gap);
            c.sample();
            EXPECT_EQ(c.queries.size(), 1u) << row.name;
            c.kernel.setListing(analyzer(10, urlA));
            c.sample();
            ASSERT_EQ(c.queries.size(), 2u) << row.name;
            EXPECT_FALSE(c.workspaceOf(10)) << row.name << ": old answer must not come back";
            c.answer(1, QStringLiteral("/ws2"));
            EXPECT_EQ(c.workspaceOf(10), QStringLiteral("/ws2")) << row.name;
        }
    }
}

TEST(WorkspaceCache, rowWithItsOwnProjectNeverShowsTheWorkspace) {
    Cache c;
    c.process(10);
    c.process(11);
    c.kernel.processes[11].cwd = "/home/me/app";
    c.kernel.files.insert("/home/me/app/pubspec.yaml");
    c.kernel.setListing(analyzer(10, urlA) + analyzer(11, urlA));
    c.sample();
    c.answer(0, QStringLiteral("/home/me/ws"));
    EXPECT_EQ(c.workspaceOf(10), QStringLiteral("/home/me/ws"));
    EXPECT_FALSE(c.workspaceOf(11));
}

// The monitor goes away while its query is out: the late answer must touch nothing.
TEST(WorkspaceCache, monitorDestroyedWhileAQueryIsOutstanding) {
    struct Row {
        const char* name;
        bool fromOtherThread;
        bool cancel;
    };
    const Row rows[] = {
        {"answered on the main thread", false, false},
        {"answered from another thread", true, false},
        {"cancelled", false, true},
    };
    for (const Row& row : rows) {
        auto c = std::make_unique<Cache>();
        c->process(10);
        c->kernel.setListing(analyzer(10, urlA));
        c->sample();
        ASSERT_EQ(c->queries.size(), 1u) << row.name;
        auto promise = c->queries[0].promise;
        c->queries.clear();
        c->monitor.reset();
        if (row.cancel) {
            promise.reset();
        } else if (row.fromOtherThread) {
            std::thread([promise] {
                promise->addResult(std::optional<QString>(QStringLiteral("/late")));
                promise->finish();
            }).join();
        } else {
            promise->addResult(std::optional<QString>(QStringLiteral("/late")));
            promise->finish();
        }
        deliverQueued();
        EXPECT_EQ(c->kernel.listCalls, 1) << row.name << ": no extra sample after destruction";
    }
}
