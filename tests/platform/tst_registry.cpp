#include "platform/registry.h"
#include "platform/winerror.h"

#include "scratchroot.h"

#include <QThread>
#include <QtTest>

#include <memory>

using namespace Velmor::Platform;

namespace {
const QString interfaces = QStringLiteral("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\Tcpip\\Parameters"
                                          "\\Interfaces");
const QString adapter = interfaces + QStringLiteral("\\{6A1F0C2E-0000-4000-8000-000000000001}");
} // namespace

// The registry store: typed values, Windows statuses, and keys marked to refuse their writes.
class tst_Registry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void valuesKeepTypeAndContent_data();
    void valuesKeepTypeAndContent();
    void namesIgnoreCase();
    void enumeration();
    void missingKeysAndValues();
    void malformedPaths_data();
    void malformedPaths();
    void emptyItemOfMultiStringIsRefused();
    void deleteKey();
    void markedKeyRefusesWrites_data();
    void markedKeyRefusesWrites();
    void corruptKeyFileIsReported();
    void corruptKeyHidesNoSibling();
    void concurrentWritersLoseNothing();

private:
    std::unique_ptr<TestSupport::ScratchRoot> m_root;
};

void tst_Registry::init()
{
    m_root = std::make_unique<TestSupport::ScratchRoot>();
    QCOMPARE(Registry::createKey(adapter), ErrorSuccess);
}

void tst_Registry::cleanup()
{
    m_root.reset();
}

void tst_Registry::valuesKeepTypeAndContent_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<quint32>("number");

    QTest::newRow("string") << int(Registry::String) << "8.8.8.8 1.1.1.1" << QStringList() << 0u;
    QTest::newRow("empty string") << int(Registry::String) << "" << QStringList() << 0u;
    QTest::newRow("string with separators") << int(Registry::String) << "a\tb\nc\\t\r\\" << QStringList() << 0u;
    QTest::newRow("unicode string") << int(Registry::String) << "Ethernet \u00e9\u4e2d" << QStringList() << 0u;
    QTest::newRow("multi-string") << int(Registry::MultiString) << "" << QStringList { "10.0.0.1", "10.0.0.2" } << 0u;
    QTest::newRow("empty multi-string") << int(Registry::MultiString) << "" << QStringList() << 0u;
    QTest::newRow("multi-string with tabs") << int(Registry::MultiString) << "" << QStringList { "a\tb", "\\" } << 0u;
    QTest::newRow("zero") << int(Registry::Number) << "" << QStringList() << 0u;
    QTest::newRow("largest number") << int(Registry::Number) << "" << QStringList() << 4294967295u;
}

void tst_Registry::valuesKeepTypeAndContent()
{
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(QStringList, texts);
    QFETCH(quint32, number);

    quint32 status = 0;
    switch (type) {
    case Registry::String:
        status = Registry::setString(adapter, "Value", text);
        break;
    case Registry::MultiString:
        status = Registry::setMultiString(adapter, "Value", texts);
        break;
    default:
        status = Registry::setNumber(adapter, "Value", number);
        break;
    }
    QCOMPARE(status, ErrorSuccess);
    Registry::setString(adapter, "After", "still here");

    Registry::Value value;
    QCOMPARE(Registry::queryValue(adapter, "Value", &value), ErrorSuccess);
    QCOMPARE(int(value.type), type);
    QCOMPARE(value.text, text);
    QCOMPARE(value.texts, texts);
    QCOMPARE(value.number, number);
    QCOMPARE(Registry::queryValue(adapter, "After", &value), ErrorSuccess);
    QCOMPARE(value.text, QStringLiteral("still here"));
}

void tst_Registry::namesIgnoreCase()
{
    QCOMPARE(Registry::setString(adapter, "NameServer", "1.1.1.1"), ErrorSuccess);
    const QString otherCase = adapter.toLower().replace("hkey_local_machine", "HKEY_local_MACHINE");
    QVERIFY(Registry::keyExists(otherCase));
    QCOMPARE(Registry::setString(otherCase, "NAMESERVER", "9.9.9.9"), ErrorSuccess);

    Registry::Value value;
    QCOMPARE(Registry::queryValue(adapter, "nameserver", &value), ErrorSuccess);
    QCOMPARE(value.text, QStringLiteral("9.9.9.9"));
    QStringList names;
    QCOMPARE(Registry::valueNames(adapter, &names), ErrorSuccess);
    QCOMPARE(names, QStringList { "NameServer" });
    QCOMPARE(
        Registry::subKeyNames("HKEY_LOCAL_MACHINE\\system\\currentcontrolset\\SERVICES\\tcpip", &names), ErrorSuccess);
    QCOMPARE(names, QStringList { "Parameters" });
}

