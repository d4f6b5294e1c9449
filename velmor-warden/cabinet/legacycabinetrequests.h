#ifndef VELMOR_LEGACYCABINETREQUESTS_H
#define VELMOR_LEGACYCABINETREQUESTS_H

#include "cabinetrequest.h"

#include <QByteArray>
#include <QPointer>

namespace Velmor {

class LegacyHttpCabinet;

// The account protocol's requests: each is a child of the JSON-RPC call that carries its message and finishes
// when the call does, with the call's error, or after checking the call's result: success for a good reply,
// Error::InvalidResponse with the method's text for a malformed one.

class LegacyCabinetSystemInfoRequest : public Velmor::CabinetFunction<Velmor::CabinetSystemInfo>
{
    Q_OBJECT
    friend class LegacyHttpCabinet;

private Q_SLOTS:
    void callFinished();
};

class LegacyCabinetUserInfoRequest : public Velmor::CabinetFunction<Velmor::CabinetUserInfo>
{
    Q_OBJECT
    friend class LegacyHttpCabinet;

private Q_SLOTS:
    void callFinished();
};

class LegacyCabinetProfilesRequest : public Velmor::CabinetFunction<Velmor::CabinetProfiles>
{
    Q_OBJECT
    friend class LegacyHttpCabinet;

private Q_SLOTS:
    void callFinished();
};

// Finishes with success when the account was made, with Error::RegistrationRefused and the service's reason when
// it was refused.
class LegacyCabinetRegisterRequest : public Velmor::CabinetRequest
{
    Q_OBJECT
    friend class LegacyHttpCabinet;

private Q_SLOTS:
    void callFinished();
};

// Finishes with success for good credentials, with Error::AuthenticationFailed for wrong ones.
class LegacyCabinetTestAuthRequest : public Velmor::CabinetRequest
{
    Q_OBJECT
    friend class LegacyHttpCabinet;

private Q_SLOTS:
    void callFinished();
};

// Hands the public address to a receiver's slot that takes a QHostInfo.
class LegacyCabinetMyIpRequest : public Velmor::CabinetRequest
{
    Q_OBJECT
    friend class LegacyHttpCabinet;

public:
    LegacyCabinetMyIpRequest(QObject *receiver, const char *slot);

private Q_SLOTS:
    void callFinished();

private:
    QPointer<QObject> m_receiver;
    QByteArray m_slot;
};

class LegacyCabinetCatagoriesRequest : public Velmor::CabinetFunction<Velmor::CabinetCategories>
{
    Q_OBJECT
    friend class LegacyHttpCabinet;

private Q_SLOTS:
    void callFinished();
};

class LegacyCabinetUserFilterRequest : public Velmor::CabinetUserFilterRequest
{
    Q_OBJECT
    friend class LegacyHttpCabinet;

public:
    explicit LegacyCabinetUserFilterRequest(quint32 profileId);

private Q_SLOTS:
    void callFinished();
};

class LegacyCabinetDomainsRequest : public Velmor::CabinetDomainsRequest
{
    Q_OBJECT
    friend class LegacyHttpCabinet;

public:
    LegacyCabinetDomainsRequest(quint32 profileId, Velmor::CabinetDomain::Type type);

private Q_SLOTS:
    void callFinished();
};

// `result` holds the domain and address sent; the reply gives the id.
class LegacyCabinetAddDomainRequest : public Velmor::CabinetDomainAddRequest
{
    Q_OBJECT
    friend class LegacyHttpCabinet;

public:
    LegacyCabinetAddDomainRequest(quint32 profileId, Velmor::CabinetDomain::Type type);

private Q_SLOTS:
    void callFinished();
};

class LegacyCabinetAddProfileRequest : public Velmor::CabinetFunction<Velmor::CabinetProfile>
{
    Q_OBJECT
    friend class LegacyHttpCabinet;

private Q_SLOTS:
    void callFinished();
};

class LegacyCabinetScheduleRequest : public Velmor::CabinetScheduleRequest
{
    Q_OBJECT
    friend class LegacyHttpCabinet;

public:
    explicit LegacyCabinetScheduleRequest(quint32 profileId);

private Q_SLOTS:
    void callFinished();
};

class LegacyCabinetProfileActivityRequest : public Velmor::CabinetProfileActivityRequest
{
    Q_OBJECT
    friend class LegacyHttpCabinet;

public:
    explicit LegacyCabinetProfileActivityRequest(quint32 profileId);

private Q_SLOTS:
    void callFinished();
};

class LegacyCabinetUpdateNicRequest : public Velmor::CabinetFunction<QHostAddress>
{
    Q_OBJECT
    friend class LegacyHttpCabinet;

private Q_SLOTS:
    void callFinished();
};

} // namespace Velmor

#endif // VELMOR_LEGACYCABINETREQUESTS_H
