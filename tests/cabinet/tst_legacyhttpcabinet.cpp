#include "cabinettest.h"

#include "cabinet/legacyhttpcabinet.h"
#include "velmorwire/json.h"
#include "velmorwire/jsonrpc.h"
#include "velmorwire/jsonrpccall.h"
#include "velmorwire/requestmanager_p.h"
#include "velmorwire/sysinfo.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

using namespace Velmor;
using CabinetTest::Machine;
using CabinetTest::TestCabinet;

class tst_LegacyHttpCabinet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void wireBodies();
    void requestHeaders();
    void authentication_data();
    void authentication();
    void challengeOverHttpIsRefused();
    void tls_data();
    void tls();
    void faults_data();
    void faults();
    void deadline();
    void backOff();
    void newCredentialsDuringHeldPost();
    void heldCredentialsLeavePostsInFlight();
    void passwordChecksTravelAlone();
    void httpSchemeNeverConnects();
    void changesWaitForTheAccountService();

private:
    // A cabinet of the account "ann" that has fetched everything.
    std::unique_ptr<TestCabinet> syncedCabinet();

    AccountService m_service;
    AccountService m_httpService;
    std::unique_ptr<Machine> m_machine;
};

void tst_LegacyHttpCabinet::initTestCase()
{
    QVERIFY(m_service.start());
    QVERIFY(m_httpService.start(true));
    CabinetTest::useFakeClock();
}

void tst_LegacyHttpCabinet::init()
{
    m_service.reset();
    m_service.addAccount(QStringLiteral("ann"), QStringLiteral("pw"));
    m_machine.reset(new Machine(m_service));
    QVERIFY(m_machine->isValid());
}

void tst_LegacyHttpCabinet::cleanup()
{
    m_machine.reset();
}

std::unique_ptr<TestCabinet> tst_LegacyHttpCabinet::syncedCabinet()
{
    return CabinetTest::syncedCabinet(*m_machine, QStringLiteral("ann"), QStringLiteral("pw"));
}

void tst_LegacyHttpCabinet::wireBodies()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    const QVariantList log = m_service.log();
    QCOMPARE(log.size(), 3);

    // The first turn's operations travel together; the challenge makes the service see that POST twice.
    const QString first = QStringLiteral(R"([{"id":1,"jsonrpc":"2.0","method":"systemInfo"},)"
                                         R"({"id":2,"jsonrpc":"2.0","method":"categories"},)"
                                         R"({"id":3,"jsonrpc":"2.0","method":"profiles"},)"
                                         R"({"id":4,"jsonrpc":"2.0","method":"userInfo"}])");
    QCOMPARE(log.at(0).toMap().value("body").toString(), first);
    QCOMPARE(log.at(1).toMap().value("body").toString(), first);
    QVERIFY(log.at(0).toMap().value("authorization").isNull());
    QCOMPARE(log.at(1).toMap().value("authorization").toString(), QStringLiteral("Basic YW5uOnB3"));

    // Both profiles' parts in the next turn, in one batch.
    const QString second = log.at(2).toMap().value("body").toString();
    QCOMPARE(CabinetTest::methodsOf(second),
        QStringList({ "userFilter", "domains", "domains", "domains", "schedule", "userFilter", "domains", "domains",
            "domains", "schedule" }));
    QVERIFY(
        second.startsWith(QStringLiteral(R"([{"id":5,"jsonrpc":"2.0","method":"userFilter","params":[101]},)"
                                         R"({"id":6,"jsonrpc":"2.0","method":"domains","params":[101,"white"]},)")));

    // One operation is one object, and "/" goes out escaped.
    QSignalSpy finished(cabinet->testAuth(QStringLiteral("a/b"), QStringLiteral("c")), &Request::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(m_service.bodies().last(),
        QStringLiteral(R"({"id":15,"jsonrpc":"2.0","method":"testAuth","params":["a\/b","c"]})"));
}

