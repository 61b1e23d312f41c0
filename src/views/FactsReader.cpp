#include "FactsReader.h"

#include "Kernel.h"
#include "ThreadHandoff.h"

#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace ombrix {

struct FactsReader::Shared {
    struct Job {
        DartProcess process;
        Readers readers;
    };

    std::mutex lock;
    std::deque<Job> queue;
    int threads = 0;
    FactsReader* reader = nullptr; // null once the reader is gone

    // Hands a result to the reader's thread, unless the reader is gone.
    void post(const ProcessRef& process, const ProcessFacts& facts, bool versionRead) {
        const std::lock_guard<std::mutex> hold(lock);
        if (reader == nullptr) {
            return;
        }
        auto result = std::make_shared<const ProcessFacts>(facts);
        platform::handOff(result.get());
        FactsReader* to = reader;
        // Queued on `to` itself: a reader destroyed first drops the event.
        QMetaObject::invokeMethod(
            to,
            [to, process, result, versionRead] {
                platform::takeOver(result.get());
                to->answer(process, *result, versionRead);
            },
            Qt::QueuedConnection);
    }
};

FactsReader::FactsReader(QObject* parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>()) {
    m_shared->reader = this;
    setReaders({});
}

FactsReader::~FactsReader() {
    const std::lock_guard<std::mutex> hold(m_shared->lock);
    m_shared->reader = nullptr;
    m_shared->queue.clear();
}

void FactsReader::setReaders(Readers readers) {
    if (!readers.facts) {
        readers.facts = [](const DartProcess& p) {
            return ProcessFacts::read(platform::systemKernel(), p);
        };
    }
    if (!readers.sdkVersion) {
        readers.sdkVersion = &ProcessFacts::readSdkVersion;
    }
    m_readers = std::move(readers);
}

void FactsReader::request(const DartProcess& process) {
    const ProcessRef ref{process.id, process.startTime};
    if (const auto found = m_underWay.constFind(ref); found != m_underWay.constEnd()) {
        if (found->facts) {
            emit read(ref, *found->facts, found->versionRead);
        }
        return;
    }
    m_underWay.insert(ref, {});
    bool started = true;
    {
        std::unique_lock<std::mutex> hold(m_shared->lock);
        m_shared->queue.push_back({process, m_readers});
        if (m_shared->threads < maxThreads) {
            ++m_shared->threads;
            hold.unlock();
            try {
                std::thread([shared = m_shared] { work(shared); }).detach();
            } catch (const std::system_error&) {
                started = false;
            }
            hold.lock();
            if (!started) {
                --m_shared->threads;
            }
        }
        // A busy thread takes the job once it is free; with none, nobody would.
        if (m_shared->threads > 0) {
            return;
        }
        m_shared->queue.clear();
    }
    answer(ref, ProcessFacts{}, true);
}

void FactsReader::work(const std::shared_ptr<Shared>& shared) {
    for (;;) {
        Shared::Job job;
        {
            const std::lock_guard<std::mutex> hold(shared->lock);
            if (shared->reader == nullptr || shared->queue.empty()) {
                --shared->threads;
                return;
            }
            job = std::move(shared->queue.front());
            shared->queue.pop_front();
        }
        const ProcessRef ref{job.process.id, job.process.startTime};
        ProcessFacts facts = job.readers.facts(job.process);
        shared->post(ref, facts, false);
        job.readers.sdkVersion(facts);
        shared->post(ref, facts, true);
    }
}

void FactsReader::answer(const ProcessRef& process, const ProcessFacts& facts, bool versionRead) {
    if (versionRead) {
        m_underWay.remove(process);
    } else {
        m_underWay.insert(process, {facts, false});
    }
    emit read(process, facts, versionRead);
}

} // namespace ombrix
