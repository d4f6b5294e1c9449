#include "servicecontroller.h"

#include "platform/servicemanager.h"

namespace Velmor {

using namespace Platform;

ServiceController::ServiceController(const QString &name)
    : m_name(name)
{ }

bool ServiceController::finish(WinError status)
{
    m_error = status;
    return status == ErrorSuccess;
}

bool ServiceController::isInstalled()
{
    ServiceRegistration registration;
    const WinError status = ServiceManager::queryConfig(m_name, &registration);
    finish(status);
    // A registration that cannot be read is still there: it blocks a new one, and only uninstalling clears it.
    return status == ErrorSuccess || status == ErrorInvalidData || status == ErrorAccessDenied;
}

bool ServiceController::isRunning()
{
    ServiceState state = ServiceState::Stopped;
    return finish(ServiceManager::queryState(m_name, &state)) && state != ServiceState::Stopped;
}

bool ServiceController::start()
{
    return finish(ServiceManager::startService(m_name));
}

bool ServiceController::stop()
{
    return finish(ServiceManager::controlService(m_name, ControlStop));
}

bool ServiceController::pause()
{
    return finish(ServiceManager::controlService(m_name, ControlPause));
}

bool ServiceController::resume()
{
    return finish(ServiceManager::controlService(m_name, ControlContinue));
}

bool ServiceController::sendCommand(int code)
{
    if (code < 0 || code > int(LastUserControl - FirstUserControl))
        return finish(ErrorInvalidParameter);
    return finish(ServiceManager::controlService(m_name, FirstUserControl + quint32(code)));
}

bool ServiceController::uninstall()
{
    return finish(ServiceManager::deleteService(m_name));
}

} // namespace Velmor
