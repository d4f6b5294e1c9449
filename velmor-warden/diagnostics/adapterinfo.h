#ifndef VELMOR_DIAGNOSTICS_ADAPTERINFO_H
#define VELMOR_DIAGNOSTICS_ADAPTERINFO_H

#include "platform/iphelper.h"

#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

// What the DNS checks need of one running adapter, read from the IP Helper list of every address family. Separate
// from the network configuration's own adapter model.
struct AdapterInfo
{
    explicit AdapterInfo(const Velmor::Platform::IpHelper::AdapterAddresses *entry);

    QString adapterName;
    QString friendlyName;
    QList<QHostAddress> unicastAddresses;
    QList<QHostAddress> dnsServers;
    int flags;
    int ifType;
    bool up;
};

// The adapters that are up and are not a software loopback, in the order of the list; empty when the list cannot
// be read, as for a computer without running adapters.
QList<AdapterInfo> enabledAdapters();

// The same over another source of the list, shaped like GetAdaptersAddresses (family, flags, buffer, size).
using AdapterListSource = std::function<quint32(
    quint32 family, quint32 flags, Velmor::Platform::IpHelper::AdapterAddresses *buffer, quint32 *size)>;
QList<AdapterInfo> enabledAdapters(const AdapterListSource &source);

// The address as Windows writes a socket address: IPv4 dotted, IPv6 with its scope suffix; empty when it cannot be
// written.
QString sockaddrToString(const sockaddr *address, qint32 length);

// The interface type's name, empty for a type without one.
QString ifTypeName(const AdapterInfo &adapter);
// The names of the set adapter flags, back to back.
QString adapterFlagNames(const AdapterInfo &adapter);

#endif // VELMOR_DIAGNOSTICS_ADAPTERINFO_H
