#include "simulatedmachine.h"

#include "platform/iphelper.h"
#include "platform/registry.h"
#include "platform/root.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace PlatformTest {

using namespace Velmor::Platform;

QString adapterId(int n)
{
    return QStringLiteral("{6A1F0C2E-0000-4000-8000-%1}").arg(n, 12, 10, QLatin1Char('0'));
}

QList<Adapter> ethernetAdapters(int count)
{
    QList<Adapter> adapters;
    for (int i = 1; i <= count; ++i) {
        adapters.append(Adapter {
            adapterId(i), QStringLiteral("Ethernet %1").arg(i), 6, { QStringLiteral("192.168.%1.20").arg(i) } });
    }
    return adapters;
}

void SimulatedMachine::writeMachine(
    const QList<Adapter> &adapters, const QList<Route> &routes, const QVariantMap &failures)
{
    QJsonArray adapterList;
    for (int i = 0; i < adapters.size(); ++i) {
        const Adapter &a = adapters.at(i);
        adapterList.append(QJsonObject { { QStringLiteral("id"), a.id },
            { QStringLiteral("index"), int(a.index ? a.index : quint32(i + 1)) }, { QStringLiteral("name"), a.name },
            { QStringLiteral("type"), int(a.type) }, { QStringLiteral("up"), a.up },
            { QStringLiteral("addresses"), QJsonArray::fromStringList(a.addresses) } });
        if (a.type != IpHelper::TypeSoftwareLoopback && !Registry::keyExists(IpHelper::interfaceKey(a.id)))
            setValue(a.id, QStringLiteral("NameServer"), QString());
    }
    QJsonArray routeList;
    for (const Route &r : routes) {
        routeList.append(QJsonObject { { QStringLiteral("destination"), r.destination },
            { QStringLiteral("mask"),
                r.destination == QLatin1String("0.0.0.0") ? QStringLiteral("0.0.0.0")
                                                          : QStringLiteral("255.255.255.0") },
            { QStringLiteral("nextHop"), r.nextHop }, { QStringLiteral("index"), int(r.index) },
            { QStringLiteral("metric"), r.metric } });
    }
    QJsonObject root { { QStringLiteral("adapters"), adapterList }, { QStringLiteral("routes"), routeList } };
    if (!failures.isEmpty())
        root.insert(QStringLiteral("failures"), QJsonObject::fromVariantMap(failures));
    writeMachineText(QJsonDocument(root).toJson());
}

void SimulatedMachine::writeMachineText(const QByteArray &text)
{
    QVERIFY(writeFileAtomically(path(QStringLiteral("machine.json")), text, 0644));
}

void SimulatedMachine::setValue(const QString &id, const QString &name, const QString &text)
{
    const QString key = IpHelper::interfaceKey(id);
    QCOMPARE(Registry::createKey(key), 0u);
    QCOMPARE(Registry::setString(key, name, text), 0u);
}

void SimulatedMachine::setGateways(const QString &id, const QString &name, const QStringList &gateways)
{
    const QString key = IpHelper::interfaceKey(id);
    QCOMPARE(Registry::createKey(key), 0u);
    QCOMPARE(Registry::setMultiString(key, name, gateways), 0u);
}

QString SimulatedMachine::value(const QString &id, const QString &name) const
{
    Registry::Value value;
    Registry::queryValue(IpHelper::interfaceKey(id), name, &value);
    return value.text;
}

bool SimulatedMachine::hasValue(const QString &id, const QString &name) const
{
    Registry::Value value;
    return Registry::queryValue(IpHelper::interfaceKey(id), name, &value) == 0;
}

void SimulatedMachine::refuseWrites(const QString &id, quint32 status)
{
    QCOMPARE(Registry::setWriteFailure(IpHelper::interfaceKey(id), WinError(status)), ErrorSuccess);
}

void SimulatedMachine::corruptKey(const QString &id)
{
    QFile file(path(QStringLiteral("registry/hkey_local_machine/system.d/currentcontrolset.d/services.d/tcpip.d/"
                                   "parameters.d/interfaces.d/%1.key")
                        .arg(id.toLower())));
    QVERIFY2(file.open(QIODevice::Append), qPrintable(file.fileName()));
    file.write("number\tbroken\tnot a number\n");
}

} // namespace PlatformTest
