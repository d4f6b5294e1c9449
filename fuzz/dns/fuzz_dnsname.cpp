// A domain name read at any offset of any message: no read leaves the message, and a name that reads is at most
// 255 bytes on the wire.
#include "fuzzsupport.h"

#include "dns/rrreader.h"

#include <QtEndian>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool silenced = (Fuzz::silenceMessages(), true);
    Q_UNUSED(silenced);
    if (size < 2)
        return 0;
    const qsizetype start = qFromBigEndian<quint16>(data);
    const QByteArray message(reinterpret_cast<const char *>(data) + 2, qsizetype(size) - 2);
    qsizetype offset = start;
    QByteArray name;
    if (Velmor::DNS::readName(message, offset, name)) {
        if (offset <= start || offset > message.size() || name.size() > 254)
            std::abort();
        QByteArray type;
        qsizetype next = start;
        quint32 value = 0;
        Velmor::DNS::readNameAndType(message, next, type, value);
    }
    return 0;
}
