#pragma once

// What a process's details show beyond its row, read from the machine once
// when they open: executable, working directory, the Dart SDK's version,
// parent, start and user. Reading touches the file system (the
// SDK's version file can sit on a mount that hangs), so never on the UI
// thread: read() blocks for as long as the file system does. Absent fields
// could not be read.

#include "DartProcess.h"
#include "Kernel.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace ombrix {

struct ProcessFacts {
    struct Named {
        Pid pid = 0;
        QString name;
        friend bool operator==(const Named&, const Named&) = default;
    };

    std::optional<QString> executable;
    std::optional<QString> workingDirectory;
    bool inSdk = false;                // the executable lies in a Dart SDK (bin/../version)
    std::optional<QString> sdkVersion; // its version, when that file reads as one
    std::optional<Named> parent;       // none: unreadable, or `parentEnded`
    bool parentEnded = false;
    std::optional<qint64> startedAtUnixMs;
    std::optional<QString> user;

    friend bool operator==(const ProcessFacts&, const ProcessFacts&) = default;

    // Reads what the kernel tells of `process` (its leftover mark says whether
    // its parent ended); nothing when the pid now names another process.
    static ProcessFacts read(const platform::Kernel& kernel, const DartProcess& process);
    // Then the SDK's version, from the file system: may block.
    static void readSdkVersion(ProcessFacts& facts);
    // Where the SDK's "version" file would be for a dart executable in a bin/
    // folder (dart-sdk/bin/dart, also inside Flutter's cache); none otherwise.
    static std::optional<QString> sdkVersionFile(const QString& executable);
    // The version a file holds: one short line of version characters, or none
    // for anything else (binary, huge, empty, several lines).
    static std::optional<QString> parseVersion(const QByteArray& head, bool whole);
    static constexpr qint64 versionReadLimit = 256;
};

} // namespace ombrix
