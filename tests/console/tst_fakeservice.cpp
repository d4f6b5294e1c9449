#include "consoletest.h"
#include "fakeservice.h"

#include "app/agent.h"
#include "model/serviceconnector.h"

#include "velmorwire/jsonrpccall.h"
#include "velmorwire/request.h"
#include "velmorwire/requestmanager.h"

#include <QSignalSpy>

// Both fake services keep the one script format the desktop suites rely on: the push on connecting, answers
// used up in order (the last repeating), results, errors, delays, a dropped link and pushes after an answer.
class tst_FakeService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scriptedAnswers_data();
    void scriptedAnswers();
};

void tst_FakeService::scriptedAnswers_data()
{
    QTest::addColumn<bool>("python");
    QTest::newRow("in-process") << false;
    QTest::newRow("python") << true;
}

void tst_FakeService::scriptedAnswers()
{
    QFETCH(bool, python);
    QVariantMap script = ConsoleTest::script(QStringLiteral("protected"));
    QVariantMap answers = script.value(QStringLiteral("answers")).toMap();
    answers.insert(QStringLiteral("probe"),
        QVariantList { QVariantMap { { QStringLiteral("delay"), 200 }, { QStringLiteral("result"), 1 } },
            QVariantMap { { QStringLiteral("result"), QStringLiteral("fast") },
                { QStringLiteral("push"),
                    QVariantList { QVariantList {
                        QStringLiteral("setGlobalFiltering"), QVariantList { QStringLiteral("$0") } } } } },
            QVariantMap { { QStringLiteral("error"),
                QVariantMap { { QStringLiteral("code"), 33 },
                    { QStringLiteral("message"), QStringLiteral("Without reason") } } } },
            QVariantMap { { QStringLiteral("drop"), true } } });
    script.insert(QStringLiteral("answers"), answers);

    ConsoleTest::Machine machine;
    FakeService inProcess;
    std::unique_ptr<ConsoleTest::PythonService> external;
    if (python) {
        external = std::make_unique<ConsoleTest::PythonService>(script);
        QVERIFY(external->isListening());
        qputenv("VELMOR_IPC_PORT", QByteArray::number(external->port()));
    } else {
        inProcess.setScript(script);
        QVERIFY(inProcess.listen());
        qputenv("VELMOR_IPC_PORT", QByteArray::number(inProcess.port()));
    }
    Agent agent;
    QTRY_COMPARE(agent.status()->state(), int(ServiceStatus::Protected));

    Velmor::JsonRPCCall *slow = agent.connector()->call("probe", { false });
    Velmor::JsonRPCCall *fast = agent.connector()->call("probe", { false });
    QSignalSpy slowDone(slow, &Velmor::JsonRPCCall::finished);
    QSignalSpy fastDone(fast, &Velmor::JsonRPCCall::finished);
    int order = 0;
    int slowAt = 0;
    int fastAt = 0;
    QVariant slowResult;
    QVariant fastResult;
    connect(slow, &Velmor::JsonRPCCall::finished, this, [&] {
        slowAt = ++order;
        slowResult = slow->result();
    });
    connect(fast, &Velmor::JsonRPCCall::finished, this, [&] {
        fastAt = ++order;
        fastResult = fast->result();
    });
    QTRY_COMPARE(order, 2);
    QCOMPARE(fastAt, 1);
    QCOMPARE(slowAt, 2);
    QCOMPARE(slowResult.toInt(), 1);
    QCOMPARE(fastResult.toString(), QStringLiteral("fast"));
    // The push after the answer carried the request's first parameter.
    QTRY_COMPARE(agent.status()->state(), int(ServiceStatus::FilteringOff));

    Velmor::JsonRPCCall *refused = agent.connector()->call("probe", { true });
    QSignalSpy refusedDone(refused, &Velmor::JsonRPCCall::finished);
    quint32 code = 0;
    QString message;
    connect(refused, &Velmor::JsonRPCCall::finished, this, [&] {
        code = refused->error().code();
        message = refused->error().message();
    });
    QTRY_COMPARE(code, 33u);
    QCOMPARE(message, QStringLiteral("Without reason"));

    QSignalSpy lost(agent.connector(), &ServiceConnector::disconnected);
    agent.connector()->call("probe", { true });
    QTRY_COMPARE(lost.size(), 1);
    QTRY_COMPARE(agent.status()->state(), int(ServiceStatus::ServiceUnreachable));
    // The dropped call fails with code 3 at the next send, not at its deadline after the test.
    agent.connector()->notify("probe");
    QTRY_VERIFY(Velmor::RequestManager::instance()->requests().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Every message was logged, with its parameters as written.
    if (python) {
        QStringList probes;
        for (const QString &line : external->lines()) {
            if (line.contains(QLatin1String("\"method\": \"probe\"")))
                probes.append(line);
        }
        QCOMPARE(probes.size(), 4);
        QVERIFY(probes.first().endsWith(QLatin1String("\"method\": \"probe\", \"params\": \"[false]\"}")));
    } else {
        QCOMPARE(inProcess.messages(QStringLiteral("probe")).size(), 4);
        QCOMPARE(inProcess.messages(QStringLiteral("probe")).first().paramsText, QStringLiteral("[false]"));
    }
    qunsetenv("VELMOR_IPC_PORT");
}

CONSOLE_TEST_MAIN(tst_FakeService)
#include "tst_fakeservice.moc"
