#include "adapterrecord.h"

#include "hostlisttext.h"

#include "platform/settingsstore.h"

#include <QStringList>

namespace Velmor {

namespace {

const QString groupsKey = QStringLiteral("interfaces");
const QString idKey = QStringLiteral("guid");
const QString originalDnsKey = QStringLiteral("originalDns");
const QString appliedDnsKey = QStringLiteral("appliedDns");

} // namespace

AdapterRecord::AdapterRecord(const QString &id, QChar separator)
    : m_separator(separator)
{
    m_settings.beginGroup(groupsKey);
    const QStringList children = m_settings.childGroups();
    for (const QString &child : children) {
        m_settings.beginGroup(child);
        if (Platform::settingText(m_settings, idKey) == id)
            return;
        m_settings.endGroup();
    }
    // The first free name: counting the groups would reuse the name of the last one when an earlier one is gone.
    int free = 0;
    while (children.contains(QStringLiteral("i%1").arg(free)))
        ++free;
    m_settings.beginGroup(QStringLiteral("i%1").arg(free));
    m_settings.setValue(idKey, id);
}

bool AdapterRecord::sync(Error *reason)
{
    m_settings.sync();
    const QSettings::Status status = m_settings.status();
    if (status == QSettings::NoError)
        return true;
    if (reason) {
        *reason = status == QSettings::AccessError
            ? Error(Error::AccessDenied, QStringLiteral("Access denied"))
            : Error(Error::AccessDenied, QStringLiteral("Unexpected settings write error: %1").arg(int(status)));
    }
    return false;
}

QString AdapterRecord::id() const
{
    return Platform::settingText(m_settings, idKey);
}

HostList AdapterRecord::originalDns() const
{
    return Private::parseServerList(Platform::settingText(m_settings, originalDnsKey));
}

void AdapterRecord::setOriginalDns(const HostList &servers)
{
    m_settings.setValue(originalDnsKey, Private::formatServerList(servers, m_separator));
}

HostList AdapterRecord::appliedDns() const
{
    return Private::parseServerList(Platform::settingText(m_settings, appliedDnsKey));
}

bool AdapterRecord::hasAppliedDns() const
{
    return m_settings.contains(appliedDnsKey);
}

void AdapterRecord::setAppliedDns(const HostList &addresses)
{
    m_settings.setValue(appliedDnsKey, Private::formatServerList(addresses, m_separator));
}

void AdapterRecord::removeAppliedDns()
{
    m_settings.remove(appliedDnsKey);
}

} // namespace Velmor
