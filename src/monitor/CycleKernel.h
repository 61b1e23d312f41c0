#pragma once

// A kernel seen through one sampling cycle: each process's parent and
// executable are read at most once, however many rows walk up through them.
// Siblings under one IDE window or one shell share their whole ancestry, so a
// cycle over N watched processes reads O(N) entries instead of O(N x depth).
//
// Lives for one cycle only (a pid may be reused or re-parented later) and on
// one thread; everything else is passed straight to the wrapped kernel, which
// must outlive it.

#include "Kernel.h"

#include <optional>
#include <string>
#include <unordered_map>

namespace ombrix {

class CycleKernel final : public platform::Kernel {
public:
    explicit CycleKernel(const platform::Kernel& kernel)
        : m_kernel(kernel) {}

    std::optional<platform::Pid> parent(platform::Pid pid) const override;
    std::optional<std::string> executablePath(platform::Pid pid) const override;

    std::string listProcesses() const override { return m_kernel.listProcesses(); }
    platform::Pid ownPid() const override { return m_kernel.ownPid(); }
    platform::Timebase timebase() const override { return m_kernel.timebase(); }
    std::optional<platform::ProcessUsage> usage(platform::Pid pid) const override {
        return m_kernel.usage(pid);
    }
    std::optional<std::string> workingDirectory(platform::Pid pid) const override {
        return m_kernel.workingDirectory(pid);
    }
    std::string deletedCheck(platform::Pid pid, const std::string& cwd) const override {
        return m_kernel.deletedCheck(pid, cwd);
    }
    void terminate(platform::Pid pid, std::uint64_t startTime) const override {
        m_kernel.terminate(pid, startTime);
    }
    bool fileExists(const std::string& path) const override { return m_kernel.fileExists(path); }
    std::unique_ptr<platform::PathProbe>
    probePaths(std::vector<platform::PathSearch> searches) const override {
        return m_kernel.probePaths(std::move(searches));
    }
    std::string homeDirectory() const override { return m_kernel.homeDirectory(); }
    std::optional<platform::VmCounters> vmStatistics() const override {
        return m_kernel.vmStatistics();
    }
    std::uint64_t pageSize() const override { return m_kernel.pageSize(); }
    std::uint64_t physicalMemory() const override { return m_kernel.physicalMemory(); }
    std::optional<std::uint64_t> swapUsed() const override { return m_kernel.swapUsed(); }
    std::optional<std::int32_t> pressureLevel() const override { return m_kernel.pressureLevel(); }
    std::int64_t monotonicNanos() const override { return m_kernel.monotonicNanos(); }
    void sleepMicroseconds(std::int64_t micros) const override {
        m_kernel.sleepMicroseconds(micros);
    }

private:
    const platform::Kernel& m_kernel;
    mutable std::unordered_map<platform::Pid, std::optional<platform::Pid>> m_parents;
    mutable std::unordered_map<platform::Pid, std::optional<std::string>> m_executables;
};

} // namespace ombrix
