#include "consoletest.h"
#include "fakeservice.h"

#include "model/settingsunlock.h"

#include "velmorwire/accountdatatypes.h"
#include "velmorwire/deferred.h"
#include "velmorwire/error.h"
#include "velmorwire/jsonrpccall.h"

#include <QSignalSpy>

// The gate of locked settings on the desktop's model alone: what passes at once, what waits for the password, and
// what an unlock or a cancel does with what waited.
class tst_SettingsUnlock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void commandPassesWhileUnlocked_data();
    void commandPassesWhileUnlocked();
    void commandWaitsForThePassword_data();
    void commandWaitsForThePassword();
    void cancelDropsWhatWaited();
    void unlockWithNothingWaitingLeadsToTheSettings();

private:
    void command(const QString &which, bool expectedResult);
    // Every call sent before it has reached the service once a later one has.
    void roundTrip();

    std::unique_ptr<ConsoleTest::Model> m_model;
    std::unique_ptr<SettingsUnlock> m_unlock;
};

void tst_SettingsUnlock::initTestCase()
{
    Velmor::registerErrorMetaType();
    Velmor::registerDeferredMetaType();
    Velmor::registerAccountDataTypes();
}

void tst_SettingsUnlock::init()
{
    m_model = std::make_unique<ConsoleTest::Model>(ConsoleTest::script(QStringLiteral("protected")));
    m_unlock = std::make_unique<SettingsUnlock>(&m_model->status, &m_model->cabinet);
    QTRY_COMPARE(m_model->status.state(), int(ServiceStatus::Protected));
}

void tst_SettingsUnlock::cleanup()
{
    m_unlock.reset();
    m_model.reset();
}

void tst_SettingsUnlock::command(const QString &which, bool expectedResult)
{
    if (which == QLatin1String("pause"))
        QCOMPARE(m_unlock->turnOffFiltering(15), expectedResult);
    else
        QCOMPARE(m_unlock->selectProfile(7), expectedResult);
}

void tst_SettingsUnlock::roundTrip()
{
    QSignalSpy finished(m_model->connector.call("probe"), &Velmor::JsonRPCCall::finished);
    QTRY_COMPARE(finished.size(), 1);
}

void tst_SettingsUnlock::commandPassesWhileUnlocked_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("params");
    QTest::addColumn<int>("mode");
    QTest::newRow("pause, signing in") << "pause"
                                       << "setGlobalFiltering"
                                       << "[false,15]" << int(SettingsUnlock::SignIn);
    QTest::newRow("profile, signing up") << "profile"
                                         << "setProfile"
                                         << "[7]" << int(SettingsUnlock::SignUp);
}

void tst_SettingsUnlock::commandPassesWhileUnlocked()
{
    QFETCH(QString, which);
    QFETCH(QString, method);
    QFETCH(QString, params);
    QFETCH(int, mode);
    m_unlock->setMode(SettingsUnlock::LoginMode(mode));
    QSignalSpy needed(m_unlock.get(), &SettingsUnlock::unlockNeeded);
    QSignalSpy taken(m_unlock.get(), &SettingsUnlock::profileTaken);
    command(which, true);
    QTRY_COMPARE(m_model->service->messages(method).size(), 1);
    QCOMPARE(m_model->service->messages(method).first().paramsText, params);
    QCOMPARE(needed.size(), 0);
    QCOMPARE(taken.size(), which == QLatin1String("profile") ? 1 : 0);
}

void tst_SettingsUnlock::commandWaitsForThePassword_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("params");
    QTest::newRow("pause") << "pause"
                           << "setGlobalFiltering"
                           << "[false,15]";
    QTest::newRow("profile") << "profile"
                             << "setProfile"
                             << "[7]";
}

void tst_SettingsUnlock::commandWaitsForThePassword()
{
    QFETCH(QString, which);
    QFETCH(QString, method);
    QFETCH(QString, params);
    m_unlock->setMode(SettingsUnlock::Unlock);
    QVERIFY(m_unlock->isLocked());
    QSignalSpy needed(m_unlock.get(), &SettingsUnlock::unlockNeeded);
    QSignalSpy taken(m_unlock.get(), &SettingsUnlock::profileTaken);
    command(which, false);
    QCOMPARE(needed.size(), 1);
    roundTrip();
    QCOMPARE(m_model->service->messages(method).size(), 0);
    QCOMPARE(taken.size(), 0);

    // The password was accepted: what waited goes, and the window returns to the status it was asked from.
    QCOMPARE(m_unlock->unlocked(), SettingsUnlock::ToStatus);
    QTRY_COMPARE(m_model->service->messages(method).size(), 1);
    QCOMPARE(m_model->service->messages(method).first().paramsText, params);
    QCOMPARE(taken.size(), which == QLatin1String("profile") ? 1 : 0);
    // Done once: a second unlock sends nothing more.
    QCOMPARE(m_unlock->unlocked(), SettingsUnlock::ToSettings);
    roundTrip();
    QCOMPARE(m_model->service->messages(method).size(), 1);
}

void tst_SettingsUnlock::cancelDropsWhatWaited()
{
    m_unlock->setMode(SettingsUnlock::Unlock);
    command(QStringLiteral("pause"), false);
    command(QStringLiteral("profile"), false);
    m_unlock->cancel();
    m_unlock->unlocked();
    roundTrip();
    QCOMPARE(m_model->service->messages(QStringLiteral("setGlobalFiltering")).size(), 0);
    QCOMPARE(m_model->service->messages(QStringLiteral("setProfile")).size(), 0);
}

void tst_SettingsUnlock::unlockWithNothingWaitingLeadsToTheSettings()
{
    m_unlock->setMode(SettingsUnlock::Unlock);
    QCOMPARE(m_unlock->unlocked(), SettingsUnlock::ToSettings);
    // A sign-in that ends the wait forgets where the unlock would have led.
    command(QStringLiteral("pause"), false);
    m_unlock->forgetReturn();
    QCOMPARE(m_unlock->unlocked(), SettingsUnlock::ToSettings);
    QTRY_COMPARE(m_model->service->messages(QStringLiteral("setGlobalFiltering")).size(), 1);
}

QTEST_MAIN(tst_SettingsUnlock)
#include "tst_settingsunlock.moc"
