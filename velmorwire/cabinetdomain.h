#ifndef VELMOR_CABINETDOMAIN_H
#define VELMOR_CABINETDOMAIN_H

#include "velmorwire_global.h"

#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include <memory>

namespace Velmor {

// The address of a list entry. Most entries have none, and an account holds tens of thousands of them: an empty
// one owns no QHostAddress (whose private part is allocated even when null), and a null address is held as none.
class VELMORWIRE_EXPORT CabinetDomainAddress
{
public:
    CabinetDomainAddress() = default;
    explicit CabinetDomainAddress(const QHostAddress &address) { *this = address; }
    CabinetDomainAddress(const CabinetDomainAddress &other) { *this = other; }
    CabinetDomainAddress(CabinetDomainAddress &&other) noexcept = default;
    CabinetDomainAddress &operator=(const CabinetDomainAddress &other);
    CabinetDomainAddress &operator=(CabinetDomainAddress &&other) noexcept = default;
    CabinetDomainAddress &operator=(const QHostAddress &address);

    operator QHostAddress() const { return m_address ? *m_address : QHostAddress(); }
    bool isNull() const { return !m_address; }
    QString toString() const { return m_address ? m_address->toString() : QString(); }
    void clear() { m_address.reset(); }

    friend bool operator==(const CabinetDomainAddress &a, const CabinetDomainAddress &b)
    {
        return a.m_address && b.m_address ? *a.m_address == *b.m_address : a.m_address == b.m_address;
    }
    friend bool operator!=(const CabinetDomainAddress &a, const CabinetDomainAddress &b) { return !(a == b); }
    friend bool operator==(const CabinetDomainAddress &a, const QHostAddress &b)
    {
        return a == CabinetDomainAddress(b);
    }
    friend bool operator!=(const CabinetDomainAddress &a, const QHostAddress &b) { return !(a == b); }

private:
    std::unique_ptr<QHostAddress> m_address;
};

// One entry of a profile's white, black or alias list. The list it belongs to travels beside it.
class VELMORWIRE_EXPORT CabinetDomain
{
public:
    // The numbers go over the IPC link as they are (the "setDomains" notification); elsewhere the names do.
    enum Type { White = 0, Black = 1, Alias = 2 };

    // Exact, case-sensitive; any other name is the white list.
    static Type listTypeFromString(const QString &name);
    // A null pointer for a value outside the enumeration.
    static const char *listTypeToString(Type type);

    // For an alias the address is required; other lists keep one when it is there.
    bool fromVariant(const QVariant &value, Type type);
    QVariant toVariant() const;

    quint32 id = 0;
    QString domain;
    CabinetDomainAddress ip;
};

class VELMORWIRE_EXPORT CabinetDomains : public QList<CabinetDomain>
{
public:
    CabinetDomains() = default;
    CabinetDomains(const CabinetDomains &other);
    CabinetDomains &operator=(const CabinetDomains &other) = default;

    // Never leaves the list partly filled: on false it is empty.
    bool fromVariant(const QVariant &value, CabinetDomain::Type type);
    QVariant toVariant() const;

    // A default entry (id 0) when no entry carries exactly this name.
    CabinetDomain findDomain(const QString &domain) const;
    // Removes only the first entry with this id.
    bool removeDomain(quint32 id);

    // Compares ids position by position only: whether the account service's list changed is decided by its ids.
    bool operator==(const CabinetDomains &other) const;
    bool operator!=(const CabinetDomains &other) const { return !(*this == other); }
};

} // namespace Velmor

Q_DECLARE_METATYPE(Velmor::CabinetDomain)
Q_DECLARE_METATYPE(Velmor::CabinetDomains)

#endif // VELMOR_CABINETDOMAIN_H
