#include "cabinet/cabinetrequest.h"

#include <QSignalSpy>
#include <QTest>

using namespace Velmor;

class tst_CabinetRequest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void metaObjects();
    void failedRequestKeepsDefaultResult();
    void typedRequestsCarryWhatTheyWereMadeFor();
};

void tst_CabinetRequest::metaObjects()
{
    CabinetRequest plain;
    QCOMPARE(plain.metaObject()->className(), "Velmor::CabinetRequest");
    QCOMPARE(plain.metaObject()->superClass(), &Request::staticMetaObject);

    CabinetDomainsRequest domains(nullptr, 1, CabinetDomain::Alias);
    QCOMPARE(domains.metaObject()->className(), "Velmor::CabinetDomainsRequest");
    QCOMPARE(domains.metaObject()->superClass(), &CabinetRequest::staticMetaObject);
    CabinetScheduleRequest schedule(nullptr, 1);
    QCOMPARE(schedule.metaObject()->superClass(), &CabinetRequest::staticMetaObject);

    // The other typed forms report the meta-object of their nearest base that has one.
    CabinetUserFilterRequest filter(nullptr, 1);
    QCOMPARE(filter.metaObject(), &CabinetRequest::staticMetaObject);
    CabinetFunction<QHostAddress> address;
    QCOMPARE(address.metaObject(), &CabinetRequest::staticMetaObject);
    QVERIFY(qobject_cast<CabinetRequest *>(&filter));
}

void tst_CabinetRequest::failedRequestKeepsDefaultResult()
{
    CabinetFunction<CabinetUserInfo> request;
    QCOMPARE(request.error().code(), 0u);
    QSignalSpy finished(&request, &Request::finished);
    request.requestFinished(Error(31, QStringLiteral("request timeout")));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(request.error().code(), 31u);
    QVERIFY(request.result == CabinetUserInfo());
}

void tst_CabinetRequest::typedRequestsCarryWhatTheyWereMadeFor()
{
    QObject parent;
    auto *domains = new CabinetDomainsRequest(&parent, 42, CabinetDomain::Black);
    auto *added = new CabinetDomainAddRequest(&parent, 43, CabinetDomain::Alias);
    auto *activity = new CabinetProfileActivityRequest(&parent, 44);
    QCOMPARE(domains->parent(), &parent);
    QCOMPARE(domains->profileId(), 42u);
    QCOMPARE(domains->type(), CabinetDomain::Black);
    QCOMPARE(added->profileId(), 43u);
    QCOMPARE(added->type(), CabinetDomain::Alias);
    QCOMPARE(activity->profileId(), 44u);
    QVERIFY(domains->result.isEmpty());
    QCOMPARE(activity->result.minutes, 0);
}

QTEST_GUILESS_MAIN(tst_CabinetRequest)
#include "tst_cabinetrequest.moc"
