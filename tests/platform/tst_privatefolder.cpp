#include "platform/appdata.h"
#include "platform/privatefolder.h"

#include "scratchroot.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace Velmor;

namespace {

int modeOf(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

} // namespace

class tst_PrivateFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void madePrivateWhateverTheUmask_data();
    void madePrivateWhateverTheUmask();
    void existingFoldersBecomePrivate();
    void symlinkIsRefused();
    void anotherUsersFolderIsRefused();
    void levelNamesStayInside_data();
    void levelNamesStayInside();

private:
    std::unique_ptr<TestSupport::ScratchRoot> m_root;
};

void tst_PrivateFolder::init()
{
    m_root = std::make_unique<TestSupport::ScratchRoot>();
    QVERIFY(m_root->isValid());
}

void tst_PrivateFolder::cleanup()
{
    m_root.reset();
}

void tst_PrivateFolder::madePrivateWhateverTheUmask_data()
{
    QTest::addColumn<int>("mask");
    QTest::newRow("umask 0") << 0;
    QTest::newRow("umask 022") << 022;
    QTest::newRow("umask 0777") << 0777;
}

void tst_PrivateFolder::madePrivateWhateverTheUmask()
{
    QFETCH(int, mask);

    const mode_t saved = ::umask(mode_t(mask));
    const QString path = Platform::localAppDataPath({ QStringLiteral("Velmor"), QStringLiteral("velmor-warden") });
    ::umask(saved);
    QCOMPARE(path, m_root->path(QStringLiteral("appdata/Velmor/velmor-warden")));
    for (const char *level : { "appdata", "appdata/Velmor", "appdata/Velmor/velmor-warden" })
        QCOMPARE(modeOf(m_root->path(QLatin1String(level))), 0700);
    QCOMPARE(Platform::localAppDataPath(), m_root->path(QStringLiteral("appdata")));
}

void tst_PrivateFolder::existingFoldersBecomePrivate()
{
    QVERIFY(QDir().mkpath(m_root->path(QStringLiteral("appdata/Velmor"))));
    QVERIFY(::chmod(QFile::encodeName(m_root->path(QStringLiteral("appdata/Velmor"))).constData(), 0755) == 0);
    QVERIFY(!Platform::localAppDataPath({ QStringLiteral("Velmor") }).isEmpty());
    QCOMPARE(modeOf(m_root->path(QStringLiteral("appdata/Velmor"))), 0700);
}

void tst_PrivateFolder::symlinkIsRefused()
{
    const QString elsewhere = m_root->path(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(::chmod(QFile::encodeName(elsewhere).constData(), 0755) == 0);
    QVERIFY(QDir().mkpath(m_root->path(QStringLiteral("appdata"))));
    QVERIFY(QFile::link(elsewhere, m_root->path(QStringLiteral("appdata/Velmor"))));
    QVERIFY(Platform::localAppDataPath({ QStringLiteral("Velmor"), QStringLiteral("cabinet") }).isEmpty());
    QVERIFY(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    // Nothing reached the link's target, not even a change of its mode.
    QCOMPARE(modeOf(elsewhere), 0755);
}

void tst_PrivateFolder::anotherUsersFolderIsRefused()
{
    if (::geteuid() != 0)
        QSKIP("giving a folder to another user needs root");
    const QString folder = m_root->path(QStringLiteral("appdata/Velmor"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(::chown(QFile::encodeName(folder).constData(), 65534, 65534) == 0);
    QVERIFY(Platform::localAppDataPath({ QStringLiteral("Velmor") }).isEmpty());
    QCOMPARE(Platform::openPrivateFolder(m_root->path(), { QStringLiteral("appdata"), QStringLiteral("Velmor") }), -1);
    QCOMPARE(errno, EACCES);
}

void tst_PrivateFolder::levelNamesStayInside_data()
{
    QTest::addColumn<QString>("level");
    QTest::newRow("parent") << "..";
    QTest::newRow("self") << ".";
    QTest::newRow("a path") << "a/b";
    QTest::newRow("empty") << "";
}

void tst_PrivateFolder::levelNamesStayInside()
{
    QFETCH(QString, level);
    QVERIFY(Platform::localAppDataPath({ level }).isEmpty());
}

QTEST_GUILESS_MAIN(tst_PrivateFolder)
#include "tst_privatefolder.moc"
