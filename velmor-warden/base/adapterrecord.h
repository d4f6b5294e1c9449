#ifndef VELMOR_ADAPTERRECORD_H
#define VELMOR_ADAPTERRECORD_H

#include "velmorwire/error.h"
#include "velmorwire/hostlist.h"

#include <QChar>
#include <QSettings>
#include <QString>

namespace Velmor {

// What the service's settings store keeps of one network adapter: a group below "interfaces", found again by its
// "guid" at every enumeration and across starts, that holds the servers to give the adapter back and the addresses
// of this service last written to it. Each getter gives what its readers get when the key is absent and parses the
// stored text the way they need it; each setter writes the form the store has always held. Unlike
// ServiceSettings, an object is kept while its adapter is known, from one enumeration to the next: the group is
// looked up once, when the object is made.
class AdapterRecord
{
public:
    // Opens the process's store, as QSettings() opens it, and the group whose "guid" is id. An adapter without one
    // gets the first free name "i<n>" with its "guid" written there, so the group is found again even before
    // anything else is stored in it. Lists are written with separator, the one of the adapter's kind.
    AdapterRecord(const QString &id, QChar separator);
    Q_DISABLE_COPY(AdapterRecord)

    // Writes what is pending; true when the store reports no error. Otherwise reason, when given, is AccessDenied
    // with "Access denied", or with "Unexpected settings write error: <status>" for any other failure.
    bool sync(Error *reason = nullptr);

    // "guid": the adapter's id as the IP Helper names it.
    QString id() const;

    // "originalDns": the servers the adapter gets back when its protection ends; empty when absent. Parsed as
    // parseServerList does, whichever separator wrote it.
    HostList originalDns() const;
    // The empty list is stored as the empty text: given back, the adapter returns to its DHCP servers.
    void setOriginalDns(const HostList &servers);

    // "appliedDns": the addresses of this service written to the adapter and not yet taken back; empty when absent,
    // parsed as originalDns.
    HostList appliedDns() const;
    bool hasAppliedDns() const;
    void setAppliedDns(const HostList &addresses);
    void removeAppliedDns();

private:
    QSettings m_settings;
    QChar m_separator;
};

} // namespace Velmor

#endif // VELMOR_ADAPTERRECORD_H