void tst_LegacyHttpCabinet::requestHeaders()
{
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    const qint64 after = QDateTime::currentSecsSinceEpoch();

    const QRegularExpression path(QStringLiteral("^/api/json\\?stamp=(\\d+)$"));
    const QVariantList log = m_service.log();
    QVERIFY(!log.isEmpty());
    for (const QVariant &entry : log) {
        const QVariantMap post = entry.toMap();
        const QRegularExpressionMatch match = path.match(post.value("path").toString());
        QVERIFY2(match.hasMatch(), qPrintable(post.value("path").toString()));
        QVERIFY(match.captured(1).toLongLong() >= before && match.captured(1).toLongLong() <= after);

        QMultiMap<QString, QString> headers;
        for (const QVariant &header : post.value("headers").toList())
            headers.insert(header.toList().value(0).toString().toLower(), header.toList().value(1).toString());
        QCOMPARE(headers.values("content-type"), QStringList { "application/json; charset=utf-8" });
        QCOMPARE(headers.values("user-agent"), QStringList { QString::fromUtf8(SysInfo::userAgent()) });
        QCOMPARE(headers.values("connection"), QStringList { "close" });
        QCOMPARE(headers.value("content-length").toInt(), post.value("body").toString().toUtf8().size());
    }
}

void tst_LegacyHttpCabinet::authentication_data()
{
    QTest::addColumn<QVariantMap>("fault");
    QTest::addColumn<bool>("passwordChanged");
    QTest::addColumn<bool>("refused");

    const auto status401 = [](const QString &challenge, int count) {
        return QVariantMap { { "kind", "status" }, { "status", 401 }, { "challenge", challenge }, { "count", count } };
    };
    QTest::newRow("good credentials") << QVariantMap() << false << false;
    QTest::newRow("wrong password") << QVariantMap() << true << true;
    QTest::newRow("second challenge") << status401("basic", 2) << false << true;
    QTest::newRow("401 without a challenge") << status401("none", 1) << false << true;
    QTest::newRow("Bearer challenge") << status401("bearer", 1) << false << true;
}

void tst_LegacyHttpCabinet::authentication()
{
    QFETCH(QVariantMap, fault);
    QFETCH(bool, passwordChanged);
    QFETCH(bool, refused);

    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    QCOMPARE(cabinet->cachedProfiles().size(), 2);
    QCOMPARE(cabinet->lastError().code(), 0u);

    if (passwordChanged)
        m_service.addAccount(QStringLiteral("ann"), QStringLiteral("changed"));
    if (!fault.isEmpty())
        m_service.fault(fault.value("kind").toString(), fault);
    QSignalSpy errors(cabinet.get(), &Cabinet::error);
    if (refused)
        QTest::ignoreMessage(QtWarningMsg, "cabinet auth failure");
    cabinet->connectToServer();

    if (!refused) {
        QVERIFY(QTest::qWaitFor([&] { return cabinet->state() == Cabinet::Connected; }, 15000));
        QVERIFY(CabinetTest::waitIdle(cabinet.get()));
        QCOMPARE(errors.count(), 0);
        QCOMPARE(cabinet->cachedProfiles().size(), 2);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(errors.count() > 0, 15000);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QCOMPARE(cabinet->lastError().code(), 30u);
    QVERIFY(cabinet->lastError().message().isEmpty());
    QCOMPARE(cabinet->state(), int(Cabinet::Disconnected));
    QVERIFY(!cabinet->reconnectTimer().isActive());
    QVERIFY(cabinet->cachedProfiles().isEmpty());
    QVERIFY(cabinet->selectedProfile().isNull());
    QVERIFY(cabinet->cachedUserInfo().planCode.isEmpty());
    // The service's own information is not the account's and stays.
    QVERIFY(cabinet->cachedSystemInfo().safeSearch);

    // Nothing retries refused credentials.
    const int posts = m_service.log().size();
    QTest::qWait(200);
    QCOMPARE(m_service.log().size(), posts);
}

void tst_LegacyHttpCabinet::challengeOverHttpIsRefused()
{
    m_httpService.reset();
    m_httpService.addAccount(QStringLiteral("ann"), QStringLiteral("pw"));
    m_machine->setSetting(QStringLiteral("www"), m_httpService.baseUrl());
    m_machine->storeCredentials(QStringLiteral("ann"), QStringLiteral("pw"));

    QTest::ignoreMessage(QtWarningMsg, "cabinet auth failure");
    TestCabinet cabinet;
    QSignalSpy errors(&cabinet, &Cabinet::error);
    QTRY_VERIFY_WITH_TIMEOUT(errors.count() > 0, 15000);
    QVERIFY(CabinetTest::waitIdle(&cabinet));
    QCOMPARE(cabinet.lastError().code(), 30u);
    QCOMPARE(cabinet.state(), int(Cabinet::Disconnected));
    QVERIFY(!cabinet.reconnectTimer().isActive());

    const QVariantList log = m_httpService.log();
    QVERIFY(!log.isEmpty());
    for (const QVariant &entry : log)
        QVERIFY(entry.toMap().value("authorization").isNull());
}

void tst_LegacyHttpCabinet::tls_data()
{
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<bool>("ignoreErrors");
    QTest::addColumn<bool>("connects");
    QTest::addColumn<QStringList>("errorLines");

    QTest::newRow("trusted") << QString() << false << true << QStringList();
    QTest::newRow("untrusted authority")
        << "untrusted" << false << false
        << QStringList { "^\\d+ \"The issuer certificate of a locally looked up certificate could not be found\" "
                         "\"Velmor Rogue Root\"$",
               "^\\d+ \"No certificates could be verified\" \"Velmor Rogue Root\"$" };
    QTest::newRow("wrong name") << "wrongname" << false << false
                                << QStringList { "^\\d+ \"The host name did not match any of the valid hosts for this "
                                                 "certificate\" \"Velmor Test Root\"$" };
    QTest::newRow("untrusted, errors ignored by the setting") << "untrusted" << true << true << QStringList();
}

void tst_LegacyHttpCabinet::tls()
{
    QFETCH(QString, certificate);
    QFETCH(bool, ignoreErrors);
    QFETCH(bool, connects);
    QFETCH(QStringList, errorLines);

    m_machine->setSetting(QStringLiteral("www-ignore-ssl-errors"), ignoreErrors);
    m_machine->storeCredentials(QStringLiteral("ann"), QStringLiteral("pw"));
    if (!certificate.isEmpty())
        m_service.fault(certificate);
    if (connects) {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("SSL Errors")));
    } else {
        QTest::ignoreMessage(QtWarningMsg, "SSL Errors:");
        for (const QString &line : std::as_const(errorLines))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(line));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^cabinet request failed: ")));
    }

    TestCabinet cabinet;
    QSignalSpy errors(&cabinet, &Cabinet::error);
    if (connects) {
        QTRY_COMPARE_WITH_TIMEOUT(cabinet.state(), int(Cabinet::Connected), 15000);
        QVERIFY(CabinetTest::waitIdle(&cabinet));
        QCOMPARE(cabinet.cachedProfiles().size(), 2);
        QCOMPARE(errors.count(), 0);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(errors.count() > 0, 15000);
    QCOMPARE(cabinet.lastError().code(), 31u);
    QCOMPARE(cabinet.state(), int(Cabinet::Disconnected));
    QVERIFY(cabinet.reconnectTimer().isActive());
    QCOMPARE(cabinet.reconnectTimer().interval(), 30000);
}

