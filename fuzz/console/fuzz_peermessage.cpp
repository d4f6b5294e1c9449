// The running copy's receive path for messages of later copies: the bytes arrive in chunks of any size
// (the input's first bytes choose them), the reader must never buffer past one message, never take a length
// over its limit, and a complete message goes on to the unlock-reason parsing.
#include "app/commandline.h"
#include "app/peermessagereader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // Chunk sizes cycle through the first byte's bit pattern: 1 to 16 bytes each.
    const quint8 pattern = data[0];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    PeerMessageReader reader;
    qsizetype at = 0;
    int turn = 0;
    while (at < bytes.size()) {
        const qsizetype chunk = 1 + ((pattern >> (turn++ % 8)) & 0x0f);
        const PeerMessageReader::Status status = reader.append(bytes.mid(at, chunk));
        at += chunk;
        if (status != PeerMessageReader::NeedMore)
            break;
    }
    if (reader.status() == PeerMessageReader::Complete) {
        const QString message = reader.message();
        if (message.toUtf8().size() > qsizetype(PeerMessageReader::maximumLength) * 3)
            abort();
        const QString reason = InstanceMessage::unlockReason(message);
        if (reason.contains(QLatin1Char(' ')) || reason.size() > message.size())
            abort();
        (void)InstanceMessage::isUnlock(message);
    }
    // The same bytes whole give the same outcome as in chunks.
    PeerMessageReader whole;
    whole.append(bytes);
    if (whole.status() != reader.status() && reader.status() != PeerMessageReader::NeedMore)
        abort();
    if (whole.status() == PeerMessageReader::Complete && whole.message() != reader.message())
        abort();
    return 0;
}
