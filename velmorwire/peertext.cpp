#include "peertext.h"

namespace Velmor {

QString peerText(const QString &text)
{
    if (text.size() <= maximumPeerTextLength)
        return text;
    return text.left(maximumPeerTextLength)
        + QStringLiteral("... (%1 more characters)").arg(text.size() - maximumPeerTextLength);
}

QString peerText(const QByteArray &utf8)
{
    // Decoding only what is quoted: the rest may be megabytes.
    const QString head = QString::fromUtf8(utf8.left(maximumPeerTextLength * 4));
    if (utf8.size() <= maximumPeerTextLength * 4)
        return peerText(head);
    return head.left(maximumPeerTextLength) + QStringLiteral("... (%1 bytes in all)").arg(utf8.size());
}

bool PeerLogBudget::take()
{
    if (m_left <= 0)
        return false;
    --m_left;
    return true;
}

QString PeerLogBudget::note() const
{
    return m_left == 0 ? QStringLiteral(" (further lines of this peer are not logged)") : QString();
}

} // namespace Velmor