void tst_LegacyHttpCabinet::faults_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QVariantMap>("details");
    QTest::addColumn<int>("testAuthCode");
    QTest::addColumn<int>("registerCode");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("warning");

    const int connected = Cabinet::Connected;
    const int disconnected = Cabinet::Disconnected;
    const QString noResponse = QStringLiteral("No valid JSON-RPC response received");
    const QString failed = QStringLiteral("^cabinet request failed: ");
    const QString unreadable = QStringLiteral("^cabinet reply is no JSON-RPC response: ");

    QTest::newRow("refused connection") << "refuse" << QVariantMap() << 31 << 31 << "Connection refused" << disconnected
                                        << failed;
    // Qt sends a request again when the connection closes before any answer; every attempt is reset.
    QTest::newRow("reset connection") << "reset" << QVariantMap { { "count", 5 } } << 31 << 31 << QString()
                                      << disconnected << failed;
    QTest::newRow("403") << "status" << QVariantMap { { "status", 403 } } << 31 << 31 << QString() << disconnected
                         << failed;
    QTest::newRow("500") << "status" << QVariantMap { { "status", 500 } } << 31 << 31 << QString() << disconnected
                         << failed;
    QTest::newRow("302 is not followed") << "status" << QVariantMap { { "status", 302 } } << 31 << 31
                                         << "Unexpected redirect (HTTP 302) to https://elsewhere.example/login"
                                         << disconnected << failed;
    QTest::newRow("HTML page") << "html" << QVariantMap() << 9 << 9 << noResponse << connected << unreadable;
    QTest::newRow("unreadable body, logged cut") << "body" << QVariantMap { { "body", QString(1000, 'x') } } << 9 << 9
                                                 << noResponse << connected << unreadable + QStringLiteral("x{256}$");
    QTest::newRow("empty 200") << "empty" << QVariantMap() << 9 << 9 << noResponse << connected << QString();
    QTest::newRow("partial batch") << "partial" << QVariantMap() << 0 << 9 << noResponse << connected << QString();
    QTest::newRow("wrong ids") << "wrongIds" << QVariantMap() << 9 << 9 << noResponse << connected << QString();
    QTest::newRow("duplicate ids") << "duplicateIds" << QVariantMap() << 0 << 33 << "taken" << connected << QString();
}

