#include "ProcParsers.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace ombrix::platform::proc {

namespace {

template <typename T> std::optional<T> toNumber(std::string_view s) {
    T value{};
    const char* end = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(s.data(), end, value);
    if (ec != std::errc{} || ptr != end || s.empty()) {
        return std::nullopt;
    }
    return value;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// Splits off the next blank-separated token of `rest`; empty when none is left.
std::string_view nextToken(std::string_view& rest) {
    std::size_t start = 0;
    while (start < rest.size() && isBlank(rest[start])) {
        ++start;
    }
    std::size_t end = start;
    while (end < rest.size() && !isBlank(rest[end])) {
        ++end;
    }
    const std::string_view token = rest.substr(start, end - start);
    rest.remove_prefix(end);
    return token;
}

std::string_view nextLine(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    return line;
}

// Calls `use(key, number)` for each "Key:   123 kB" line whose value is a number.
template <typename F> void forEachKeyedNumber(std::string_view text, F use) {
    while (!text.empty()) {
        const std::string_view line = nextLine(text);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        std::string_view rest = line.substr(colon + 1);
        if (const auto value = toNumber<std::uint64_t>(nextToken(rest))) {
            use(line.substr(0, colon), *value);
        }
    }
}

std::uint64_t minusClamped(std::uint64_t a, std::uint64_t b) {
    return a > b ? a - b : 0;
}

} // namespace

std::optional<Stat> parseStat(std::string_view text) {
    // The command name (field 2) is written raw between parentheses and may
    // itself hold ")", spaces or ") (": only the last ")" ends it.
    const std::size_t close = text.rfind(')');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = text.substr(close + 1);
    // Fields numbered as in proc(5); field 3 is the first after the name.
    std::array<std::string_view, 13> fields; // fields 3..15
    for (auto& field : fields) {
        field = nextToken(rest);
        if (field.empty()) {
            return std::nullopt; // truncated
        }
    }
    const auto parent = toNumber<Pid>(fields[4 - 3]);            // (4) ppid
    const auto user = toNumber<std::uint64_t>(fields[14 - 3]);   // (14) utime
    const auto system = toNumber<std::uint64_t>(fields[15 - 3]); // (15) stime
    const auto session = toNumber<Pid>(fields[6 - 3]);           // (6) session
    if (fields[0].size() != 1 || !parent || !user || !system) {  // (3) state
        return std::nullopt;
    }
    // (22) starttime: with the pid it names one process, so a reused pid is told apart.
    std::uint64_t start = 0;
    for (int field = 16; field <= 22; ++field) {
        const std::string_view token = nextToken(rest);
        if (field == 22) {
            start = toNumber<std::uint64_t>(token).value_or(0);
        }
    }
    return Stat{*parent, *user, *system, start, session, fields[0][0]};
}

bool inServiceUnit(std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        // hierarchy-id:controllers:path; the path itself may hold colons.
        const std::size_t first = line.find(':');
        const std::size_t second =
            first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos) {
            continue;
        }
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const bool unified = line.substr(0, first) == "0" && controllers.empty();
        if (!unified && controllers != "name=systemd") {
            continue;
        }
        std::string_view path = line.substr(second + 1);
        while (path.size() > 1 && path.back() == '/') {
            path.remove_suffix(1);
        }
        const std::string_view unit = path.substr(path.rfind('/') + 1);
        if (unit.size() > 8 && unit.ends_with(".service")) {
            return true;
        }
    }
    return false;
}

StatusMemory parseStatus(std::string_view text) {
    // Four of some fifty lines, read once per watched process and sample:
    // find them rather than walk every line.
    const auto first = [text](std::string_view keyColon) -> std::string_view {
        for (std::size_t at = text.find(keyColon); at != std::string_view::npos;
             at = text.find(keyColon, at + 1)) {
            if (at == 0 || text[at - 1] == '\n') {
                std::string_view rest = text.substr(at + keyColon.size());
                rest = rest.substr(0, rest.find('\n'));
                return nextToken(rest);
            }
        }
        return {};
    };
    const auto kib = [&first](std::string_view keyColon) {
        return toNumber<std::uint64_t>(first(keyColon)).value_or(0);
    };
    StatusMemory m;
    m.rssAnonKiB = kib("RssAnon:");
    m.vmSwapKiB = kib("VmSwap:");
    m.vmPteKiB = kib("VmPTE:");
    m.realUid = toNumber<std::uint32_t>(first("Uid:"));
    return m;
}

