// Which files in the daemons' directory give an address: real files, locked by
// this test (not the reader), judged against a fake process table.

#include "DaemonFiles.h"

#include "FakeKernel.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using namespace ombrix;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t epoch = 1780000000000; // the fixtures' own

enum class Kind { Locked, Unlocked, Fifo, LinkToZero, Gigabyte, WrittenLate };

struct Row {
    const char* name;
    const char* fixture; // under fixtures/dtd; "@PID@" stands for the file's name
    Kind kind = Kind::Locked;
    std::optional<std::int64_t> startedAfterEpochMs = -60'000; // none: no such process
    bool ownersProcess = true;
    const char* url = nullptr; // the address given, or none
};

std::string fixture(const char* name, platform::Pid pid) {
    std::ifstream in(fs::path(OMBRIX_FIXTURES) / "dtd" / name, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const std::size_t at = text.find("@PID@");
    return at == std::string::npos ? text
                                   : text.substr(0, at) + std::to_string(pid) + text.substr(at + 5);
}

TEST(DaemonFiles, OnlyALockedFileOfALiveDaemonOfOursGivesItsAddress) {
    const char* ws = "ws://127.0.0.1:41234/Xy3_kQ2aTzE=";
    const Row rows[] = {
        {"a running daemon", "valid.json", Kind::Locked, -60'000, true, ws},
        {"a secure address", "secure.json", Kind::Locked, -60'000, true,
         "wss://localhost:8443/Xy3_kQ2aTzE="},
        {"started within the second of slack", "valid.json", Kind::Locked, 900, true, ws},
        {"an epoch at the end of the range", "last-epoch.json", Kind::Locked, -60'000, true, ws},
        {"its pid reused by a later process", "valid.json", Kind::Locked, 5'000},
        {"another user's process", "valid.json", Kind::Locked, -60'000, false},
        {"no such process", "valid.json", Kind::Locked, std::nullopt},
        {"lock free: the daemon died", "valid.json", Kind::Unlocked},
        {"not a WebSocket address", "http-address.json"},
        {"an address that does not parse", "unparsable-address.json"},
        {"another pid inside", "other-pid.json"},
        {"the pid as text", "pid-as-text.json"},
        {"numbers beyond any integer", "huge-numbers.json"},
        {"cut off", "truncated.json"},
        {"an array, not an object", "top-level-array.json"},
        {"nested past the parser's depth", "deep-nesting.json"},
        {"a FIFO", "valid.json", Kind::Fifo},
        {"a symlink to /dev/zero", "valid.json", Kind::LinkToZero},
        {"a 1 GB file", "valid.json", Kind::Gigabyte},
        // Created and locked, then written: the directory does not change again.
        {"written after a look", "valid.json", Kind::WrittenLate, -60'000, true, ws},
    };

    const fs::path dir = fs::temp_directory_path() / ("ombrix-dtd-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    ombrix::testing::FakeKernel kernel;
    std::vector<int> locks; // closing one would drop its lock
    platform::Pid pid = 4100;
    for (const Row& row : rows) {
        ++pid;
        const std::string path = (dir / std::to_string(pid)).string();
        if (row.kind == Kind::Fifo) {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        } else if (row.kind == Kind::LinkToZero) {
            fs::create_symlink("/dev/zero", path);
        } else {
            std::ofstream(path, std::ios::binary)
                << (row.kind == Kind::WrittenLate ? "" : fixture(row.fixture, pid));
        }
        if (row.kind != Kind::Unlocked && row.kind != Kind::Fifo && row.kind != Kind::LinkToZero) {
            const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            ASSERT_EQ(::fcntl(fd, F_SETLK, &lock), 0) << row.name;
            if (row.kind == Kind::Gigabyte) {
                ASSERT_EQ(::ftruncate(fd, off_t(1) << 30), 0);
            }
            locks.push_back(fd);
        }
        if (row.startedAfterEpochMs) {
            ombrix::testing::FakeKernel::Process process;
            process.owner = ::geteuid() + (row.ownersProcess ? 0 : 1);
            process.startedMs = epoch + *row.startedAfterEpochMs;
            kernel.processes[pid] = process;
        }
    }

    // A crowd of leftovers: none is locked, and none hides the rows.
    for (int junk = 100000; junk < 110000; ++junk) {
        std::ofstream(dir / std::to_string(junk)) << "{}";
    }

    DaemonFiles files(dir.string());
    files.live(kernel, std::chrono::seconds(30));
    // Through the lock's own descriptor: closing another would drop the lock.
    const std::string late = fixture("valid.json", pid);
    ASSERT_EQ(::write(locks.back(), late.data(), late.size()), ssize_t(late.size()));
    std::map<platform::Pid, std::string> found;
    for (const AnnouncedDaemon& daemon : files.live(kernel, std::chrono::seconds(30))) {
        found[daemon.pid] = daemon.url.toString().toStdString();
    }
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(found[4101 + platform::Pid(i)], rows[i].url ? rows[i].url : "") << rows[i].name;
    }
    std::for_each(locks.begin(), locks.end(), ::close);
    fs::remove_all(dir);
}

} // namespace
