#include "unlockflag.h"

#include <unistd.h>

namespace {

bool writeByte(QSharedMemory &memory, quint8 value)
{
    if (!memory.lock())
        return false;
    *static_cast<quint8 *>(memory.data()) = value;
    memory.unlock();
    return true;
}

} // namespace

QString UnlockFlag::key()
{
    return QStringLiteral("velmor-agent-unlocker-%1-%2").arg(::geteuid()).arg(qEnvironmentVariable("XDG_SESSION_ID"));
}

bool UnlockFlag::create()
{
    if (!m_memory.create(1, QSharedMemory::ReadWrite)) {
        if (m_memory.error() != QSharedMemory::AlreadyExists)
            return false;
        // Detaching the last attachment removes the segment: one whose creator was killed goes, one that a
        // waiting copy holds stays.
        if (m_memory.attach(QSharedMemory::ReadOnly))
            m_memory.detach();
        if (!m_memory.create(1, QSharedMemory::ReadWrite))
            return false;
    }
    return writeByte(m_memory, NoAnswer);
}

quint8 UnlockFlag::value()
{
    if (!m_memory.isAttached() || !m_memory.lock())
        return NoAnswer;
    const quint8 byte = *static_cast<const quint8 *>(m_memory.constData());
    m_memory.unlock();
    return byte;
}

bool UnlockFlag::answer(Value value)
{
    QSharedMemory memory(key());
    if (!memory.attach(QSharedMemory::ReadWrite))
        return false;
    const bool written = writeByte(memory, value);
    memory.detach();
    return written;
}
