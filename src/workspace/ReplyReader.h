#pragma once

// The daemon's side of one WebSocket exchange after the upgrade, read frame by
// frame: at most one text message comes out. Pure and incremental, so bytes
// may arrive in any pieces. Every byte fed counts against `budget`, control
// frames and frame headers included, so a daemon that floods pings or never
// finishes a frame costs at most `budget` bytes of reading and buffering.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

namespace ombrix::WorkspaceResolver {

class ReplyReader {
public:
    enum class State {
        Reading, // nothing final yet
        Text,    // a whole text message, valid UTF-8: see text()
        Failed,  // no reply will come: binary, close, protocol fault, invalid UTF-8, over budget
    };

    // `maxMessage`: payload bytes of the one text message; `budget`: all bytes fed.
    ReplyReader(std::int64_t maxMessage, std::int64_t budget);

    State feed(QByteArrayView bytes);
    State state() const { return m_state; }
    const QString& text() const { return m_text; }

    // Payload of the latest ping not yet answered, then cleared. Answering only
    // the latest is allowed by RFC 6455 and keeps unanswered pings from piling up.
    std::optional<QByteArray> takePing();

private:
    State fail();

    const std::int64_t m_maxMessage;
    const std::int64_t m_budget;
    std::int64_t m_fed = 0;
    QByteArray m_pending; // bytes of frames not yet complete
    QByteArray m_message; // payload of the text message so far
    bool m_inMessage = false;
    std::optional<QByteArray> m_ping;
    QString m_text;
    State m_state = State::Reading;
};

} // namespace ombrix::WorkspaceResolver
