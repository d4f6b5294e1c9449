#include "platform/root.h"

#include "scratchroot.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace Velmor::Platform;

// The machine's root: folders and files with the modes they are made for, whatever the umask, written so that
// a link in their place is replaced, never followed, and temporary files that a kill left behind.
class tst_Root : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void writeSetsTheMode_data();
    void writeSetsTheMode();
    void writeReplacesALink();
    void createRefusesAnExistingFile();
    void foldersGetTheirModes();
    void folderInPlaceOfALinkIsRefused();
    void openFileDoesNotFollowALink();
    void staleTemporaryFilesAreRemoved_data();
    void staleTemporaryFilesAreRemoved();

private:
    static mode_t modeOf(const QString &path)
    {
        struct stat info = {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
    }
    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    std::unique_ptr<TestSupport::ScratchRoot> m_root;
    mode_t m_umask = 022;
};

void tst_Root::init()
{
    m_root = std::make_unique<TestSupport::ScratchRoot>();
    // The most careless caller: everything it makes would be open to every user.
    m_umask = ::umask(0);
}

void tst_Root::cleanup()
{
    ::umask(m_umask);
    m_root.reset();
}

void tst_Root::writeSetsTheMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("replace");
    QTest::newRow("public, new") << int(PublicFileMode) << false;
    QTest::newRow("private, new") << int(PrivateFileMode) << false;
    QTest::newRow("private over public") << int(PrivateFileMode) << true;
}

void tst_Root::writeSetsTheMode()
{
    QFETCH(int, mode);
    QFETCH(bool, replace);
    const QString path = rootPath(QStringLiteral("folder/file"));
    if (replace)
        QVERIFY(writeFileAtomically(path, "old", PublicFileMode));
    QVERIFY(writeFileAtomically(path, "content", mode_t(mode)));
    QCOMPARE(readFile(path), QByteArray("content"));
    QCOMPARE(modeOf(path) & 07777, mode_t(mode));
    QCOMPARE(modeOf(m_root->path("folder")) & 07777, PublicFolderMode);
    // Nothing is left beside it.
    QCOMPARE(QDir(m_root->path("folder")).entryList(QDir::Files | QDir::Hidden), QStringList("file"));
}

void tst_Root::writeReplacesALink()
{
    const QString target = m_root->path("target");
    writeFile(target, "target");
    const QString path = rootPath(QStringLiteral("file"));
    QVERIFY(QFile::link(target, path));

    QVERIFY(writeFileAtomically(path, "mine", PrivateFileMode));
    QVERIFY(S_ISREG(modeOf(path)));
    QCOMPARE(readFile(path), QByteArray("mine"));
    QCOMPARE(readFile(target), QByteArray("target"));
}

void tst_Root::createRefusesAnExistingFile()
{
    const QString path = rootPath(QStringLiteral("registration"));
    QVERIFY(createFileAtomically(path, "first", PrivateFileMode));
    errno = 0;
    QVERIFY(!createFileAtomically(path, "second", PrivateFileMode));
    QCOMPARE(errno, EEXIST);
    QCOMPARE(readFile(path), QByteArray("first"));
    QCOMPARE(modeOf(path) & 07777, PrivateFileMode);
    QCOMPARE(QDir(m_root->path()).entryList(QDir::Files | QDir::Hidden), QStringList("registration"));
}

void tst_Root::foldersGetTheirModes()
{
    rootPath(QStringLiteral("eventlog/Application.log"));
    rootPath(QStringLiteral("keys/machine.key"));
    rootPath(QStringLiteral("appdata/Temp/file"));
    QCOMPARE(modeOf(m_root->path()) & 07777, PublicFolderMode);
    QCOMPARE(modeOf(m_root->path("eventlog")) & 07777, PublicFolderMode);
    QCOMPARE(modeOf(m_root->path("keys")) & 07777, PrivateFolderMode);
    QCOMPARE(modeOf(m_root->path("appdata")) & 07777, PrivateFolderMode);
    QCOMPARE(modeOf(m_root->path("appdata/Temp")) & 07777, PrivateFolderMode);

    // A folder of this user that others could write to is closed again.
    QVERIFY(::chmod(QFile::encodeName(m_root->path("eventlog")).constData(), 0777) == 0);
    rootPath(QStringLiteral("eventlog/Application.log"));
    QCOMPARE(modeOf(m_root->path("eventlog")) & 07777, PublicFolderMode);
    QVERIFY(ensureDir(m_root->path("a/b/c"), PrivateFolderMode));
    QCOMPARE(modeOf(m_root->path("a")) & 07777, PrivateFolderMode);
    QCOMPARE(modeOf(m_root->path("a/b/c")) & 07777, PrivateFolderMode);
}

