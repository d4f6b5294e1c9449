#include "platform/settingsstore.h"

#include "scratchroot.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace Velmor::Platform;

// The programs' settings stores live under the machine root, and single-value keys read as one text.
class tst_SettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultStoreIsUnderTheRoot();
    void settingText_data();
    void settingText();
};

void tst_SettingsStore::defaultStoreIsUnderTheRoot()
{
    const TestSupport::ScratchRoot root;
    useRootSettings();
    for (const char *application : { "Service", "Agent" }) {
        QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
        QCoreApplication::setApplicationName(application);
        QSettings settings;
        QCOMPARE(settings.format(), QSettings::IniFormat);
        settings.setValue("key", application);
        settings.sync();
        QCOMPARE(settings.status(), QSettings::NoError);
        QCOMPARE(settings.fileName(), root.path(QStringLiteral("settings/Velmor/%1.ini").arg(application)));
        QVERIFY(QFile::exists(settings.fileName()));
    }
}

void tst_SettingsStore::settingText_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QByteArray("k=8.8.8.8\n") << "8.8.8.8";
    QTest::newRow("list") << QByteArray("k=a,b\n") << "a,b";
    QTest::newRow("list with blanks") << QByteArray("k=10.0.0.1, 10.0.0.2\n") << "10.0.0.1,10.0.0.2";
    QTest::newRow("quoted commas") << QByteArray("k=\"a,b\"\n") << "a,b";
    QTest::newRow("empty") << QByteArray("k=\n") << "";
    QTest::newRow("number") << QByteArray("k=13107\n") << "13107";
    QTest::newRow("absent") << QByteArray("other=1\n") << "<default>";
}

void tst_SettingsStore::settingText()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    QTemporaryDir directory;
    QFile ini(directory.filePath("store.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\n" + file);
    ini.close();
    const QSettings settings(ini.fileName(), QSettings::IniFormat);
    QCOMPARE(Velmor::Platform::settingText(settings, "k", "<default>"), expected);
}

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
