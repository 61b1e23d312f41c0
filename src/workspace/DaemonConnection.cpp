#include "DaemonConnection.h"

#include "WorkspaceResolver.h"

#include <QCryptographicHash>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QSslSocket>
#include <QTcpSocket>
#include <QtEndian>
#include <mutex>
#include <netdb.h>
#include <string>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <utility>

namespace ombrix::WorkspaceResolver {

// Nulled by the connection when it goes away, so a late lookup finds nobody.
struct DaemonConnection::LookupSlot {
    std::mutex mutex;
    DaemonConnection* target = nullptr;
};

namespace {

constexpr int maxHandshakeBytes = 16 * 1024;
constexpr int readChunkBytes = 64 * 1024;
constexpr char acceptSuffix[] = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

QByteArray randomBytes(int count) {
    QByteArray bytes(count, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), count / 4);
    return bytes;
}

// The values of one header of an HTTP head; empty when absent.
QList<QByteArray> headerValues(const QList<QByteArray>& lines, QByteArrayView name) {
    QList<QByteArray> values;
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            values << line.mid(colon + 1).trimmed();
        }
    }
    return values;
}

bool hasToken(const QList<QByteArray>& values, QByteArrayView token) {
    for (const QByteArray& value : values) {
        for (const QByteArray& item : value.split(',')) {
            if (item.trimmed().compare(token, Qt::CaseInsensitive) == 0) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

DaemonConnection::DaemonConnection(QUrl url, QByteArray message, Done done, QObject* parent)
    : QObject(parent)
    , m_url(std::move(url))
    , m_message(std::move(message))
    , m_done(std::move(done))
    , m_reader(maxReplyBytes, maxReplyBytes + maxReplyOverheadBytes) {}

DaemonConnection::~DaemonConnection() {
    end(std::nullopt, false);
}

void DaemonConnection::open() {
    const QString scheme = m_url.scheme();
    const QString host = m_url.host(QUrl::EncodeUnicode);
    if ((scheme != u"ws" && scheme != u"wss") || host.isEmpty() ||
        (scheme == u"wss" && !QSslSocket::supportsSsl())) {
        return end(std::nullopt, true);
    }
    QHostAddress literal;
    if (literal.setAddress(host)) {
        return connectTo({literal});
    }
    lookUp(host);
}

void DaemonConnection::abort() {
    end(std::nullopt, false);
}

// getaddrinfo() on a thread of its own, left to finish by itself: a resolver
// that never answers then holds only that thread, which nothing joins.
void DaemonConnection::lookUp(const QString& host) {
    m_lookup = std::make_shared<LookupSlot>();
    m_lookup->target = this;
    try {
        std::thread([slot = m_lookup, name = host.toStdString()] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* found = nullptr;
            QList<QHostAddress> addresses;
            if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) == 0) {
                for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
                    addresses << QHostAddress(entry->ai_addr);
                }
                ::freeaddrinfo(found);
            }
            std::lock_guard lock(slot->mutex);
            if (DaemonConnection* target = slot->target) {
                QMetaObject::invokeMethod(
                    target, [target, addresses] { target->connectTo(addresses); },
                    Qt::QueuedConnection);
            }
        }).detach();
    } catch (const std::system_error&) {
        end(std::nullopt, true);
    }
}

void DaemonConnection::connectTo(QList<QHostAddress> addresses) {
    m_addresses = std::move(addresses);
    tryNextAddress();
}

void DaemonConnection::tryNextAddress() {
    if (m_ended) {
        return;
    }
    if (m_addresses.isEmpty()) {
        return end(std::nullopt, true);
    }
    const QHostAddress address = m_addresses.takeFirst();
    const bool secure = m_url.scheme() == u"wss";
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->deleteLater();
    }
    m_socket = secure ? new QSslSocket(this) : new QTcpSocket(this);
    m_socket->setProxy(QNetworkProxy::NoProxy);
    // The reading side stops taking from the kernel here until read() catches up.
    m_socket->setReadBufferSize(readChunkBytes);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this] {
        if (m_socket->state() == QAbstractSocket::ConnectedState || m_upgraded) {
            m_socketFailed = true; // the daemon hung up: nothing more can be written
            return end(std::nullopt, true);
        }
        // Not from inside the socket's own signal; the next address may still answer.
        QMetaObject::invokeMethod(this, &DaemonConnection::tryNextAddress, Qt::QueuedConnection);
    });
    connect(m_socket, &QAbstractSocket::disconnected, this, [this] {
        m_socketFailed = true;
        end(std::nullopt, true);
    });
    connect(m_socket, &QIODevice::readyRead, this, &DaemonConnection::read);
    connect(m_socket, &QIODevice::bytesWritten, this, &DaemonConnection::answerPing);
    const quint16 port = quint16(m_url.port(secure ? 443 : 80));
    if (auto* tls = qobject_cast<QSslSocket*>(m_socket)) {
        connect(tls, &QSslSocket::encrypted, this, &DaemonConnection::upgrade);
        tls->connectToHostEncrypted(address.toString(), port, m_url.host(QUrl::EncodeUnicode));
    } else {
        connect(m_socket, &QAbstractSocket::connected, this, &DaemonConnection::upgrade);
        m_socket->connectToHost(address, port);
    }
}

