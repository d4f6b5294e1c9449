#include "platform/settingslocks.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using Velmor::Platform::clearAbandonedSettingsLocks;

namespace {

// Writes a lock file, dated seconds ago unless fresh.
QString lockFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content, bool fresh = false)
{
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    file.close();
    if (!fresh) {
        const timespec old[2] = { { ::time(nullptr) - 5, 0 }, { ::time(nullptr) - 5, 0 } };
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), old, 0);
    }
    return path;
}

} // namespace

// Lock files of settings stores that a killed process left empty, which Qt would wait 30 seconds for.
class tst_SettingsLocks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onlyAbandonedLocksGo();
    void abandonedLockNoLongerDelaysAWrite_data();
    void abandonedLockNoLongerDelaysAWrite();
};

void tst_SettingsLocks::onlyAbandonedLocksGo()
{
    QTemporaryDir dir;
    const QString abandoned = lockFile(dir, QStringLiteral("Velmor/Service.ini.lock"), QByteArray());
    const QString fresh = lockFile(dir, QStringLiteral("Velmor/Agent.ini.lock"), QByteArray(), true);
    const QString filled = lockFile(dir, QStringLiteral("Other/Service.ini.lock"), "4242\nprogram\nhost\n");
    const QString held = lockFile(dir, QStringLiteral("Held/Service.ini.lock"), QByteArray());
    const QString freshHeld = lockFile(dir, QStringLiteral("Held/Agent.ini.lock"), QByteArray(), true);
    const QString other = lockFile(dir, QStringLiteral("Velmor/Service.ini"), QByteArray());
    const QString target = lockFile(dir, QStringLiteral("target"), QByteArray());
    const QString link = dir.filePath(QStringLiteral("Velmor/Link.ini.lock"));
    QVERIFY(QFile::link(target, link));
    const int holder = ::open(QFile::encodeName(held).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(holder >= 0);
    QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
    const int freshHolder = ::open(QFile::encodeName(freshHeld).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(freshHolder >= 0);
    QCOMPARE(::flock(freshHolder, LOCK_EX | LOCK_NB), 0);

    clearAbandonedSettingsLocks(dir.path());
    ::close(holder);
    ::close(freshHolder);

    QVERIFY(!QFileInfo::exists(abandoned));
    // Made a moment ago and not locked: what a process killed while taking the lock leaves.
    QVERIFY(!QFileInfo::exists(fresh));
    QVERIFY(QFileInfo::exists(freshHeld));
    QVERIFY(QFileInfo::exists(filled));
    QVERIFY(QFileInfo::exists(held));
    QVERIFY(QFileInfo::exists(other));
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo::exists(target));
}

void tst_SettingsLocks::abandonedLockNoLongerDelaysAWrite_data()
{
    QTest::addColumn<bool>("fresh");
    QTest::newRow("left seconds ago") << false;
    QTest::newRow("left a moment ago") << true;
}

void tst_SettingsLocks::abandonedLockNoLongerDelaysAWrite()
{
    QFETCH(bool, fresh);
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("Velmor/Service.ini"));
    lockFile(dir, QStringLiteral("Velmor/Service.ini.lock"), QByteArray(), fresh);
    clearAbandonedSettingsLocks(dir.path());
    QElapsedTimer elapsed;
    elapsed.start();
    QSettings settings(store, QSettings::IniFormat);
    settings.setValue(QStringLiteral("key"), 1);
    settings.sync();
    QCOMPARE(settings.status(), QSettings::NoError);
    QVERIFY2(elapsed.elapsed() < 10000, "the write waited for the abandoned lock");
}

QTEST_GUILESS_MAIN(tst_SettingsLocks)
#include "tst_settingslocks.moc"
