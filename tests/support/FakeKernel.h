#pragma once

// A process table, file system and clock that tests set up by hand. The
// listing may be read from another thread, so it is guarded; everything else
// is touched on the test's thread only. Path searches run in a FakeProbe over
// `files` that waits on this clock.

#include "FakeProbe.h"
#include "Kernel.h"

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace ombrix::testing {

class FakeKernel : public platform::Kernel {
public:
    struct Process {
        platform::Pid parent = 1;
        std::optional<platform::ProcessUsage> usage = platform::ProcessUsage{};
        std::optional<std::string> exe;
        std::optional<std::string> cwd;
        std::optional<bool> service = false; // startedAsService()
        platform::Pid session = 0;           // 0: a session of its own (its pid); -1: unreadable
        std::optional<std::uint32_t> owner = 1000;
        std::optional<std::int64_t> startedMs; // startedAtUnixMs()
        bool signalRefused = false;            // terminate() and forceQuit() are not permitted
    };

    // --- what tests set ------------------------------------------------------
    void setListing(std::string text) {
        std::lock_guard lock(m_mutex);
        m_listing = std::move(text);
    }
    std::string listing() const {
        std::lock_guard lock(m_mutex);
        return m_listing;
    }
    std::map<platform::Pid, Process> processes;
    std::set<std::string> files;
    std::string home = "/home/me";
    platform::Pid own = 999;
    std::optional<std::uint32_t> user = 1000; // ownUser(); absent: root
    platform::Timebase base{1, 1};
    std::optional<platform::VmCounters> vm = platform::VmCounters{};
    std::uint64_t page = 4096;
    std::uint64_t physical = 0;
    std::optional<std::uint64_t> swap;
    std::optional<std::int32_t> pressure;
    mutable std::int64_t now = 1'000'000'000;
    mutable std::vector<platform::Pid> terminated;
    mutable std::vector<platform::Pid> killed; // forceQuit()
    mutable std::atomic<int> listCalls = 0;    // counted on the sampling worker
    // The prober's: paths it stops on (until the clock reaches each one's time,
    // FakeProbe::forGood for good), every path it looked at, and how many
    // probers were started.
    FakeProbe::Hangs hangs;
    mutable std::vector<std::string> probed;
    mutable int probers = 0;

    void advance(std::int64_t nanos) { now += nanos; }

    // --- Kernel ------------------------------------------------------------------
    std::string listProcesses() const override {
        std::lock_guard lock(m_mutex);
        ++listCalls;
        return m_listing;
    }
    platform::Pid ownPid() const override { return own; }
    platform::Timebase timebase() const override { return base; }
    std::optional<platform::ProcessUsage> usage(platform::Pid pid) const override {
        auto it = processes.find(pid);
        if (it == processes.end() || !it->second.usage) {
            return std::nullopt;
        }
        platform::ProcessUsage usage = *it->second.usage;
        usage.parent = it->second.parent;
        usage.session = session(pid);
        usage.owner = it->second.owner;
        return usage;
    }
    std::optional<platform::Pid> parent(platform::Pid pid) const override {
        auto it = processes.find(pid);
        if (it == processes.end()) {
            return std::nullopt;
        }
        return it->second.parent;
    }
    std::optional<std::string> executablePath(platform::Pid pid) const override {
        auto it = processes.find(pid);
        return it == processes.end() ? std::nullopt : it->second.exe;
    }
    std::optional<bool> startedAsService(platform::Pid pid) const override {
        auto it = processes.find(pid);
        return it == processes.end() ? std::nullopt : it->second.service;
    }
    std::optional<platform::Pid> session(platform::Pid pid) const override {
        auto it = processes.find(pid);
        const platform::Pid set = it == processes.end() ? 0 : it->second.session;
        return set < 0 ? std::nullopt : std::optional<platform::Pid>(set == 0 ? pid : set);
    }
    std::optional<std::uint32_t> owner(platform::Pid pid) const override {
        auto it = processes.find(pid);
        return it == processes.end() ? std::nullopt : it->second.owner;
    }
    std::optional<std::int64_t> startedAtUnixMs(platform::Pid pid) const override {
        auto it = processes.find(pid);
        return it == processes.end() ? std::nullopt : it->second.startedMs;
    }
    std::optional<std::uint32_t> ownUser() const override { return user; }
    // Like terminate(): a pid the test did not set up is there.
    platform::Liveness liveness(platform::Pid pid, std::uint64_t startTime) const override {
        auto it = processes.find(pid);
        return it == processes.end() ||
                       (it->second.usage && it->second.usage->startTime == startTime)
                   ? platform::Liveness::Running
                   : platform::Liveness::Ended;
    }
    std::optional<std::string> workingDirectory(platform::Pid pid) const override {
        auto it = processes.find(pid);
        return it == processes.end() ? std::nullopt : it->second.cwd;
    }
    // Like the real one, a process set up with another start time gets nothing;
    // a pid the test did not set up stands for a process that is there.
    platform::Signalled terminate(platform::Pid pid, std::uint64_t startTime) const override {
        return signalIfSame(pid, startTime, terminated);
    }
    platform::Signalled forceQuit(platform::Pid pid, std::uint64_t startTime) const override {
        return signalIfSame(pid, startTime, killed);
    }
    bool fileExists(const std::string& path) const override { return files.count(path) > 0; }
    std::string homeDirectory() const override { return home; }
    std::unique_ptr<platform::PathProbe>
    probePaths(std::vector<platform::PathSearch> searches) const override {
        ++probers;
        return std::make_unique<FakeProbe>(std::move(searches), *this, *this, hangs, &probed);
    }
    std::optional<platform::VmCounters> vmStatistics() const override { return vm; }
    std::uint64_t counterUnitBytes() const override { return page; }
    std::uint64_t physicalMemory() const override { return physical; }
    std::optional<std::uint64_t> swapUsed() const override { return swap; }
    std::optional<std::int32_t> pressureLevel() const override { return pressure; }
    std::int64_t monotonicNanos() const override { return now; }
    void sleepMicroseconds(std::int64_t micros) const override { now += micros * 1000; }

private:
    platform::Signalled signalIfSame(platform::Pid pid, std::uint64_t startTime,
                                     std::vector<platform::Pid>& log) const {
        const auto it = processes.find(pid);
        if (it != processes.end() && it->second.signalRefused) {
            return platform::Signalled::NotPermitted;
        }
        if (it == processes.end() ||
            (it->second.usage && it->second.usage->startTime == startTime)) {
            log.push_back(pid);
            return platform::Signalled::Sent;
        }
        return platform::Signalled::Gone;
    }

    mutable std::mutex m_mutex;
    std::string m_listing;
};

} // namespace ombrix::testing
