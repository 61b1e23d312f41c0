#pragma once

// Client of an IDE window's Dart Tooling Daemon: one WebSocket, one JSON-RPC
// request for the window's workspace roots, the first root as a path.
// A namespace without state; every failure is an absent root.

#include <QFuture>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

namespace ombrix::WorkspaceResolver {

// Races one exchange against `timeout`. The exchange runs on the resolver's own
// worker thread (one for all exchanges); the future finishes on that thread,
// within about `timeout`, and never throws. The connection is closed (1001, no
// reason) on every way out, also when the timer wins.
QFuture<std::optional<QString>> workspaceRoot(const QUrl& dtd, std::chrono::milliseconds timeout);

// The request's secret: the URL path, percent-decoded, without leading and trailing "/".
QString secret(const QUrl& dtd);

// The first workspace root of a reply, as an absolute path ("/" for the root).
std::optional<QString> firstRoot(const QString& reply);

} // namespace ombrix::WorkspaceResolver
