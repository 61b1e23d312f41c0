#pragma once

// POSIX calls both backends make the same way. Standard C++ and POSIX only.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace ombrix::platform::posix {

// How readToEnd() finds the end.
enum class ReadEnd {
    // A read of 0 bytes: pipes and ordinary files.
    Eof,
    // A /proc file is generated whole on each read from offset 0, so a read
    // shorter than the buffer is the end: one call, not two. Reads with pread
    // from 0, so a descriptor kept open can be read again.
    ShortRead,
};

// The whole content of `fd`, or nothing when a read fails (ESRCH: the process
// went away) or the text grows past `limit`, which no file we understand does.
// Does not close `fd`.
std::optional<std::string> readToEnd(int fd, std::size_t limit, ReadEnd end = ReadEnd::Eof);

// May block for as long as the file system holding `path` does.
bool fileExists(const std::string& path);

// The passwd entry of the real uid, then $HOME, then "".
std::string homeDirectory();

// Blocks the calling thread; resumes after signals.
void sleepMicroseconds(std::int64_t micros);

} // namespace ombrix::platform::posix