void tst_LegacyHttpCabinet::faults()
{
    QFETCH(QString, kind);
    QFETCH(QVariantMap, details);
    QFETCH(int, testAuthCode);
    QFETCH(int, registerCode);
    QFETCH(QString, message);
    QFETCH(int, state);
    QFETCH(QString, warning);

    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    if (kind == QLatin1String("refuse"))
        m_service.setRefusing(true);
    else
        m_service.fault(kind, details);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));

    QSignalSpy errors(cabinet.get(), &Cabinet::error);
    CabinetRequest *auth = cabinet->testAuth(QStringLiteral("ann"), QStringLiteral("pw"));
    CabinetRequest *registration = cabinet->registerUser(QStringLiteral("ann"), QStringLiteral("pw"));
    QSignalSpy authFinished(auth, &Request::finished);
    QSignalSpy registerFinished(registration, &Request::finished);
    unsigned int authCode = 99;
    unsigned int registerCodeSeen = 99;
    QString registerMessage;
    connect(auth, &Request::finished, this, [&] { authCode = auth->error().code(); });
    connect(registration, &Request::finished, this, [&] {
        registerCodeSeen = registration->error().code();
        registerMessage = registration->error().message();
    });
    QTRY_VERIFY_WITH_TIMEOUT(authFinished.count() == 1 && registerFinished.count() == 1, 20000);

    QCOMPARE(int(authCode), testAuthCode);
    QCOMPARE(int(registerCodeSeen), registerCode);
    if (!message.isEmpty() && registerCode != 31)
        QCOMPARE(registerMessage, message);
    if (!message.isEmpty() && registerCode == 31)
        QVERIFY2(registerMessage.contains(message), qPrintable(registerMessage));
    QCOMPARE(cabinet->state(), state);
    if (state == Cabinet::Disconnected) {
        QCOMPARE(cabinet->lastError().code(), 31u);
        QCOMPARE(cabinet->lastError().message(), registerMessage);
        QCOMPARE(errors.count(), 1);
        QVERIFY(cabinet->reconnectTimer().isActive());
        // The account's data survives a network failure.
        QCOMPARE(cabinet->cachedProfiles().size(), 2);
    } else {
        QCOMPARE(cabinet->lastError().code(), 0u);
        QCOMPARE(errors.count(), 0);
    }
    m_service.setRefusing(false);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
}

void tst_LegacyHttpCabinet::deadline()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    m_service.fault(QStringLiteral("hang"));
    const int posts = m_service.log().size();
    CabinetRequest *auth = cabinet->testAuth(QStringLiteral("ann"), QStringLiteral("pw"));
    QSignalSpy finished(auth, &Request::finished);
    unsigned int code = 0;
    QString message;
    connect(auth, &Request::finished, this, [&] {
        code = auth->error().code();
        message = auth->error().message();
    });
    QTRY_COMPARE_WITH_TIMEOUT(m_service.log().size(), posts + 1, 10000);
    QCOMPARE(cabinet->state(), int(Cabinet::Connected));

    CabinetTest::advanceClock(30000);
    CabinetTest::expireRequests();
    QCOMPARE(finished.count(), 0);

    QSignalSpy errors(cabinet.get(), &Cabinet::error);
    QTest::ignoreMessage(QtWarningMsg, "cabinet request abort with reason: 2: <no message>");
    CabinetTest::advanceClock(1);
    CabinetTest::expireRequests();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(code, 31u);
    QCOMPARE(message, QStringLiteral("request timeout"));
    QCOMPARE(cabinet->state(), int(Cabinet::Disconnected));
    QCOMPARE(cabinet->lastError().code(), 31u);
    QCOMPARE(cabinet->lastError().message(), QStringLiteral("request timeout"));
    QCOMPARE(errors.count(), 1);
    QVERIFY(cabinet->reconnectTimer().isActive());
    QCOMPARE(cabinet->reconnectTimer().interval(), 30000);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
}