void tst_Registry::enumeration()
{
    for (const char *name : { "b", "C", "a.key", "A", "a.d" })
        QCOMPARE(Registry::createKey(interfaces + "\\" + name), ErrorSuccess);
    QStringList names;
    QCOMPARE(Registry::subKeyNames(interfaces, &names), ErrorSuccess);
    QCOMPARE(names, QStringList({ "A", "a.d", "a.key", "b", "C", "{6A1F0C2E-0000-4000-8000-000000000001}" }));

    Registry::setString(adapter, "NameServer", "");
    Registry::setNumber(adapter, "EnableDHCP", 1);
    Registry::setMultiString(adapter, "DefaultGateway", { "10.0.0.1" });
    Registry::setNumber(adapter, "EnableDHCP", 0);
    QCOMPARE(Registry::valueNames(adapter, &names), ErrorSuccess);
    QCOMPARE(names, QStringList({ "NameServer", "EnableDHCP", "DefaultGateway" }));

    QCOMPARE(Registry::subKeyNames("HKEY_CURRENT_USER", &names), ErrorSuccess);
    QCOMPARE(names, QStringList());
}

void tst_Registry::missingKeysAndValues()
{
    Registry::Value value;
    QCOMPARE(Registry::queryValue(adapter, "NameServer", &value), ErrorFileNotFound);
    QCOMPARE(Registry::queryValue(adapter + "\\Missing", "NameServer", &value), ErrorFileNotFound);
    QCOMPARE(Registry::setString(adapter + "\\Missing", "NameServer", "1.1.1.1"), ErrorFileNotFound);
    QCOMPARE(Registry::deleteValue(adapter, "NameServer"), ErrorFileNotFound);
    QCOMPARE(Registry::deleteKey(adapter + "\\Missing"), ErrorFileNotFound);
    QStringList names;
    QCOMPARE(Registry::subKeyNames(adapter + "\\Missing", &names), ErrorFileNotFound);
    QVERIFY(!Registry::keyExists(adapter + "\\Missing"));
}

void tst_Registry::malformedPaths_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("empty") << "";
    QTest::newRow("unknown hive") << "HKEY_NOWHERE\\Software";
    QTest::newRow("empty name") << "HKEY_LOCAL_MACHINE\\Software\\\\Velmor";
    QTest::newRow("trailing backslash") << "HKEY_LOCAL_MACHINE\\Software\\";
    QTest::newRow("slash in a name") << "HKEY_LOCAL_MACHINE\\Software\\../../../etc";
    QTest::newRow("name too long") << "HKEY_LOCAL_MACHINE\\" + QString(256, QLatin1Char('k'));
}

