#include "ipcport.h"

#include <QString>

namespace Velmor {

quint16 ipcPort()
{
    bool ok = false;
    const uint port = qEnvironmentVariable("VELMOR_IPC_PORT").toUInt(&ok);
    if (ok && port >= 1 && port <= 65535)
        return quint16(port);
    return 1957;
}

} // namespace Velmor