std::optional<MemInfo> parseMeminfo(std::string_view text) {
    MemInfo m;
    bool haveTotal = false;
    forEachKeyedNumber(text, [&](std::string_view key, std::uint64_t kib) {
        if (key == "MemTotal") {
            m.memTotal = kib;
            haveTotal = true;
        } else if (key == "MemFree") {
            m.memFree = kib;
        } else if (key == "AnonPages") {
            m.anonPages = kib;
        } else if (key == "Shmem") {
            m.shmem = kib;
        } else if (key == "Active(file)") {
            m.activeFile = kib;
        } else if (key == "Inactive(file)") {
            m.inactiveFile = kib;
        } else if (key == "Zswap") {
            m.zswap = kib;
        } else if (key == "KReclaimable") {
            m.kReclaimable = kib;
        }
    });
    if (!haveTotal) {
        return std::nullopt;
    }
    return m;
}

VmCounters vmCountersFrom(const MemInfo& info, std::uint64_t zramUsedBytes) {
    VmCounters c;
    c.internal = info.anonPages + info.shmem;
    c.external = info.activeFile + info.inactiveFile;
    c.compressor = info.zswap + zramUsedBytes / 1024;
    c.purgeable = 0; // Linux has no volatile (purgeable) anonymous memory
    // The counters are read at slightly different instants, so the remainder
    // can come out negative on a busy machine: clamp rather than wrap.
    std::uint64_t wire = minusClamped(info.memTotal, info.memFree);
    wire = minusClamped(wire, c.internal);
    wire = minusClamped(wire, c.external);
    wire = minusClamped(wire, c.compressor);
    c.wire = minusClamped(wire, info.kReclaimable);
    return c;
}

std::optional<std::uint64_t> parseSwaps(std::string_view text) {
    std::string_view header = nextLine(text);
    if (nextToken(header) != "Filename") {
        return std::nullopt;
    }
    std::uint64_t usedKiB = 0;
    while (!text.empty()) {
        std::string_view row = nextLine(text);
        // Blanks inside a file name are written as \040, so splitting is safe.
        const std::string_view device = nextToken(row);
        nextToken(row); // type
        nextToken(row); // size
        const auto used = toNumber<std::uint64_t>(nextToken(row));
        if (!used) {
            continue;
        }
        constexpr std::string_view zram = "/dev/zram";
        const bool isZram = device.substr(0, zram.size()) == zram &&
                            toNumber<unsigned>(device.substr(zram.size())).has_value();
        if (!isZram) {
            usedKiB += *used;
        }
    }
    return usedKiB * 1024;
}

std::optional<std::int32_t> parsePressure(std::string_view text) {
    std::optional<bool> someHigh;
    std::optional<bool> fullHigh;
    while (!text.empty()) {
        std::string_view line = nextLine(text);
        const std::string_view kind = nextToken(line);
        constexpr std::string_view key = "avg10=";
        const std::string_view avg10 = nextToken(line);
        if (avg10.substr(0, key.size()) != key) {
            continue;
        }
        // Compared on the integer part, "12.34": no locale-dependent float parsing.
        const std::string_view value = avg10.substr(key.size());
        const auto whole = toNumber<std::uint64_t>(value.substr(0, value.find('.')));
        if (!whole) {
            continue;
        }
        if (kind == "some") {
            someHigh = *whole >= 10;
        } else if (kind == "full") {
            fullHigh = *whole >= 10;
        }
    }
    if (!someHigh && !fullHigh) {
        return std::nullopt;
    }
    if (fullHigh.value_or(false)) {
        return 4;
    }
    return someHigh.value_or(false) ? 2 : 1;
}

std::optional<std::uint64_t> parseZramMmStat(std::string_view text) {
    nextToken(text); // orig_data_size
    nextToken(text); // compr_data_size
    return toNumber<std::uint64_t>(nextToken(text));
}

} // namespace ombrix::platform::proc
