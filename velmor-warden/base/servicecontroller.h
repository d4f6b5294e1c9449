#ifndef VELMOR_SERVICECONTROLLER_H
#define VELMOR_SERVICECONTROLLER_H

#include "platform/winerror.h"

#include <QString>

namespace Velmor {

// Queries and controls any service registered with the service manager. Each call answers whether it
// succeeded; error() keeps the Windows status of the last call.
class ServiceController
{
public:
    explicit ServiceController(const QString &name);

    QString serviceName() const { return m_name; }
    Platform::WinError error() const { return m_error; }

    // True while a registration of that name exists, readable or not.
    bool isInstalled();
    // True from the start until the service's process has stopped, paused included; answered without waiting for
    // the service. False also when that cannot be told, with the reason in error() (ErrorAccessDenied).
    bool isRunning();

    // Runs the registered program without arguments and waits until the service runs.
    bool start();
    // Waits until the service's process has ended.
    bool stop();
    bool pause();
    bool resume();
    // A user command, 0 to 127.
    bool sendCommand(int code);
    bool uninstall();

private:
    bool finish(Platform::WinError status);

    QString m_name;
    Platform::WinError m_error = Platform::ErrorSuccess;
};

} // namespace Velmor

#endif // VELMOR_SERVICECONTROLLER_H