void tst_LegacyHttpCabinet::backOff()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    m_service.setRefusing(true);

    QList<int> intervals;
    for (int failure = 0; failure < 10; ++failure) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^cabinet request failed: ")));
        cabinet->connectToServer();
        QVERIFY(!cabinet->reconnectTimer().isActive());
        QTRY_VERIFY_WITH_TIMEOUT(cabinet->reconnectTimer().isActive(), 10000);
        intervals.append(cabinet->reconnectTimer().interval() / 1000);
    }
    QCOMPARE(intervals, QList<int>({ 30, 60, 120, 240, 480, 960, 1920, 3600, 3600, 3600 }));

    // A success starts the sequence again.
    m_service.setRefusing(false);
    cabinet->connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(cabinet->state(), int(Cabinet::Connected), 10000);
    QVERIFY(!cabinet->reconnectTimer().isActive());
    QCOMPARE(cabinet->reconnectDelay(), quint16(30));
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));

    m_service.setRefusing(true);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^cabinet request failed: ")));
    cabinet->connectToServer();
    QTRY_VERIFY_WITH_TIMEOUT(cabinet->reconnectTimer().isActive(), 10000);
    QCOMPARE(cabinet->reconnectTimer().interval(), 30000);
    QCOMPARE(cabinet->reconnectDelay(), quint16(60));
    m_service.setRefusing(false);
}

void tst_LegacyHttpCabinet::newCredentialsDuringHeldPost()
{
    m_service.addAccount(QStringLiteral("bob"), QStringLiteral("pw2"), 3, 1);
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    m_service.fault(QStringLiteral("hang"));
    const int posts = m_service.log().size();
    CabinetRequest *held = cabinet->testAuth(QStringLiteral("ann"), QStringLiteral("pw"));
    QSignalSpy heldFinished(held, &Request::finished);
    unsigned int heldCode = 0;
    connect(held, &Request::finished, this, [&] { heldCode = held->error().code(); });
    QTRY_COMPARE_WITH_TIMEOUT(m_service.log().size(), posts + 1, 10000);

    QSignalSpy errors(cabinet.get(), &Cabinet::error);
    QSignalSpy credentials(cabinet.get(), &Cabinet::credentialsUpdated);
    QTest::ignoreMessage(QtWarningMsg, "cabinet request abort with reason: 31: credentials changed");
    QVERIFY(cabinet->setCredentials(QStringLiteral("bob"), QStringLiteral("pw2")));
    QCOMPARE(heldFinished.count(), 1);
    QCOMPARE(heldCode, 31u);
    QCOMPARE(credentials.count(), 1);

    QTRY_COMPARE_WITH_TIMEOUT(cabinet->state(), int(Cabinet::Connected), 15000);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QCOMPARE(errors.count(), 0);
    QCOMPARE(cabinet->lastError().code(), 0u);
    QVERIFY(!cabinet->reconnectTimer().isActive());
    QCOMPARE(cabinet->reconnectDelay(), quint16(30));
    QCOMPARE(cabinet->cachedProfiles().size(), 3);
    QCOMPARE(m_service.log().last().toMap().value("authorization").toString(), QStringLiteral("Basic Ym9iOnB3Mg=="));
}

void tst_LegacyHttpCabinet::heldCredentialsLeavePostsInFlight()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    auto *engine = cabinet->findChild<JsonRPC *>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(engine);
    const int posts = m_service.log().size();
    CabinetDomainsRequest *fetch = cabinet->domains(101, CabinetDomain::Black);
    unsigned int code = 99;
    qsizetype fetched = -1;
    connect(fetch, &Request::finished, this, [&] {
        code = fetch->error().code();
        fetched = code == 0 ? fetch->result.size() : -1;
    });
    // Right after the cabinet has sent the POST, before anything of its answer can have come back.
    int changed = -1;
    connect(engine, &JsonRPC::outgoingRequestReady, this, [&] {
        if (changed < 0)
            changed = cabinet->setCredentials(QStringLiteral("ann"), QStringLiteral("pw"));
    });
    QTRY_VERIFY_WITH_TIMEOUT(code != 99, 10000);
    QCOMPARE(changed, 0);
    QCOMPARE(code, 0u);
    QVERIFY(fetched > 0);
    QCOMPARE(fetched, cabinet->cachedDomains(101, CabinetDomain::Black).size());
    QCOMPARE(cabinet->state(), int(Cabinet::Connected));
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    // The one POST, and no second fetch after a failure.
    QCOMPARE(m_service.log().size(), posts + 1);
}

