#include "ReplyReader.h"

#include <QStringDecoder>
#include <QtEndian>
#include <utility>

namespace ombrix::WorkspaceResolver {
namespace {

enum Opcode : int {
    Continuation = 0x0,
    TextFrame = 0x1,
    BinaryFrame = 0x2,
    Close = 0x8,
    Ping = 0x9,
    Pong = 0xA
};

} // namespace

ReplyReader::ReplyReader(std::int64_t maxMessage, std::int64_t budget)
    : m_maxMessage(maxMessage)
    , m_budget(budget) {}

std::optional<QByteArray> ReplyReader::takePing() {
    return std::exchange(m_ping, std::nullopt);
}

ReplyReader::State ReplyReader::fail() {
    m_pending.clear();
    m_message.clear();
    m_ping.reset();
    return m_state = State::Failed;
}

ReplyReader::State ReplyReader::feed(QByteArrayView bytes) {
    if (m_state != State::Reading) {
        return m_state;
    }
    m_fed += bytes.size();
    if (m_fed > m_budget) {
        return fail();
    }
    m_pending.append(bytes);

    const auto* data = reinterpret_cast<const uchar*>(m_pending.constData());
    qsizetype pos = 0;
    while (m_state == State::Reading) {
        const qsizetype available = m_pending.size() - pos;
        if (available < 2) {
            break;
        }
        const uchar first = data[pos];
        const uchar second = data[pos + 1];
        const bool fin = first & 0x80;
        const int opcode = first & 0x0f;
        // No extension was agreed, and a server never masks.
        if ((first & 0x70) != 0 || (second & 0x80) != 0) {
            return fail();
        }
        quint64 length = second & 0x7f;
        qsizetype header = 2;
        if (length == 126) {
            if (available < 4) {
                break;
            }
            length = qFromBigEndian<quint16>(data + pos + 2);
            header = 4;
        } else if (length == 127) {
            if (available < 10) {
                break;
            }
            length = qFromBigEndian<quint64>(data + pos + 2);
            header = 10;
        }

        if (opcode & 0x8) {
            if (!fin || length > 125 || (opcode != Close && opcode != Ping && opcode != Pong)) {
                return fail();
            }
        } else {
            // A binary reply gives no root whatever follows, so its first frame ends it.
            if (opcode == BinaryFrame || (opcode != Continuation && opcode != TextFrame)) {
                return fail();
            }
            if ((opcode == Continuation) != m_inMessage) {
                return fail();
            }
            // Refused on its header: a frame claiming more than is left is never waited for.
            if (length > quint64(m_maxMessage - m_message.size())) {
                return fail();
            }
        }
        if (quint64(available - header) < length) {
            break;
        }

        const QByteArrayView payload(m_pending.constData() + pos + header, qsizetype(length));
        pos += header + qsizetype(length);
        switch (opcode) {
        case Close:
            return fail(); // the daemon hung up without a reply
        case Ping:
            m_ping = payload.toByteArray();
            break;
        case Pong:
            break;
        default: {
            m_inMessage = true;
            m_message.append(payload);
            if (!fin) {
                break;
            }
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            QString text = decoder.decode(m_message);
            if (decoder.hasError()) {
                return fail();
            }
            m_text = std::move(text);
            m_message.clear();
            m_state = State::Text;
            break;
        }
        }
    }
    m_pending.remove(0, pos);
    return m_state;
}

} // namespace ombrix::WorkspaceResolver
