#include "consoletest.h"
#include "fakeservice.h"
#include "vendorsitefixture.h"

#include "app/agent.h"
#include "mainwindow/mainwidget.h"
#include "mainwindow/updatedialog.h"
#include "model/appupdater.h"

#include "platform/shellexecute.h"

#include <QFile>
#include <QJsonObject>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

// The Agent's side of an update: the check at start, the downloaded installer moved to its fixed name and started,
// through the elevation command when the program must run elevated, and the leftover of an earlier update.
class tst_AgentUpdate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void installerStarts_data();
    void installerStarts();
    void leftoverInstallerIsDeleted();

private:
    std::unique_ptr<VendorSiteFixture> m_site;
    std::unique_ptr<ConsoleTest::Desktop> m_desktop;
    QTemporaryDir m_folder;
};

void tst_AgentUpdate::initTestCase()
{
    m_site = std::make_unique<VendorSiteFixture>();
    QVERIFY(m_site->isRunning());
}

void tst_AgentUpdate::cleanup()
{
    m_desktop.reset();
    qunsetenv("VELMOR_ELEVATE_COMMAND");
}

void tst_AgentUpdate::installerStarts_data()
{
    QTest::addColumn<bool>("runAsAdministrator");
    QTest::newRow("opened") << false;
    QTest::newRow("marked to run elevated") << true;
}

void tst_AgentUpdate::installerStarts()
{
    QFETCH(bool, runAsAdministrator);
    const QString marker = m_folder.filePath(QStringLiteral("installer-ran-%1").arg(QTest::currentDataTag()));
    const QString elevations = m_folder.filePath(QStringLiteral("elevations"));
    QFile::remove(elevations);
    const QString elevate = m_folder.filePath(QStringLiteral("elevate"));
    QFile script(elevate);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho \"$@\" >> \"" + QFile::encodeName(elevations) + "\"\nexec \"$@\"\n");
    script.close();
    QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    qputenv("VELMOR_ELEVATE_COMMAND", QFile::encodeName(elevate));
    m_site->setConfig(QJsonObject { { "routes",
        QJsonObject { { "/downloads/agent.version", QJsonObject { { "body", "2.4\nNew things.\n" } } },
            { "/downloads/velmor-agent-setup.exe",
                QJsonObject { { "body", "#!/bin/sh\necho ran > \"" + marker + "\"\n" } } } } } });

    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")), true);
    Agent *agent = m_desktop->agent.get();
    AppUpdater *updater = agent->updater();
    QVERIFY(updater);
    QCOMPARE(updater->parent(), agent->mainWidget());
    QTRY_VERIFY_WITH_TIMEOUT(agent->updateDialog(), 20000);
    QCOMPARE(agent->updateDialog()->parentWidget(), agent->mainWidget());
    if (runAsAdministrator)
        QVERIFY(Velmor::Platform::setRunAsAdministrator(Agent::installerPath(), true));

    QSignalSpy finished(updater, &AppUpdater::finished);
    agent->updateDialog()->findChild<QPushButton *>(QStringLiteral("install"))->click();
    QVERIFY(finished.wait(20000));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 20000);
    QVERIFY(QFile::exists(Agent::installerPath()));
    QCOMPARE(QFile::exists(elevations), runAsAdministrator);
    if (runAsAdministrator) {
        QFile recorded(elevations);
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        QCOMPARE(recorded.readAll(), "/bin/sh " + QFile::encodeName(Agent::installerPath()) + '\n');
    }
}

void tst_AgentUpdate::leftoverInstallerIsDeleted()
{
    m_site->setConfig(QJsonObject {
        { "routes", QJsonObject { { "/downloads/agent.version", QJsonObject { { "body", "2.3.63.4\n" } } } } } });
    m_site->clearLog();
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("protected")), true);
    // The Agent's start-up goes on once the event loop runs.
    QFile leftover(Agent::installerPath());
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.write("old installer");
    leftover.close();
    QTRY_VERIFY(!QFile::exists(Agent::installerPath()));
    QTRY_COMPARE(m_site->requests().size(), 1);
    QVERIFY(!m_desktop->agent->updateDialog());
}

CONSOLE_TEST_MAIN(tst_AgentUpdate)
#include "tst_agentupdate.moc"
