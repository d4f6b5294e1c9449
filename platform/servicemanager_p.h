#ifndef VELMOR_PLATFORM_SERVICEMANAGER_P_H
#define VELMOR_PLATFORM_SERVICEMANAGER_P_H

#include "servicemanager.h"

#include <QByteArray>
#include <QString>

namespace Velmor {
namespace Platform {

// What a running service keeps in its lock file for everyone to read: "<pid> <state> <control socket>", padded to
// a fixed size, so that each change is one write of the same length over the last one.
struct ServiceRecord
{
    qint64 pid = 0;
    ServiceState state = ServiceState::StartPending;
    QString socketPath;
};

constexpr int ServiceRecordSize = 512;

QByteArray formatServiceRecord(const ServiceRecord &record);
bool parseServiceRecord(const QByteArray &bytes, ServiceRecord *record);

namespace ServiceManager {

// The folder of this user's control sockets: "velmor" in $XDG_RUNTIME_DIR, else /run/velmor for root and
// /tmp/velmor-<uid> for other users. Private (0700).
QString controlSocketFolder();

// The running service's record, for the users who may not open its lock file (see lockFilePath).
QString recordFilePath(const QString &name);

} // namespace ServiceManager
} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_SERVICEMANAGER_P_H