void tst_LegacyHttpCabinet::passwordChecksTravelAlone()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    const int posts = m_service.log().size();
    // Asked in one turn, with other operations: a POST of many guesses would answer them all at once.
    QList<unsigned int> codes(5, 99);
    for (int i = 0; i < 5; ++i) {
        const QString password = i == 3 ? QStringLiteral("pw") : QStringLiteral("guess-%1").arg(i);
        CabinetRequest *check = cabinet->testAuth(QStringLiteral("ann"), password);
        connect(check, &Request::finished, this, [&codes, check, i] { codes[i] = check->error().code(); });
    }
    cabinet->profiles();
    QTRY_VERIFY_WITH_TIMEOUT(!codes.contains(99u), 30000);
    QCOMPARE(codes, (QList<unsigned int> { 30, 30, 30, 0, 30 }));
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    const QStringList bodies = m_service.bodies().mid(posts);
    int checks = 0;
    for (const QString &body : bodies) {
        const int inThisPost = int(CabinetTest::methodsOf(body).count(QStringLiteral("testAuth")));
        QVERIFY2(inThisPost <= 1, qPrintable(body));
        checks += inThisPost;
    }
    QCOMPARE(checks, 5);
    QVERIFY(CabinetTest::methodsOf(bodies.first()).contains(QStringLiteral("profiles")));
}

void tst_LegacyHttpCabinet::httpSchemeNeverConnects()
{
    m_httpService.reset();
    m_machine->setSetting(QStringLiteral("www"), m_httpService.baseUrl());
    TestCabinet cabinet;
    QSignalSpy systemInfo(&cabinet, &Cabinet::systemInfoChanged);
    QSignalSpy categories(&cabinet, &Cabinet::categoriesChanged);
    QTRY_COMPARE_WITH_TIMEOUT(categories.count(), 1, 10000);
    QCOMPARE(systemInfo.count(), 1);
    QVERIFY(CabinetTest::waitIdle(&cabinet));
    QCOMPARE(cabinet.state(), int(Cabinet::Connecting));
}

// Changes made while the account service is away reach it with the next exchange, in the order they were made; a
// later change of the same setting replaces the waiting one instead of being sent behind it.
void tst_LegacyHttpCabinet::changesWaitForTheAccountService()
{
    auto cabinet = syncedCabinet();
    QVERIFY(cabinet);
    m_service.setRefusing(true);
    QSignalSpy errors(cabinet.get(), &Cabinet::error);
    // Each change in a POST of its own, which fails.
    const auto failed = [&](const std::function<void()> &change) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^cabinet request failed: ")));
        const qsizetype before = errors.size();
        change();
        return QTest::qWaitFor([&] { return errors.size() > before; }, 10000);
    };
    QVERIFY(failed([&] { cabinet->setFilterCat(102, 1, true); }));
    QVERIFY(failed([&] { cabinet->removeDomain(102, CabinetDomain::Black, 1013); }));
    QVERIFY(failed([&] { cabinet->setFilterCat(102, 1, false); }));
    QVERIFY(failed([&] { cabinet->setFilterCat(102, 7, false); }));

    m_service.control({ { QStringLiteral("op"), QStringLiteral("clearLog") } });
    m_service.setRefusing(false);
    cabinet->connectToServer();
    QTRY_COMPARE_WITH_TIMEOUT(cabinet->state(), int(Cabinet::Connected), 10000);
    QVERIFY(CabinetTest::waitIdle(cabinet.get()));
    QStringList changes;
    const QVariantList log = m_service.log();
    for (const QVariant &post : log) {
        // A POST the challenge turned back is seen again with the credentials.
        if (post.toMap().value(QStringLiteral("authorization")).isNull())
            continue;
        const QJsonDocument document
            = QJsonDocument::fromJson(post.toMap().value(QStringLiteral("body")).toString().toUtf8());
        const QJsonArray items = document.isArray() ? document.array() : QJsonArray { document.object() };
        for (const QJsonValue &item : items) {
            const QJsonObject call = item.toObject();
            if (!call.contains(QStringLiteral("id")))
                changes.append(call.value(QStringLiteral("method")).toString() + QLatin1Char(' ')
                    + QString::fromUtf8(
                        QJsonDocument(call.value(QStringLiteral("params")).toArray()).toJson(QJsonDocument::Compact)));
        }
    }
    QCOMPARE(changes,
        QStringList(
            { "removeDomain [102,\"black\",1013]", "setFilterCat [102,1,false]", "setFilterCat [102,7,false]" }));
    QCOMPARE(m_service.account(QStringLiteral("ann")).value(QStringLiteral("filters")).toMap().value("102").toList(),
        QVariantList { 2 });
}

QTEST_GUILESS_MAIN(tst_LegacyHttpCabinet)
#include "tst_legacyhttpcabinet.moc"
