#include "velmorwire/network.h"

#include <QTest>

using namespace Velmor;

class tst_Network : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readNetwork_data();
    void readNetwork();
    void writeNetwork();
    void readNetworksInfo_data();
    void readNetworksInfo();
    void refusedShapeChangesNothing();
    void writeNetworksInfo();
    void toString();
    void setNetworkProtection();
};

namespace {
QVariantMap network(const QString &id, const QString &name = QStringLiteral("Ethernet"), bool isProtected = false)
{
    return QVariantMap { { "id", id }, { "name", name }, { "protected", isProtected } };
}
} // namespace

void tst_Network::readNetwork_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("isProtected");

    QTest::newRow("protected") << QVariant(network("{A1}", "Wi-Fi", true)) << true << true;
    QTest::newRow("without protected") << QVariant(QVariantMap { { "id", "{A1}" }, { "name", "Wi-Fi" } }) << true
                                       << false;
    QTest::newRow("extra keys") << QVariant(QVariantMap { { "id", "{A1}" }, { "name", "Wi-Fi" }, { "mtu", 1500 } })
                                << true << false;
    QTest::newRow("empty id") << QVariant(network("")) << false << false;
    QTest::newRow("missing id") << QVariant(QVariantMap { { "name", "Wi-Fi" } }) << false << false;
    QTest::newRow("missing name") << QVariant(QVariantMap { { "id", "{A1}" } }) << false << false;
    QTest::newRow("a list") << QVariant(QVariantList { network("{A1}") }) << false << false;
}

void tst_Network::readNetwork()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(bool, isProtected);

    Network read;
    QCOMPARE(read.fromVariant(value), accepted);
    if (accepted) {
        QCOMPARE(read.isProtected, isProtected);
        Network again;
        QVERIFY(again.fromVariant(read.toVariant()));
        QCOMPARE(again.toVariant(), read.toVariant());
    }
}

void tst_Network::writeNetwork()
{
    const QVariantMap map = Network("{B2}", "LAN", true).toVariant().toMap();
    QCOMPARE(map.keys(), (QStringList { "id", "name", "protected" }));
    QCOMPARE(map.value("protected").typeId(), QMetaType::Bool);
}

void tst_Network::readNetworksInfo_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("defaultRouteId");
    QTest::addColumn<int>("count");

    QTest::newRow("only empty networks") << QVariant(QVariantMap { { "networks", QVariantList() } }) << true << "" << 0;
    QTest::newRow("null route id") << QVariant(
        QVariantMap { { "defaultRouteId", QVariant::fromValue(nullptr) }, { "networks", QVariantList() } })
                                   << true << "" << 0;
    QTest::newRow("route found") << QVariant(
        QVariantMap { { "defaultRouteId", "{B}" }, { "networks", QVariantList { network("{A}"), network("{B}") } } })
                                 << true << "{B}" << 2;
    QTest::newRow("route id with no networks")
        << QVariant(QVariantMap { { "defaultRouteId", "{A}" }, { "networks", QVariantList() } }) << false << "{A}" << 0;
    QTest::newRow("route id differs in case")
        << QVariant(QVariantMap { { "defaultRouteId", "{a}" }, { "networks", QVariantList { network("{A}") } } })
        << false << "{a}" << 1;
    QTest::newRow("malformed second network")
        << QVariant(QVariantMap { { "networks", QVariantList { network("{A}"), network(""), network("{C}") } } })
        << false << "" << 1;
    QTest::newRow("same id twice") << QVariant(
        QVariantMap { { "networks", QVariantList { network("{A}"), network("{A}") } } })
                                   << true << "" << 2;
    QTest::newRow("extra keys") << QVariant(
        QVariantMap { { "networks", QVariantList { network("{A}") } }, { "version", 2 } })
                                << true << "" << 1;
}

void tst_Network::readNetworksInfo()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(QString, defaultRouteId);
    QFETCH(int, count);

    NetworksInfo info;
    QCOMPARE(info.fromVariant(value), accepted);
    QCOMPARE(info.defaultRouteId, defaultRouteId);
    QCOMPARE(info.networks.size(), count);
}

void tst_Network::refusedShapeChangesNothing()
{
    const QList<QVariant> refused {
        QVariantList {},
        QVariantMap { { "defaultRouteId", 7 }, { "networks", QVariantList() } },
        QVariantMap { { "defaultRouteId", QVariantList() }, { "networks", QVariantList() } },
        QVariantMap { { "defaultRouteId", "{A}" } },
        QVariantMap { { "networks", network("{A}") } },
        QVariantMap { { "networks", QStringList { "{A}" } } },
    };
    for (const QVariant &value : refused) {
        NetworksInfo info;
        info.defaultRouteId = QStringLiteral("{old}");
        info.networks.append(Network("{old}", "Old", true));
        QVERIFY(!info.fromVariant(value));
        QCOMPARE(info.defaultRouteId, QStringLiteral("{old}"));
        QCOMPARE(info.networks.size(), 1);
    }
}

void tst_Network::writeNetworksInfo()
{
    NetworksInfo info;
    QVariantMap map = info.toVariant().toMap();
    QCOMPARE(map.keys(), (QStringList { "defaultRouteId", "networks" }));
    QVERIFY(map.value("defaultRouteId").toString().isNull());

    info.networks = { Network("{Z}", "Last", false), Network("{A}", "First", true) };
    info.defaultRouteId = QStringLiteral("{A}");
    map = info.toVariant().toMap();
    QCOMPARE(map.value("networks").toList().at(0).toMap().value("id").toString(), QStringLiteral("{Z}"));
    NetworksInfo again;
    QVERIFY(again.fromVariant(info.toVariant()));
    QCOMPARE(again.toVariant(), info.toVariant());
}

void tst_Network::toString()
{
    NetworksInfo info;
    QCOMPARE(info.toString(), QStringLiteral("NetworksInfo: active:  networks:  "));
    info.defaultRouteId = QStringLiteral("{A}");
    info.networks = { Network("{A}", "LAN %1", true), Network("{B}", "Wi-Fi", false) };
    QCOMPARE(info.networks.at(0).toString(), QStringLiteral("id: {A} name: LAN %1 protected: yes"));
    QCOMPARE(info.toString(),
        QStringLiteral("NetworksInfo: active: {A} networks: <id: {A} name: LAN %1 protected: yes>, "
                       "<id: {B} name: Wi-Fi protected: no> "));
}

void tst_Network::setNetworkProtection()
{
    NetworksInfo info;
    info.networks = { Network("{A}", "One", false), Network("{A}", "Two", false), Network("{B}", "Three", true) };
    QVERIFY(info.setNetworkProtection("{A}", true));
    QVERIFY(info.networks.at(0).isProtected);
    QVERIFY(!info.networks.at(1).isProtected);
    QVERIFY(info.setNetworkProtection("{B}", true));
    QVERIFY(info.networks.at(2).isProtected);
    QVERIFY(!info.setNetworkProtection("{a}", false));
    QVERIFY(info.networks.at(0).isProtected);
}

QTEST_APPLESS_MAIN(tst_Network)
#include "tst_network.moc"
