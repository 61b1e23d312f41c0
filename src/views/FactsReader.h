#pragma once

// Reads the facts of processes whose details are open, off the UI thread:
// the kernel's facts, then the SDK's version from the file system, which a
// hung mount can hold for ever. At most `maxThreads` reads run at once, each
// on a thread that ends once nothing is queued; a process has at most one
// read queued or running, however often it is asked for, so a hung mount
// holds one thread per process and never more. When no thread can be
// started (the user's process limit reached), the read is answered at once
// with nothing known.
//
// Lives on the UI thread and answers there, through `read`. A read stuck when
// the reader goes is left behind and never answers.

#include "DartProcess.h"
#include "ProcessFacts.h"

#include <QHash>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace ombrix {

class FactsReader : public QObject {
    Q_OBJECT
public:
    static constexpr int maxThreads = 4;

    // The kernel's facts, then (second) the SDK's version; both may block.
    // Empty: the running machine.
    struct Readers {
        std::function<ProcessFacts(const DartProcess&)> facts;
        std::function<void(ProcessFacts&)> sdkVersion;
    };
    // Runs `work` on a new thread; false when none could be started.
    using Starter = std::function<bool(std::function<void()> work)>;

    explicit FactsReader(QObject* parent = nullptr);
    ~FactsReader() override;

    void setReaders(Readers readers);

    // Reads the facts of `process`, or, while a read of it is under way, lets
    // it answer: `read` then repeats at once what that read has found so far.
    void request(const DartProcess& process);

signals:
    // First with the kernel's facts, then again once the version is read.
    void read(const ombrix::ProcessRef& process, const ombrix::ProcessFacts& facts,
              bool versionRead);

private:
    struct Shared;
    struct Found {
        std::optional<ProcessFacts> facts;
        bool versionRead = false;
    };
    static void work(const std::shared_ptr<Shared>& shared);
    void answer(const ProcessRef& process, const ProcessFacts& facts, bool versionRead);

    Readers m_readers;
    std::shared_ptr<Shared> m_shared;
    QHash<ProcessRef, Found> m_underWay;
};

} // namespace ombrix
