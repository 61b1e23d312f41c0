#pragma once

// Client of an IDE window's Dart Tooling Daemon: one WebSocket, one JSON-RPC
// request for the window's workspace roots, the first root as a path. Every
// failure is an absent root.
//
// Free functions, no instances. The one piece of state is hidden behind
// workspaceRoot(): the worker thread whose event loop runs every exchange's
// socket and timer, started on first use and stopped with the application
// (or at exit). Callers share it and never see it; secret() and firstRoot()
// are pure.

#include <QFuture>
#include <QString>
#include <QUrl>
#include <chrono>
#include <cstdint>
#include <optional>

namespace ombrix::WorkspaceResolver {

// A reply larger than this (UTF-8 bytes, over all its frames) is a receive
// failure. Everything the daemon sends after the upgrade (frame headers, pings,
// pongs, the reply) counts against the two together; once they are spent the
// exchange ends as a failure, so at most about this much is ever buffered.
inline constexpr std::int64_t maxReplyBytes = 4 * 1024 * 1024;
inline constexpr std::int64_t maxReplyOverheadBytes = 64 * 1024;

// Races one exchange against `timeout`. Callable from any thread, also one that
// blocks afterwards: the exchange runs on the resolver's own worker thread (one
// for all exchanges, started on first use, stopped when the QCoreApplication
// goes away or the program exits) and needs no other event loop. The future
// always finishes, exactly once, on that thread, within about `timeout`, with
// one result (none on every failure); it never throws. Cancelling the future
// ends the exchange early. The connection is closed (1001, no reason) on every
// way out, also when the timer wins. A host name is looked up on a thread that
// is left behind, not waited for, when the exchange ends first, so neither the
// caller nor the program's exit waits on a resolver that never answers.
QFuture<std::optional<QString>> workspaceRoot(const QUrl& dtd, std::chrono::milliseconds timeout);

// The request's secret: the URL path, percent-decoded, without leading and trailing "/".
QString secret(const QUrl& dtd);

// The first workspace root of a reply, as an absolute, normalised path ("/" for
// the root). Only a local file URL counts: scheme "file", host empty or
// "localhost", absolute path, no segment that decodes to "/" or NUL.
std::optional<QString> firstRoot(const QString& reply);

// What the worker thread still holds, for leak checks. Blocks until the worker
// answers; all zero when no worker runs. Not for the worker thread itself.
struct LiveObjects {
    int exchanges = 0;
    int sockets = 0;
    int timers = 0;
};
LiveObjects liveObjects();

} // namespace ombrix::WorkspaceResolver
