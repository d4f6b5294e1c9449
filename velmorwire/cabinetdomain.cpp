#include "cabinetdomain.h"

#include "accountdata_p.h"
#include "ipaddress.h"
#include "wirevalue_p.h"

#include <QVariantMap>

namespace Velmor {

namespace {
const char *const listTypeNames[] = { "white", "black", "alias" };
}

CabinetDomainAddress &CabinetDomainAddress::operator=(const CabinetDomainAddress &other)
{
    if (this != &other)
        m_address.reset(other.m_address ? new QHostAddress(*other.m_address) : nullptr);
    return *this;
}

CabinetDomainAddress &CabinetDomainAddress::operator=(const QHostAddress &address)
{
    m_address.reset(address.isNull() ? nullptr : new QHostAddress(address));
    return *this;
}

CabinetDomain::Type CabinetDomain::listTypeFromString(const QString &name)
{
    for (int i = 0; i < 3; ++i) {
        if (name == QLatin1String(listTypeNames[i]))
            return Type(i);
    }
    return White;
}

const char *CabinetDomain::listTypeToString(Type type)
{
    const int index = int(type);
    return index >= 0 && index < 3 ? listTypeNames[index] : nullptr;
}

bool CabinetDomain::fromVariant(const QVariant &value, Type type)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap map = value.toMap();
    id = Internal::toUInt32(map.value(QStringLiteral("id")));
    // A copy of its own, made while the parsed answer is still whole: the text parsed from a reply sits among the
    // answer's other pieces, and shared it would keep their pages from going back to the system once freed.
    const QString name = map.value(QStringLiteral("domain")).toString();
    domain = QString(name.constData(), name.size());
    // Parsed only where there is text: a null QHostAddress costs an allocation too.
    const QString address = map.value(QStringLiteral("ip")).toString();
    if (address.isEmpty())
        ip.clear();
    else
        ip = parseIPAddress(address);
    return id != 0 && !domain.isEmpty() && (type != Alias || !ip.isNull());
}

QVariant CabinetDomain::toVariant() const
{
    QVariantMap map;
    map.insert(QStringLiteral("id"), QVariant::fromValue<uint>(id));
    map.insert(QStringLiteral("domain"), domain);
    if (!ip.isNull())
        map.insert(QStringLiteral("ip"), ip.toString());
    return map;
}

CabinetDomains::CabinetDomains(const CabinetDomains &other) = default;

bool CabinetDomains::fromVariant(const QVariant &value, CabinetDomain::Type type)
{
    return Internal::readList(value, this,
        [type](const QVariant &element, CabinetDomain *entry) { return entry->fromVariant(element, type); });
}

QVariant CabinetDomains::toVariant() const
{
    return Internal::writeList(*this);
}

CabinetDomain CabinetDomains::findDomain(const QString &name) const
{
    for (const CabinetDomain &entry : *this) {
        if (entry.domain == name)
            return entry;
    }
    return CabinetDomain();
}

bool CabinetDomains::removeDomain(quint32 entryId)
{
    for (qsizetype i = 0; i < size(); ++i) {
        if (at(i).id == entryId) {
            removeAt(i);
            return true;
        }
    }
    return false;
}

bool CabinetDomains::operator==(const CabinetDomains &other) const
{
    if (size() != other.size())
        return false;
    for (qsizetype i = 0; i < size(); ++i) {
        if (at(i).id != other.at(i).id)
            return false;
    }
    return true;
}

} // namespace Velmor
