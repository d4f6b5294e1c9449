#include "legacycabinetrequests.h"

#include "cabinet.h"

#include "velmorwire/ipaddress.h"
#include "velmorwire/jsonrpccall.h"

#include <QHostInfo>
#include <QMetaMethod>

namespace Velmor {

namespace {

// The finished call that is the sender, when it carries a result; a failed call finishes the request with its
// own error, so a POST that failed never reads as a malformed reply.
const JsonRPCCall *answeredCall(QObject *sender, Request *request)
{
    const auto *call = qobject_cast<const JsonRPCCall *>(sender);
    if (!call)
        return nullptr;
    if (!call->error().isSuccess()) {
        request->requestFinished(call->error());
        return nullptr;
    }
    return call;
}

template<typename Read>
void finishFromReply(Request *request, QObject *sender, Read read, const char *invalidText)
{
    const JsonRPCCall *call = answeredCall(sender, request);
    if (!call)
        return;
    if (read(call->result()))
        request->requestFinished(Error());
    else
        request->requestFinished(Error(Error::InvalidResponse, QString::fromLatin1(invalidText)));
}

// QVariant::toUInt takes 5000000000 as 705032704, -1, 1.5, true and " 7"; an id is a whole number that fits,
// as a number or as its decimal text.
bool toDomainId(const QVariant &value, quint32 *id)
{
    quint64 number = 0;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
        if (value.toLongLong() < 0)
            return false;
        number = quint64(value.toLongLong());
        break;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        number = value.toULongLong();
        break;
    case QMetaType::Double: {
        const double d = value.toDouble();
        if (!(d >= 0 && d <= 4294967295.0) || d != double(quint64(d)))
            return false;
        number = quint64(d);
        break;
    }
    case QMetaType::QString: {
        const QString text = value.toString();
        if (text.isEmpty() || text.size() > 10)
            return false;
        for (const QChar c : text) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
        }
        number = text.toULongLong();
        break;
    }
    default:
        return false;
    }
    // An entry with id 0 would be no entry: the cached list holding it could not be read back.
    if (number == 0 || number > 0xffffffffu)
        return false;
    *id = quint32(number);
    return true;
}

} // namespace

void LegacyCabinetSystemInfoRequest::callFinished()
{
    finishFromReply(
        this, sender(), [this](const QVariant &value) { return result.fromVariant(value); },
        "Invalid format of SystemInfo");
}

void LegacyCabinetUserInfoRequest::callFinished()
{
    finishFromReply(
        this, sender(), [this](const QVariant &value) { return result.fromVariant(value); },
        "Invalid format of UserInfo");
}

void LegacyCabinetProfilesRequest::callFinished()
{
    finishFromReply(
        this, sender(), [this](const QVariant &value) { return result.fromVariant(value); },
        "Invalid format of profiles list");
}

void LegacyCabinetRegisterRequest::callFinished()
{
    const JsonRPCCall *call = answeredCall(sender(), this);
    if (!call)
        return;
    const QVariant reply = call->result();
    const QVariantList list = reply.typeId() == QMetaType::QVariantList ? reply.toList() : QVariantList();
    if (list.isEmpty() || list.first().typeId() != QMetaType::Bool) {
        requestFinished(Error(Error::InvalidResponse, QStringLiteral("Invalid format of register response")));
        return;
    }
    if (list.first().toBool()) {
        requestFinished(Error());
        return;
    }
    const QString reason = list.size() > 1 ? list.at(1).toString() : QString();
    requestFinished(Error(Error::RegistrationRefused, reason.isEmpty() ? QStringLiteral("Without reason") : reason));
}

void LegacyCabinetTestAuthRequest::callFinished()
{
    const JsonRPCCall *call = answeredCall(sender(), this);
    if (!call)
        return;
    const QVariant reply = call->result();
    if (reply.typeId() != QMetaType::Bool)
        requestFinished(Error(Error::InvalidResponse, QStringLiteral("Invalid format of testAuth response")));
    else if (reply.toBool())
        requestFinished(Error());
    else
        requestFinished(Error(Error::AuthenticationFailed, QLatin1String("")));
}

LegacyCabinetMyIpRequest::LegacyCabinetMyIpRequest(QObject *receiver, const char *slot)
    : m_receiver(receiver)
    , m_slot(slot)
{ }

