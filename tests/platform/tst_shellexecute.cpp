#include "platform/shellexecute.h"

#include "scratchroot.h"

#include <QFile>
#include <QTest>

#include <memory>

using namespace Velmor::Platform;

class tst_ShellExecute : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void open_data();
    void open();
    void markedProgramNeedsElevation();
    void elevationCommandMissing();

private:
    QString write(const QString &name, const QByteArray &content, QFileDevice::Permissions permissions);

    std::unique_ptr<TestSupport::ScratchRoot> m_root;
};

void tst_ShellExecute::init()
{
    m_root = std::make_unique<TestSupport::ScratchRoot>();
}

void tst_ShellExecute::cleanup()
{
    qunsetenv("VELMOR_ELEVATE_COMMAND");
    m_root.reset();
}

QString tst_ShellExecute::write(const QString &name, const QByteArray &content, QFileDevice::Permissions permissions)
{
    QFile file(m_root->path(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    file.close();
    file.setPermissions(permissions);
    return file.fileName();
}

void tst_ShellExecute::open_data()
{
    QTest::addColumn<QString>("verb");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<quint32>("result");

    QTest::newRow("a script without the execute bit") << "open"
                                                      << "script" << quint32(ShellExecuteStarted);
    QTest::newRow("the default verb") << ""
                                      << "script" << quint32(ShellExecuteStarted);
    QTest::newRow("a program without the execute bit") << "open"
                                                       << "elf" << quint32(ShellExecuteStarted);
    QTest::newRow("a text without an interpreter") << "open"
                                                   << "text" << quint32(SeErrNoAssociation);
    QTest::newRow("a missing file") << "open"
                                    << "missing" << quint32(SeErrFileNotFound);
    QTest::newRow("a missing folder") << "open"
                                      << "nofolder" << quint32(SeErrPathNotFound);
    QTest::newRow("a verb nobody knows") << "print"
                                         << "script" << quint32(SeErrNoAssociation);
}

void tst_ShellExecute::open()
{
    QFETCH(QString, verb);
    QFETCH(QString, kind);
    QFETCH(quint32, result);
    const QString marker = m_root->path(QStringLiteral("marker"));
    const QFileDevice::Permissions readWrite = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QString file;
    if (kind == QLatin1String("script")) {
        file = write(QStringLiteral("setup.exe"), "#!/bin/sh\necho \"$@\" > \"$1\"\n", readWrite);
    } else if (kind == QLatin1String("elf")) {
        QFile touch(QStringLiteral("/usr/bin/touch"));
        QVERIFY(touch.open(QIODevice::ReadOnly));
        file = write(QStringLiteral("setup.exe"), touch.readAll(), readWrite);
    } else if (kind == QLatin1String("text")) {
        file = write(QStringLiteral("notes.txt"), "just words\n", readWrite);
    } else if (kind == QLatin1String("missing")) {
        file = m_root->path(QStringLiteral("none.exe"));
    } else {
        file = m_root->path(QStringLiteral("none/setup.exe"));
    }
    QVERIFY(!file.isEmpty());
    QCOMPARE(shellExecute(verb, file, marker), result);
    if (result == ShellExecuteStarted)
        QTRY_VERIFY(QFile::exists(marker));
}

void tst_ShellExecute::markedProgramNeedsElevation()
{
    const QString record = m_root->path(QStringLiteral("elevations"));
    const QString elevate = write(QStringLiteral("elevate"),
        "#!/bin/sh\necho \"$@\" >> \"" + QFile::encodeName(record) + "\"\nexec \"$@\"\n",
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("VELMOR_ELEVATE_COMMAND", QFile::encodeName(elevate));
    QCOMPARE(elevationCommand(), elevate);
    const QString marker = m_root->path(QStringLiteral("marker"));
    const QString setup = write(QStringLiteral("setup.exe"), "#!/bin/sh\necho \"$@\" > \"$1\"\n",
        QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    QVERIFY(setRunAsAdministrator(setup, true));
    QCOMPARE(shellExecute(QStringLiteral("open"), setup, marker), quint32(SeErrAccessDenied));
    QCOMPARE(shellExecute(QStringLiteral("runas"), setup, marker), quint32(ShellExecuteStarted));
    QTRY_VERIFY(QFile::exists(marker));
    QFile recorded(record);
    QVERIFY(recorded.open(QIODevice::ReadOnly));
    QCOMPARE(recorded.readAll(), "/bin/sh " + QFile::encodeName(setup) + ' ' + QFile::encodeName(marker) + '\n');

    QVERIFY(setRunAsAdministrator(setup, false));
    QVERIFY(QFile::remove(marker));
    QCOMPARE(shellExecute(QStringLiteral("open"), setup, marker), quint32(ShellExecuteStarted));
    QTRY_VERIFY(QFile::exists(marker));
}

void tst_ShellExecute::elevationCommandMissing()
{
    qputenv("VELMOR_ELEVATE_COMMAND", QFile::encodeName(m_root->path(QStringLiteral("no-such-elevator"))));
    const QString setup = write(QStringLiteral("setup.exe"), "#!/bin/sh\nexit 0\n", QFileDevice::ReadOwner);
    QCOMPARE(shellExecute(QStringLiteral("runas"), setup), quint32(SeErrFileNotFound));
}

QTEST_GUILESS_MAIN(tst_ShellExecute)
#include "tst_shellexecute.moc"
