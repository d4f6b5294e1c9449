#ifndef VELMOR_IPCPORT_H
#define VELMOR_IPCPORT_H

#include "velmorwire_global.h"

#include <QtGlobal>

namespace Velmor {

// The TCP port of the link between the service and the desktop program on 127.0.0.1: 1957, or
// VELMOR_IPC_PORT when it holds a port number from 1 to 65535.
VELMORWIRE_EXPORT quint16 ipcPort();

} // namespace Velmor

#endif // VELMOR_IPCPORT_H