void LegacyCabinetMyIpRequest::callFinished()
{
    const auto *call = qobject_cast<const JsonRPCCall *>(sender());
    if (!call)
        return;
    QHostInfo info(-1);
    if (!call->error().isSuccess()) {
        info.setError(QHostInfo::UnknownError);
        info.setErrorString(
            call->error().message().isEmpty() ? QString::number(call->error().code()) : call->error().message());
        requestFinished(call->error());
    } else {
        const QHostAddress address = parseIPAddress(call->result().toString());
        if (!address.isNull()) {
            info.setAddresses({ address });
            requestFinished(Error());
        } else {
            info.setError(QHostInfo::UnknownError);
            info.setErrorString(QStringLiteral("Invalid IP format"));
            requestFinished(Error(Error::InvalidResponse, QStringLiteral("Invalid format of myip response")));
        }
    }

    // The slot is named in the slot macro's form, its first character a code; only a slot that takes exactly a
    // QHostInfo may be called with one.
    QObject *receiver = m_receiver.data();
    const QByteArray signature
        = m_slot.size() > 1 ? QMetaObject::normalizedSignature(m_slot.constData() + 1) : QByteArray();
    const int index = receiver && !signature.isEmpty() ? receiver->metaObject()->indexOfSlot(signature) : -1;
    const QMetaMethod method = index >= 0 ? receiver->metaObject()->method(index) : QMetaMethod();
    if (!method.isValid() || method.parameterCount() != 1
        || method.parameterMetaType(0) != QMetaType::fromType<QHostInfo>()) {
        qWarning("failed to find slot %s", m_slot.constData());
        return;
    }
    method.invoke(receiver, Qt::DirectConnection, Q_ARG(QHostInfo, info));
}

void LegacyCabinetCatagoriesRequest::callFinished()
{
    finishFromReply(
        this, sender(), [this](const QVariant &value) { return result.fromVariant(value); },
        "Invalid format of categories response");
}

LegacyCabinetUserFilterRequest::LegacyCabinetUserFilterRequest(quint32 profileId)
    : CabinetUserFilterRequest(nullptr, profileId)
{ }

void LegacyCabinetUserFilterRequest::callFinished()
{
    finishFromReply(
        this, sender(), [this](const QVariant &value) { return result.fromVariant(value); },
        "Invalid format of userFilter response");
}

LegacyCabinetDomainsRequest::LegacyCabinetDomainsRequest(quint32 profileId, CabinetDomain::Type type)
    : CabinetDomainsRequest(nullptr, profileId, type)
{ }

void LegacyCabinetDomainsRequest::callFinished()
{
    finishFromReply(
        this, sender(), [this](const QVariant &value) { return result.fromVariant(value, type()); },
        "Invalid format of domains response");
}

LegacyCabinetAddDomainRequest::LegacyCabinetAddDomainRequest(quint32 profileId, CabinetDomain::Type type)
    : CabinetDomainAddRequest(nullptr, profileId, type)
{ }

void LegacyCabinetAddDomainRequest::callFinished()
{
    finishFromReply(
        this, sender(), [this](const QVariant &value) { return toDomainId(value, &result.id); },
        "Invalid format of addDomain response");
}

void LegacyCabinetAddProfileRequest::callFinished()
{
    finishFromReply(
        this, sender(), [this](const QVariant &value) { return result.fromVariant(value); },
        "Invalid format of addProfile response");
}

LegacyCabinetScheduleRequest::LegacyCabinetScheduleRequest(quint32 profileId)
    : CabinetScheduleRequest(nullptr, profileId)
{ }

void LegacyCabinetScheduleRequest::callFinished()
{
    finishFromReply(
        this, sender(), [this](const QVariant &value) { return result.fromVariant(value); },
        "Invalid format of schedule response");
}

LegacyCabinetProfileActivityRequest::LegacyCabinetProfileActivityRequest(quint32 profileId)
    : CabinetProfileActivityRequest(nullptr, profileId)
{ }

void LegacyCabinetProfileActivityRequest::callFinished()
{
    finishFromReply(
        this, sender(), [this](const QVariant &value) { return result.fromVariant(value); },
        "Invalid format of profileActivity response");
}

void LegacyCabinetUpdateNicRequest::callFinished()
{
    finishFromReply(
        this, sender(),
        [this](const QVariant &value) {
            if (value.typeId() != QMetaType::QString)
                return false;
            result = parseIPAddress(value.toString());
            return !result.isNull();
        },
        "Invalid format of NicUpdate");
}

} // namespace Velmor
