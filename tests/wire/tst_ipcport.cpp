#include "velmorwire/ipcport.h"

#include <QtTest>

class tst_IpcPort : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void port_data();
    void port();
};

void tst_IpcPort::port_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<int>("port");
    QTest::newRow("unset") << QByteArray() << 1957;
    QTest::newRow("set") << QByteArray("41957") << 41957;
    QTest::newRow("highest") << QByteArray("65535") << 65535;
    QTest::newRow("zero") << QByteArray("0") << 1957;
    QTest::newRow("too large") << QByteArray("65536") << 1957;
    QTest::newRow("negative") << QByteArray("-1") << 1957;
    QTest::newRow("not a number") << QByteArray("port") << 1957;
}

void tst_IpcPort::port()
{
    QFETCH(QByteArray, variable);
    QFETCH(int, port);
    if (variable.isNull())
        qunsetenv("VELMOR_IPC_PORT");
    else
        qputenv("VELMOR_IPC_PORT", variable);
    QCOMPARE(int(Velmor::ipcPort()), port);
}

QTEST_GUILESS_MAIN(tst_IpcPort)
#include "tst_ipcport.moc"