void tst_Root::folderInPlaceOfALinkIsRefused()
{
    const QString elsewhere = m_root->path("elsewhere");
    QVERIFY(QDir().mkdir(elsewhere));
    QVERIFY(QFile::link(elsewhere, m_root->path("eventlog")));
    errno = 0;
    QVERIFY(!ensureDir(m_root->path("eventlog"), PublicFolderMode));
    QCOMPARE(errno, ELOOP);
    writeFile(m_root->path("file"), "x");
    QVERIFY(!ensureDir(m_root->path("file"), PublicFolderMode));
    QCOMPARE(errno, ENOTDIR);
}

void tst_Root::openFileDoesNotFollowALink()
{
    const QString target = m_root->path("target");
    writeFile(target, "target");
    const QString log = rootPath(QStringLiteral("log"));
    QVERIFY(QFile::link(target, log));
    errno = 0;
    QCOMPARE(openFile(log, O_WRONLY | O_APPEND | O_CREAT, PublicFileMode), -1);
    QCOMPARE(errno, ELOOP);
    QCOMPARE(readFile(target), QByteArray("target"));

    // A file of this user made under another umask gets the mode asked for.
    QVERIFY(::chmod(QFile::encodeName(target).constData(), 0666) == 0);
    const int fd = openFile(target, O_WRONLY | O_APPEND, PublicFileMode);
    QVERIFY(fd >= 0);
    ::close(fd);
    QCOMPARE(modeOf(target) & 07777, PublicFileMode);
}

void tst_Root::staleTemporaryFilesAreRemoved_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("ageSecs");
    QTest::addColumn<bool>("removed");
    QTest::newRow("of an ended process") << ".tmp-%ended-aB3dE6" << 0 << true;
    QTest::newRow("of this process") << ".tmp-%self-aB3dE6" << 0 << false;
    QTest::newRow("registration of an earlier version") << ".new-Zx81Qa" << 0 << true;
    QTest::newRow("registry key of an earlier version") << "software.key.Zx81Qa" << 0 << true;
    QTest::newRow("settings store, old") << "Service.ini.Zx81Qa" << 120 << true;
    QTest::newRow("settings store, being written") << "Service.ini.Zx81Qa" << 0 << false;
    QTest::newRow("a registry key") << "software.key" << 120 << false;
    QTest::newRow("a settings store") << "Service.ini" << 120 << false;
    QTest::newRow("a name like one") << ".tmp-12-toolong7" << 120 << false;
}

void tst_Root::staleTemporaryFilesAreRemoved()
{
    QFETCH(QString, name);
    QFETCH(int, ageSecs);
    QFETCH(bool, removed);
    QProcess ended;
    ended.start(QStringLiteral("/bin/true"));
    QVERIFY(ended.waitForStarted());
    const qint64 endedPid = ended.processId();
    QVERIFY(ended.waitForFinished());
    name.replace(QLatin1String("%ended"), QString::number(endedPid));
    name.replace(QLatin1String("%self"), QString::number(QCoreApplication::applicationPid()));

    const QString path = rootPath(QStringLiteral("registry/hkey_local_machine/") + name);
    writeFile(path, "left over");
    const time_t then = ::time(nullptr) - ageSecs;
    const struct utimbuf times = { then, then };
    QVERIFY(::utime(QFile::encodeName(path).constData(), &times) == 0);

    removeStaleTemporaryFiles();
    QCOMPARE(QFile::exists(path), !removed);
}

QTEST_GUILESS_MAIN(tst_Root)
#include "tst_root.moc"
