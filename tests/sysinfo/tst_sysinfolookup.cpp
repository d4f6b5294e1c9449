#include "velmorwire/sysinfo.h"
#include "velmorwire/sysinfo_p.h"

#include "platform/eventlog.h"

#include "scratchroot.h"

#include <QCoreApplication>
#include <QTest>

// This program's folder holds the query tool; the system path holds none.
class tst_SysInfoLookup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findsToolBesideTheProgram();
};

void tst_SysInfoLookup::findsToolBesideTheProgram()
{
    const TestSupport::ScratchRoot root;
    QVERIFY(root.isValid());
    qputenv("PATH", root.path().toLocal8Bit());
    QVERIFY(Velmor::Platform::EventLog::report(
        QStringLiteral("Velmor Agent"), Velmor::Platform::EventLog::Information, 0, QStringLiteral("Service started")));

    QCOMPARE(Velmor::SysInfoPrivate::queryTool(), QCoreApplication::applicationDirPath() + QStringLiteral("/wevtutil"));
    const QString log = Velmor::SysInfo::systemLog();
    QVERIFY2(log.startsWith(QStringLiteral("Event[0]:\r\n")), qPrintable(log));
    QVERIFY2(log.endsWith(QStringLiteral("  Description: \r\nService started\r\n\r\n")), qPrintable(log));
}

QTEST_GUILESS_MAIN(tst_SysInfoLookup)
#include "tst_sysinfolookup.moc"
