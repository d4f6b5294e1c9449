#include "core/ipcrequesthandler.h"
#include "model/requesthandler.h"

#include "velmorwire/methodnames.h"

#include "scratchroot.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaMethod>
#include <QtTest>

using namespace Velmor;

namespace {

// What the link looks for when a message comes (JsonRPC::setRequestHandler): a method the receiver's own class
// declares, of that name and parameter count (any count: -1). Both handlers declare only public slots for the link.
bool hasSlot(const QMetaObject &meta, const QByteArray &name, int parameters)
{
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        if (method.name() == name && (parameters < 0 || method.parameterCount() == parameters)
            && method.methodType() == QMetaMethod::Slot && method.access() == QMetaMethod::Public)
            return true;
    }
    return false;
}

QByteArray fixtureText(const QString &relative)
{
    QFile file(TestSupport::fixture(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Each name the two programs send each other, with the parameter count its sender uses, has a slot to land in, and
// the python peers of the tests speak the same names.
class tst_MethodNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void desktopCalls_data();
    void desktopCalls();
    void servicePushes_data();
    void servicePushes();
    void fakeServiceScripts_data();
    void fakeServiceScripts();
};

void tst_MethodNames::desktopCalls_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("parameters");

    const struct
    {
        const char *name;
        int parameters;
    } table[] = {
        { DesktopCall::setSetting, 2 },
        { DesktopCall::setLocalDnsAddress, 2 },
        { DesktopCall::setNetworkProtection, 3 },
        { DesktopCall::registerUser, 2 },
        { DesktopCall::unlockSettings, 2 },
        { DesktopCall::setCredentials, 2 },
        { DesktopCall::setTokensEnabled, 1 },
        { DesktopCall::setSettingsProtection, 1 },
        { DesktopCall::setGlobalFiltering, 2 },
        { DesktopCall::setProfile, 1 },
        { DesktopCall::addProfile, 1 },
        { DesktopCall::removeProfile, 1 },
        { DesktopCall::systemInfo, 0 },
        { DesktopCall::categories, 0 },
        { DesktopCall::userFilter, 1 },
        { DesktopCall::domains, 2 },
        { DesktopCall::clearDomains, 2 },
        { DesktopCall::setFilterCat, 3 },
        { DesktopCall::addDomain, 4 },
        // Without the alias's address, as the python desktop peer sends it.
        { DesktopCall::addDomain, 3 },
        { DesktopCall::removeDomain, 3 },
        { DesktopCall::schedule, 1 },
        { DesktopCall::setScheduleEnabled, 2 },
        { DesktopCall::setSchedule, 2 },
        { DesktopCall::setWhiteListOnly, 2 },
        { DesktopCall::setSafeSearchEnabled, 2 },
        { DesktopCall::updateProfiles, 0 },
        { DesktopCall::updateUserInfo, 0 },
    };
    for (const auto &row : table)
        QTest::addRow("%s/%d", row.name, row.parameters) << QByteArray(row.name) << row.parameters;
}

void tst_MethodNames::desktopCalls()
{
    QFETCH(QByteArray, name);
    QFETCH(int, parameters);

    QVERIFY(hasSlot(IPCRequestHandler::staticMetaObject, name, parameters));
    // The python desktop peer calls every one of the service's methods.
    QVERIFY2(fixtureText(QStringLiteral("warden_client.py")).contains('"' + name + '"'),
        "tests/fixtures/warden_client.py does not spell the name");
}

void tst_MethodNames::servicePushes_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("parameters");
    QTest::addColumn<QString>("spelledBy"); // the python peer's file that speaks the name; empty: none does

    const QString client = QStringLiteral("warden_client.py");
    const QString signIn = QStringLiteral("console_service/signin.json");
    const struct
    {
        const char *name;
        int parameters;
        QString spelledBy;
    } table[] = {
        { ServicePush::setSettings, 1, client },
        { ServicePush::setSystemInfo, 1, client },
        { ServicePush::setCategories, 1, client },
        { ServicePush::setIdentification, 2, client },
        { ServicePush::setIdentificationError, 2, client },
        { ServicePush::setCredentials, 2, client },
        { ServicePush::setUserInfo, 1, client },
        { ServicePush::setProfiles, 2, client },
        { ServicePush::setSelectedProfile, 1, signIn },
        { ServicePush::setProfileScheduleActivity, 2, client },
        { ServicePush::setNetworks, 1, client },
        { ServicePush::setSettingsLocked, 1, client },
        { ServicePush::setGlobalFiltering, 1, client },
        { ServicePush::setNetworkProtection, 2, signIn },
        { ServicePush::setUserFilter, 2, QString() },
        { ServicePush::setDomains, 3, QString() },
    };
    for (const auto &row : table) {
        QTest::addRow("%s/%d", row.name, row.parameters) << QByteArray(row.name) << row.parameters << row.spelledBy;
    }
}

void tst_MethodNames::servicePushes()
{
    QFETCH(QByteArray, name);
    QFETCH(int, parameters);
    QFETCH(QString, spelledBy);

    QVERIFY(hasSlot(RequestHandler::staticMetaObject, name, parameters));
    if (!spelledBy.isEmpty()) {
        QVERIFY2(fixtureText(spelledBy).contains('"' + name + '"'),
            qPrintable(QStringLiteral("tests/fixtures/%1 does not spell the name").arg(spelledBy)));
    }
}

void tst_MethodNames::fakeServiceScripts_data()
{
    QTest::addColumn<QString>("script");

    const QDir scripts(TestSupport::fixture(QStringLiteral("console_service")));
    const QStringList names = scripts.entryList({ QStringLiteral("*.json") }, QDir::Files, QDir::Name);
    QVERIFY2(!names.isEmpty(), qPrintable(scripts.path() + QLatin1String(" holds no scripts")));
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << QStringLiteral("console_service/") + name;
}

// The python fake service pushes what its script says and answers the calls named in it: a name that the programs
// no longer use would leave a desktop suite waiting for a push that never lands.
void tst_MethodNames::fakeServiceScripts()
{
    QFETCH(QString, script);

    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(fixtureText(script), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QJsonArray pushes = root.value(QLatin1String("push")).toArray();
    const QJsonObject answers = root.value(QLatin1String("answers")).toObject();
    for (auto it = answers.begin(); it != answers.end(); ++it) {
        QVERIFY2(hasSlot(IPCRequestHandler::staticMetaObject, it.key().toLatin1(), -1),
            qPrintable(QStringLiteral("the service has no method %1").arg(it.key())));
        const QJsonArray answerList = it.value().isArray() ? it.value().toArray() : QJsonArray { it.value() };
        for (const QJsonValue &answer : answerList) {
            for (const QJsonValue &push : answer.toObject().value(QLatin1String("push")).toArray())
                pushes.append(push);
        }
    }
    for (const QJsonValue &push : std::as_const(pushes)) {
        const QJsonArray message = push.toArray();
        const QByteArray name = message.at(0).toString().toLatin1();
        const int parameters = int(message.at(1).toArray().size());
        QVERIFY2(hasSlot(RequestHandler::staticMetaObject, name, parameters),
            qPrintable(QStringLiteral("the desktop has no slot %1 of %2 parameters")
                           .arg(QLatin1String(name))
                           .arg(parameters)));
    }
}

QTEST_GUILESS_MAIN(tst_MethodNames)
#include "tst_methodnames.moc"
