#include "peermessagereader.h"

#include <QtEndian>

PeerMessageReader::Status PeerMessageReader::append(const QByteArray &chunk)
{
    if (m_status != NeedMore)
        return m_status;
    // Never more than one message and its length field are kept.
    const qsizetype wanted = 4 + qsizetype(maximumLength) - m_buffer.size();
    m_buffer.append(chunk.left(wanted));
    if (m_buffer.size() < 4)
        return m_status;
    const quint32 length = qFromLittleEndian<quint32>(m_buffer.constData());
    if (length > maximumLength) {
        m_buffer.clear();
        m_status = TooLong;
        return m_status;
    }
    if (quint32(m_buffer.size() - 4) < length)
        return m_status;
    m_message = QString::fromUtf8(m_buffer.constData() + 4, qsizetype(length));
    m_buffer.clear();
    m_status = Complete;
    return m_status;
}

QByteArray PeerMessageReader::frame(const QString &message)
{
    const QByteArray text = message.toUtf8();
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian<quint32>(quint32(text.size()), bytes.data());
    return bytes + text;
}
