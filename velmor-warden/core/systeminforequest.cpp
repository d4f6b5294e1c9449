#include "systeminforequest.h"

#include "velmorwire/sysinfo.h"

#include <QtConcurrent>

namespace Velmor {

SystemInfoRequest::SystemInfoRequest(QObject *parent)
    : QObject(parent)
{
    connect(&m_watcher, &QFutureWatcher<QString>::finished, this, &SystemInfoRequest::reportReady);
    m_watcher.setFuture(QtConcurrent::run(&SysInfo::systemLog));
}

SystemInfoRequest::~SystemInfoRequest() = default;

void SystemInfoRequest::reportReady()
{
    deleteLater();
    m_deferred.callback(m_watcher.result());
}

} // namespace Velmor
