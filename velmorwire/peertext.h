#ifndef VELMOR_PEERTEXT_H
#define VELMOR_PEERTEXT_H

#include "velmorwire_global.h"

#include <QString>

namespace Velmor {

// What a log line may quote of a text a peer sent: a peer that sends megabytes must not fill the log with them.
constexpr qsizetype maximumPeerTextLength = 128;

// The text cut to maximumPeerTextLength characters, with the length of what was left out said after it.
VELMORWIRE_EXPORT QString peerText(const QString &text);
VELMORWIRE_EXPORT QString peerText(const QByteArray &utf8);

// Counts the lines one peer has made the log take: past limit, they are no longer written, and the line that
// reaches the limit says so.
class VELMORWIRE_EXPORT PeerLogBudget
{
public:
    static constexpr int defaultLimit = 20;

    explicit PeerLogBudget(int limit = defaultLimit)
        : m_left(limit)
    { }

    // Whether one more line may be written; the last one allowed is written with a note that the rest are not.
    bool take();
    // The note to add to the last line allowed, empty before it.
    QString note() const;

private:
    int m_left;
};

} // namespace Velmor

#endif // VELMOR_PEERTEXT_H
