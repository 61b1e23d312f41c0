#pragma once

// One WebSocket conversation with a tooling daemon (RFC 6455, client side):
// resolve, connect (TLS for "wss"), upgrade, send one text message, read one
// reply. Built on a plain socket rather than a ready-made WebSocket client so
// that every way out closes the same way (1001, no reason), everything the
// daemon sends counts against one budget, and a host-name lookup that never
// ends leaves nothing behind that the program's exit would wait for.
//
// Lives on one thread with an event loop. `done` is called exactly once, after
// the connection is closed: with the reply's text, or none on any failure
// (refused, rejected upgrade, binary or invalid reply, over budget, hang-up).
// abort() ends it early without calling `done`. Either way the object may be
// deleted once it has ended.

#include "ReplyReader.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class QTcpSocket;

namespace ombrix::WorkspaceResolver {

class DaemonConnection final : public QObject {
public:
    using Done = std::function<void(const std::optional<QString>& text)>;

    DaemonConnection(QUrl url, QByteArray message, Done done, QObject* parent = nullptr);
    ~DaemonConnection() override;

    void open();
    void abort();

    struct LookupSlot; // shared with a lookup that may outlive the connection

private:
    void lookUp(const QString& host);
    void connectTo(QList<QHostAddress> addresses);
    void tryNextAddress();
    void upgrade();
    void read();
    bool readHandshake(QByteArray& bytes);
    void answerPing();
    void end(const std::optional<QString>& text, bool notify);
    void writeFrame(int opcode, QByteArrayView payload);

    const QUrl m_url;
    const QByteArray m_message;
    Done m_done;
    QByteArray m_key;
    QList<QHostAddress> m_addresses;
    QTcpSocket* m_socket = nullptr;
    std::shared_ptr<LookupSlot> m_lookup;
    QByteArray m_head; // the upgrade response until its blank line
    bool m_requested = false;
    bool m_socketFailed = false; // errored or closed by the daemon // the upgrade request is out
    bool m_upgraded = false;
    bool m_ended = false;
    ReplyReader m_reader;
};

} // namespace ombrix::WorkspaceResolver
