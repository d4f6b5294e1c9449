#include "tcpframer.h"

#include "rr.h"

#include <QtEndian>

namespace Velmor {
namespace DNS {

void TcpFramer::append(const QByteArray &bytes)
{
    if (m_start > 0) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    m_buffer.append(bytes);
}

bool TcpFramer::next(QByteArray &message)
{
    const qsizetype available = m_buffer.size() - m_start;
    if (available < 2)
        return false;
    const qsizetype length = qFromBigEndian<quint16>(m_buffer.constData() + m_start);
    if (available < length + 2)
        return false;
    message = m_buffer.mid(m_start + 2, length);
    m_start += length + 2;
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    }
    return true;
}

void TcpFramer::clear()
{
    m_buffer.clear();
    m_start = 0;
}

QByteArray TcpFramer::frame(const QByteArray &message)
{
    if (message.size() > 0xFFFF)
        return QByteArray();
    QByteArray framed;
    framed.reserve(message.size() + 2);
    appendUInt16(framed, quint16(message.size()));
    framed.append(message);
    return framed;
}

} // namespace DNS
} // namespace Velmor