void tst_Registry::malformedPaths()
{
    QFETCH(QString, key);
    QCOMPARE(Registry::createKey(key), ErrorInvalidParameter);
    QCOMPARE(Registry::setString(key, "x", "y"), ErrorInvalidParameter);
    Registry::Value value;
    QCOMPARE(Registry::queryValue(key, "x", &value), ErrorInvalidParameter);
    QVERIFY(!Registry::keyExists(key));
    QCOMPARE(QDir(m_root->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList { "registry" });
}

void tst_Registry::emptyItemOfMultiStringIsRefused()
{
    QCOMPARE(Registry::setMultiString(adapter, "DefaultGateway", { "10.0.0.1", "" }), ErrorInvalidParameter);
    Registry::Value value;
    QCOMPARE(Registry::queryValue(adapter, "DefaultGateway", &value), ErrorFileNotFound);
}

void tst_Registry::deleteKey()
{
    QCOMPARE(Registry::deleteKey(interfaces), ErrorAccessDenied); // it has a subkey
    QCOMPARE(Registry::deleteKey("HKEY_LOCAL_MACHINE"), ErrorAccessDenied);
    QCOMPARE(Registry::createKey(adapter + "\\Child"), ErrorSuccess);
    QCOMPARE(Registry::deleteKey(adapter + "\\Child"), ErrorSuccess);
    QCOMPARE(Registry::deleteKey(adapter), ErrorSuccess);
    QVERIFY(!Registry::keyExists(adapter));
    QVERIFY(Registry::keyExists(interfaces));
    QCOMPARE(Registry::createKey(adapter), ErrorSuccess);
    QStringList names;
    QCOMPARE(Registry::valueNames(adapter, &names), ErrorSuccess);
    QCOMPARE(names, QStringList()); // a new key, nothing left over
}

void tst_Registry::markedKeyRefusesWrites_data()
{
    QTest::addColumn<WinError>("status");
    QTest::newRow("access denied") << ErrorAccessDenied;
    QTest::newRow("other status") << ErrorRegistryIoFailed;
}

void tst_Registry::markedKeyRefusesWrites()
{
    QFETCH(WinError, status);
    QCOMPARE(Registry::setString(adapter, "NameServer", "192.168.1.1"), ErrorSuccess);
    QCOMPARE(Registry::setWriteFailure(adapter, status), ErrorSuccess);

    QCOMPARE(Registry::setString(adapter, "NameServer", "127.0.0.1"), status);
    QCOMPARE(Registry::setMultiString(adapter, "DefaultGateway", { "10.0.0.1" }), status);
    QCOMPARE(Registry::setNumber(adapter, "EnableDHCP", 1), status);
    QCOMPARE(Registry::deleteValue(adapter, "NameServer"), status);
    QCOMPARE(Registry::createKey(adapter + "\\Child"), status);
    QCOMPARE(Registry::deleteKey(adapter), status);

    // Nothing changed, and reads still work.
    Registry::Value value;
    QCOMPARE(Registry::queryValue(adapter, "NameServer", &value), ErrorSuccess);
    QCOMPARE(value.text, QStringLiteral("192.168.1.1"));
    QStringList names;
    QCOMPARE(Registry::valueNames(adapter, &names), ErrorSuccess);
    QCOMPARE(names, QStringList { "NameServer" });
    QVERIFY(!Registry::keyExists(adapter + "\\Child"));
    // Its parent is not marked.
    QCOMPARE(Registry::setString(interfaces, "x", "y"), ErrorSuccess);

    QCOMPARE(Registry::setWriteFailure(adapter, ErrorSuccess), ErrorSuccess);
    QCOMPARE(Registry::setString(adapter, "NameServer", "127.0.0.1"), ErrorSuccess);
    QCOMPARE(Registry::queryValue(adapter, "NameServer", &value), ErrorSuccess);
    QCOMPARE(value.text, QStringLiteral("127.0.0.1"));
}

void tst_Registry::corruptKeyFileIsReported()
{
    QCOMPARE(Registry::createKey("HKEY_LOCAL_MACHINE\\Software"), ErrorSuccess);
    QCOMPARE(Registry::setString("HKEY_LOCAL_MACHINE\\Software", "x", "y"), ErrorSuccess);
    QFile file(m_root->path("registry/hkey_local_machine/software.key"));
    QVERIFY2(file.exists(), qPrintable(file.fileName()));
    QVERIFY(file.open(QIODevice::Append));
    file.write("number\tbroken\tnot a number\n");
    file.close();

    Registry::Value value;
    QCOMPARE(Registry::queryValue("HKEY_LOCAL_MACHINE\\Software", "x", &value), ErrorBadDatabase);
    // A write must not replace what it could not read.
    QCOMPARE(Registry::setString("HKEY_LOCAL_MACHINE\\Software", "x", "z"), ErrorBadDatabase);
    QVERIFY(!Registry::keyExists("HKEY_LOCAL_MACHINE\\Software"));
}

void tst_Registry::corruptKeyHidesNoSibling()
{
    for (const char *name : { "First", "Broken", "Last" })
        QCOMPARE(Registry::createKey(interfaces + "\\" + name), ErrorSuccess);
    QCOMPARE(Registry::setString(interfaces + "\\Broken", "x", "y"), ErrorSuccess);
    QFile file(m_root->path("registry/hkey_local_machine/system.d/currentcontrolset.d/services.d/tcpip.d/"
                            "parameters.d/interfaces.d/broken.key"));
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file.fileName()));
    file.write("\xff\xfe garbage\n");
    file.close();

    QStringList names;
    QCOMPARE(Registry::subKeyNames(interfaces, &names), ErrorSuccess);
    QCOMPARE(names, QStringList({ "First", "Last", "{6A1F0C2E-0000-4000-8000-000000000001}" }));
    // The broken key can be deleted and made again.
    QCOMPARE(Registry::createKey(interfaces + "\\Broken\\Child"), ErrorBadDatabase);
    QCOMPARE(Registry::deleteKey(interfaces + "\\Broken"), ErrorSuccess);
    QCOMPARE(Registry::createKey(interfaces + "\\Broken"), ErrorSuccess);
    QCOMPARE(Registry::setString(interfaces + "\\Broken", "x", "z"), ErrorSuccess);
    QCOMPARE(Registry::subKeyNames(interfaces, &names), ErrorSuccess);
    QCOMPARE(names, QStringList({ "Broken", "First", "Last", "{6A1F0C2E-0000-4000-8000-000000000001}" }));
}

void tst_Registry::concurrentWritersLoseNothing()
{
    QList<QThread *> threads;
    for (int t = 0; t < 4; ++t) {
        threads.append(QThread::create([t] {
            for (int i = 0; i < 15; ++i)
                Registry::setNumber(adapter, QStringLiteral("v%1-%2").arg(t).arg(i), quint32(i));
        }));
        threads.last()->start();
    }
    for (QThread *thread : std::as_const(threads)) {
        QVERIFY(thread->wait(60000));
        delete thread;
    }
    QStringList names;
    QCOMPARE(Registry::valueNames(adapter, &names), ErrorSuccess);
    QCOMPARE(names.size(), 60);
}

QTEST_GUILESS_MAIN(tst_Registry)
#include "tst_registry.moc"
