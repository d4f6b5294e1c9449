#ifndef VELMOR_PROTECTEDDATA_H
#define VELMOR_PROTECTEDDATA_H

#include <QByteArray>
#include <QString>

namespace Velmor {

// The data-protection blob of the data, readable only on this machine; empty (after a report of the system
// error) when it cannot be made.
QByteArray protectData(const QByteArray &data, const QString &description);

// The data of a blob made by protectData; empty (after a report of the system error) when it cannot be read.
// The blob's description is read along when asked for, and dropped.
QByteArray unprotectData(const QByteArray &blob, bool withDescription);

} // namespace Velmor

#endif // VELMOR_PROTECTEDDATA_H