void DaemonConnection::upgrade() {
    m_addresses.clear(); // connected: a later failure is final
    m_key = randomBytes(16).toBase64();
    QByteArray resource = m_url.path(QUrl::FullyEncoded).toUtf8();
    if (resource.isEmpty()) {
        resource = "/";
    }
    if (m_url.hasQuery()) {
        resource += '?' + m_url.query(QUrl::FullyEncoded).toUtf8();
    }
    const QByteArray host =
        m_url.adjusted(QUrl::RemoveUserInfo).authority(QUrl::FullyEncoded).toUtf8();
    m_requested = true;
    m_socket->write("GET " + resource + " HTTP/1.1\r\nHost: " + host +
                    "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " + m_key +
                    "\r\nSec-WebSocket-Version: 13\r\n\r\n");
}

void DaemonConnection::read() {
    if (m_ended) {
        return;
    }
    QByteArray bytes = m_socket->readAll();
    if (!m_upgraded && !readHandshake(bytes)) {
        return;
    }
    const ReplyReader::State state = m_reader.feed(bytes);
    if (state == ReplyReader::State::Text) {
        return end(m_reader.text(), true);
    }
    if (state == ReplyReader::State::Failed) {
        return end(std::nullopt, true);
    }
    answerPing();
}

// Takes the upgrade response off the front of `bytes`, leaving what follows it.
// False while it is incomplete, or when it refused (the connection has then ended).
bool DaemonConnection::readHandshake(QByteArray& bytes) {
    m_head += bytes;
    const qsizetype end = m_head.indexOf("\r\n\r\n");
    if (end < 0 ? m_head.size() > maxHandshakeBytes : end > maxHandshakeBytes) {
        this->end(std::nullopt, true);
        return false;
    }
    if (end < 0) {
        return false;
    }
    bytes = m_head.mid(end + 4);
    const QList<QByteArray> lines = m_head.first(end).split('\n');
    const QList<QByteArray> status = lines.first().simplified().split(' ');
    const QByteArray accept =
        QCryptographicHash::hash(m_key + acceptSuffix, QCryptographicHash::Sha1).toBase64();
    const bool upgraded =
        status.size() >= 2 && status[0] == "HTTP/1.1" && status[1] == "101" &&
        hasToken(headerValues(lines, "upgrade"), "websocket") &&
        hasToken(headerValues(lines, "connection"), "upgrade") &&
        headerValues(lines, "sec-websocket-accept") == QList<QByteArray>{accept} &&
        // Nothing was offered, so nothing may be chosen.
        headerValues(lines, "sec-websocket-extensions").isEmpty() &&
        headerValues(lines, "sec-websocket-protocol").isEmpty();
    m_head.clear();
    if (!upgraded) {
        this->end(std::nullopt, true);
        return false;
    }
    m_upgraded = true;
    writeFrame(0x1, m_message);
    return true;
}

// At most one pong waits in our buffer, so a daemon that never reads cannot
// make it grow.
void DaemonConnection::answerPing() {
    if (m_ended || !m_upgraded || m_socket->bytesToWrite() > 0) {
        return;
    }
    if (const std::optional<QByteArray> ping = m_reader.takePing()) {
        writeFrame(0xA, *ping);
    }
}

void DaemonConnection::writeFrame(int opcode, QByteArrayView payload) {
    QByteArray frame;
    frame.reserve(payload.size() + 14);
    frame.append(char(0x80 | opcode));
    if (payload.size() < 126) {
        frame.append(char(0x80 | payload.size()));
    } else if (payload.size() <= 0xffff) {
        frame.append(char(0x80 | 126));
        const quint16 length = qToBigEndian(quint16(payload.size()));
        frame.append(reinterpret_cast<const char*>(&length), 2);
    } else {
        frame.append(char(0x80 | 127));
        const quint64 length = qToBigEndian(quint64(payload.size()));
        frame.append(reinterpret_cast<const char*>(&length), 8);
    }
    const QByteArray mask = randomBytes(4);
    frame.append(mask);
    for (qsizetype i = 0; i < payload.size(); ++i) {
        frame.append(char(payload[i] ^ mask[i % 4]));
    }
    m_socket->write(frame);
}

void DaemonConnection::end(const std::optional<QString>& text, bool notify) {
    if (m_ended) {
        return;
    }
    m_ended = true;
    if (m_lookup) {
        std::lock_guard lock(m_lookup->mutex);
        m_lookup->target = nullptr;
    }
    if (m_socket) {
        m_socket->disconnect(this);
        // Also while the upgrade is pending: a daemon that accepts it reads this next.
        // Writing to a socket the daemon has closed makes Qt warn on standard error.
        if (m_requested && !m_socketFailed &&
            m_socket->state() == QAbstractSocket::ConnectedState) {
            writeFrame(0x8, QByteArrayView("\x03\xe9", 2)); // 1001, going away; no reason
            m_socket->flush();
        }
        // Anything the daemon still sends is discarded with the socket.
        if (m_socketFailed) {
            m_socket->abort();
        } else {
            m_socket->disconnectFromHost();
        }
        if (m_socket->state() != QAbstractSocket::UnconnectedState) {
            m_socket->abort();
        }
    }
    if (notify && m_done) {
        std::exchange(m_done, nullptr)(text);
    }
}

} // namespace ombrix::WorkspaceResolver
