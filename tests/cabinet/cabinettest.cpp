#include "cabinettest.h"

#include "cabinet/legacycabinethttprequest.h"
#include "cabinet/protecteddata.h"

#include "platform/settingsstore.h"
#include "platform/trustedroots.h"
#include "velmorwire/json.h"
#include "velmorwire/jsonrpc.h"
#include "velmorwire/jsonrpccall.h"
#include "velmorwire/requestmanager_p.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <QSettings>
#include <QTest>

namespace CabinetTest {

namespace {

qint64 fakeNow = 1000000000;

qint64 fakeClock()
{
    return fakeNow;
}

} // namespace

Machine::Machine(const AccountService &service)
{
    m_root.useSettingsOf(QStringLiteral("Service"));
    setSetting(QStringLiteral("www"), service.baseUrl());
    setSetting(QStringLiteral("www-ignore-ssl-errors"), false);
    QDir().mkpath(path(QStringLiteral("trust")));
    QFile::copy(service.caPath(), path(QStringLiteral("trust/velmor-test-root.pem")));
    Velmor::Platform::installTrustedRoots();
}

QString Machine::path(const QString &relative) const
{
    return m_root.path(relative);
}

void Machine::setSetting(const QString &key, const QVariant &value)
{
    QSettings settings;
    settings.setValue(key, value);
    settings.sync();
}

QVariant Machine::setting(const QString &key) const
{
    QSettings settings;
    return settings.value(key);
}

void Machine::storeCredentials(const QString &user, const QString &password)
{
    setSetting(QStringLiteral("user"), Velmor::protectData(user.toUtf8(), QStringLiteral("Velmor user")));
    setSetting(QStringLiteral("password"), Velmor::protectData(password.toUtf8(), QStringLiteral("Velmor password")));
}

void useFakeClock()
{
    Velmor::RequestManagerPrivate::get(Velmor::RequestManager::instance())->clock = &fakeClock;
}

void advanceClock(qint64 milliseconds)
{
    fakeNow += milliseconds;
}

void expireRequests()
{
    QMetaObject::invokeMethod(
        Velmor::RequestManagerPrivate::get(Velmor::RequestManager::instance()), "timer_timeout", Qt::DirectConnection);
}

bool isIdle(const Velmor::Cabinet *cabinet)
{
    const auto *engine = cabinet->findChild<Velmor::JsonRPC *>(QString(), Qt::FindDirectChildrenOnly);
    return (!engine || !engine->hasPendingOutgoingRequest()) && cabinet->findChildren<Velmor::JsonRPCCall *>().isEmpty()
        && cabinet->findChildren<Velmor::LegacyCabinetHttpRequest *>().isEmpty();
}

bool waitIdle(const Velmor::Cabinet *cabinet, int timeout)
{
    return QTest::qWaitFor([cabinet] { return isIdle(cabinet); }, timeout);
}

std::unique_ptr<TestCabinet> syncedCabinet(Machine &machine, const QString &user, const QString &password)
{
    machine.storeCredentials(user, password);
    std::unique_ptr<TestCabinet> cabinet(new TestCabinet);
    if (!QTest::qWaitFor([&] { return cabinet->state() == Velmor::Cabinet::Connected; }, 15000)
        || !waitIdle(cabinet.get()))
        return nullptr;
    return cabinet;
}

QStringList methodsOf(const QString &body)
{
    const QVariant value = Velmor::Json::parse(body);
    const QVariantList items = value.typeId() == QMetaType::QVariantList ? value.toList() : QVariantList { value };
    QStringList methods;
    for (const QVariant &item : items)
        methods.append(item.toMap().value(QStringLiteral("method")).toString());
    return methods;
}

} // namespace CabinetTest
