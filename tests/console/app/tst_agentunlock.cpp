#include "consoletest.h"
#include "fakeservice.h"

#include "app/agent.h"
#include "app/unlockflag.h"
#include "mainwindow/mainwidget.h"
#include "model/serviceconnector.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>

// The answering side of the unlock hand-shake, in the test process: requests of another copy are answered in
// the flag segment, the program's own request ends the event loop with 100 or 101.
class tst_AgentUnlock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void grantedWithoutAsking_data();
    void grantedWithoutAsking();
    void lockedSettingsAskTheUser_data();
    void lockedSettingsAskTheUser();
    void requestDuringFirstConnectIsNotGranted();
    void ownRequest_data();
    void ownRequest();

private:
    QWidget *page() const { return m_desktop->agent->mainWidget()->findChild<QWidget *>(QStringLiteral("loginPage")); }
    QString prompt() const
    {
        return m_desktop->agent->mainWidget()->findChild<QLabel *>(QStringLiteral("lblSignupError"))->text();
    }
    void press(const char *button) const
    {
        m_desktop->agent->mainWidget()->findChild<QPushButton *>(QLatin1String(button))->click();
    }
    void type(const QString &password) const
    {
        m_desktop->agent->mainWidget()->findChild<QLineEdit *>(QStringLiteral("lePassword"))->setText(password);
    }
    static void sendMessage(const QString &message)
    {
        auto app = qobject_cast<QtSingleApplication *>(qApp);
        Q_EMIT app->messageReceived(message);
    }
    // Runs the application's event loop until something ends it; step runs every few milliseconds meanwhile.
    static int execWhile(const std::function<void()> &step);

    std::unique_ptr<ConsoleTest::Desktop> m_desktop;
};

int tst_AgentUnlock::execWhile(const std::function<void()> &step)
{
    QTimer poll;
    connect(&poll, &QTimer::timeout, step);
    poll.start(10);
    QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(-1); });
    return QCoreApplication::exec();
}

void tst_AgentUnlock::cleanup()
{
    m_desktop.reset();
}

void tst_AgentUnlock::grantedWithoutAsking_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("service unreachable") << "unreachable";
    QTest::newRow("settings unlocked") << "unlocked";
    QTest::newRow("user not identified") << "unidentified";
}

void tst_AgentUnlock::grantedWithoutAsking()
{
    QFETCH(QString, situation);
    QVariantMap script = ConsoleTest::script(
        situation == QLatin1String("unlocked") ? QStringLiteral("protected") : QStringLiteral("locked"));
    if (situation == QLatin1String("unidentified")) {
        script = ConsoleTest::withPush(script, QStringLiteral("setIdentification"), QVariant());
        QVariantList push = script.value(QStringLiteral("push")).toList();
        push.append(QVariant(QVariantList { QStringLiteral("setIdentificationError"),
            QVariantList {
                1, QVariantMap { { QStringLiteral("code"), 31 }, { QStringLiteral("message"), QString() } } } }));
        script.insert(QStringLiteral("push"), push);
    }
    m_desktop = std::make_unique<ConsoleTest::Desktop>(script, true);
    if (situation == QLatin1String("unreachable"))
        m_desktop->service->stop();
    Agent *agent = m_desktop->agent.get();
    if (situation == QLatin1String("unreachable"))
        QTRY_VERIFY(agent->connector()->connectionFailed());
    else
        QTRY_VERIFY(agent->status()->isConnectionComplete());

    UnlockFlag flag;
    QVERIFY(flag.create());
    sendMessage(QStringLiteral("unlock uninstall"));
    QTRY_COMPARE(int(flag.value()), int(UnlockFlag::Granted));
    QVERIFY(!page()->isVisible());
}

void tst_AgentUnlock::lockedSettingsAskTheUser_data()
{
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("answer");
    QTest::newRow("uninstall, cancelled") << "uninstall" << QString() << false << int(UnlockFlag::Canceled);
    QTest::newRow("uninstall, password") << "uninstall"
                                         << "typed" << true << int(UnlockFlag::Granted);
    QTest::newRow("other reason, password") << "Uninstall"
                                            << "typed" << true << int(UnlockFlag::Granted);
    QTest::newRow("wrong password, then cancel") << ""
                                                 << "wrong" << false << int(UnlockFlag::Canceled);
}

