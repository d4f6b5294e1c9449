#include "networktest.h"

#include "network/dnscacheresetter.h"

#include "platform/servicemanager.h"

namespace NetworkTest {

using namespace Velmor::Platform;

QHostAddress ScriptedServer::activeProxyAddress() const
{
    if (!identified || !filtering)
        return QHostAddress();
    return type == 1 ? localDnsProxyAddress(false) : upstream;
}

QHostAddress ScriptedServer::localDnsProxyAddress(bool raw) const
{
    if (!raw && local == QHostAddress(QHostAddress::AnyIPv4))
        return QHostAddress(QHostAddress::LocalHost);
    return local;
}

Machine::Machine()
{
    useSettingsOf(QStringLiteral("Service"));
    m_settings.reset(new QSettings);
}

Machine::~Machine()
{
    DNSCacheResetter::waitForDone();
    m_settings.reset();
}

QString Machine::groupOf(const QString &id)
{
    m_settings->sync();
    m_settings->beginGroup(QStringLiteral("interfaces"));
    const QStringList groups = m_settings->childGroups();
    QString found;
    for (const QString &group : groups) {
        if (m_settings->value(group + QStringLiteral("/guid")).toString() == id)
            found = group;
    }
    m_settings->endGroup();
    return found;
}

QVariant Machine::interfaceSetting(const QString &id, const QString &key)
{
    const QString group = groupOf(id);
    if (group.isEmpty())
        return QVariant();
    const QVariant value = m_settings->value(QStringLiteral("interfaces/%1/%2").arg(group, key));
    return value.typeId() == QMetaType::QStringList ? QVariant(value.toStringList().join(QLatin1Char(','))) : value;
}

QStringList Machine::dnsClientHistory() const
{
    return ServiceManager::standInHistory(QStringLiteral("Dnscache"));
}

} // namespace NetworkTest
