#include "platform/userfolders.h"

#include "scratchroot.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Velmor::Platform;

class tst_UserFolders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void privateWhateverTheUmask_data();
    void privateWhateverTheUmask();
    void plantedLinkIsRefused();
};

void tst_UserFolders::privateWhateverTheUmask_data()
{
    QTest::addColumn<bool>("temp");
    QTest::newRow("Temp") << true;
    QTest::newRow("roaming") << false;
}

void tst_UserFolders::privateWhateverTheUmask()
{
    QFETCH(bool, temp);
    const TestSupport::ScratchRoot root;
    const mode_t previous = ::umask(0);
    const QString path = temp ? userTempPath() : roamingAppDataPath();
    ::umask(previous);
    QCOMPARE(path, root.path(temp ? QStringLiteral("appdata/Temp") : QStringLiteral("roaming")));
    struct stat info = {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_mode & 07777, mode_t(0700));
}

void tst_UserFolders::plantedLinkIsRefused()
{
    const TestSupport::ScratchRoot root;
    QTemporaryDir elsewhere;
    QVERIFY(QFile::link(elsewhere.path(), root.path(QStringLiteral("roaming"))));
    QCOMPARE(roamingAppDataPath(), QString());
}

QTEST_GUILESS_MAIN(tst_UserFolders)
#include "tst_userfolders.moc"