void tst_AgentUnlock::lockedSettingsAskTheUser()
{
    QFETCH(QString, reason);
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    QFETCH(int, answer);
    QVariantMap script = ConsoleTest::script(QStringLiteral("locked"));
    if (!accepted && !password.isEmpty()) {
        QVariantMap answers = script.value(QStringLiteral("answers")).toMap();
        answers.insert(QStringLiteral("unlockSettings"),
            QVariantMap { { QStringLiteral("error"),
                QVariantMap { { QStringLiteral("code"), 30 }, { QStringLiteral("message"), QStringLiteral("") } } } });
        script.insert(QStringLiteral("answers"), answers);
    }
    m_desktop = std::make_unique<ConsoleTest::Desktop>(script, true);
    Agent *agent = m_desktop->agent.get();
    FakeService *service = m_desktop->service.get();
    QTRY_COMPARE(agent->status()->state(), int(ServiceStatus::Protected));
    QCOMPARE(agent->mainWidget()->loginMode(), 1);
    agent->mainWidget()->hide();

    UnlockFlag flag;
    QVERIFY(flag.create());
    sendMessage(InstanceMessage::unlock(reason));
    QTRY_VERIFY(page()->isVisible());
    QVERIFY(agent->mainWidget()->isVisible());
    QVERIFY(!agent->isUnlockPending());
    if (reason == QLatin1String("uninstall"))
        QCOMPARE(prompt(), QStringLiteral("Enter your password to uninstall"));
    else
        QVERIFY(!prompt().contains(QLatin1String("uninstall")));
    QCOMPARE(int(flag.value()), int(UnlockFlag::NoAnswer));

    if (!password.isEmpty()) {
        type(password);
        press("pbLogin");
        QTRY_COMPARE(service->messages(QStringLiteral("unlockSettings")).size(), 1);
        QCOMPARE(service->messages(QStringLiteral("unlockSettings")).first().paramsText,
            QStringLiteral("[\"user@example.com\",\"%1\"]").arg(password));
    }
    if (!accepted) {
        if (!password.isEmpty())
            QTRY_COMPARE(prompt(), QStringLiteral("Incorrect password"));
        QCOMPARE(int(flag.value()), int(UnlockFlag::NoAnswer));
        press("pbCancelLogin");
    }
    QTRY_COMPARE(int(flag.value()), answer);
    // The desktop never sends the locked service's empty password back.
    QCOMPARE(service->messages(QStringLiteral("setCredentials")).size(), 0);
}

// A request that arrives while the first connection is still being made waits for the service: granting it
// then would skip the password of locked settings.
void tst_AgentUnlock::requestDuringFirstConnectIsNotGranted()
{
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(QStringLiteral("locked")), true);
    Agent *agent = m_desktop->agent.get();
    UnlockFlag flag;
    QVERIFY(flag.create());
    agent->requestUnlock(true, QStringLiteral("uninstall"));
    QVERIFY(agent->isUnlockPending());
    QTRY_VERIFY(page()->isVisible());
    QCOMPARE(prompt(), QStringLiteral("Enter your password to uninstall"));
    QCOMPARE(int(flag.value()), int(UnlockFlag::NoAnswer));
    press("pbCancelLogin");
    QTRY_COMPARE(int(flag.value()), int(UnlockFlag::Canceled));
}

void tst_AgentUnlock::ownRequest_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("serviceUp");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("service unreachable") << "locked" << false << QString() << 100;
    QTest::newRow("settings unlocked") << "protected" << true << QString() << 100;
    QTest::newRow("locked, cancelled") << "locked" << true << "pbCancelLogin" << 101;
    QTest::newRow("locked, password") << "locked" << true << "pbLogin" << 100;
}

void tst_AgentUnlock::ownRequest()
{
    QFETCH(QString, script);
    QFETCH(bool, serviceUp);
    QFETCH(QString, action);
    QFETCH(int, exitCode);
    m_desktop = std::make_unique<ConsoleTest::Desktop>(ConsoleTest::script(script), true);
    if (!serviceUp)
        m_desktop->service->stop();
    Agent *agent = m_desktop->agent.get();
    // As main does for "-p": before the event loop, so the request meets the first connection.
    agent->requestUnlock(false, QStringLiteral("uninstall"));
    bool pageSeen = false;
    const int code = execWhile([&] {
        if (action.isEmpty() || pageSeen || !page()->isVisible())
            return;
        pageSeen = true;
        type(QStringLiteral("typed"));
        press(action.toLatin1().constData());
    });
    QCOMPARE(code, exitCode);
    QCOMPARE(pageSeen, !action.isEmpty());
}

CONSOLE_TEST_MAIN(tst_AgentUnlock)
#include "tst_agentunlock.moc"
