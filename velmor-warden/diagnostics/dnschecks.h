#ifndef VELMOR_DIAGNOSTICS_DNSCHECKS_H
#define VELMOR_DIAGNOSTICS_DNSCHECKS_H

#include "adapterinfo.h"

#include "velmorwire/basetest.h"

#include <QHostAddress>

// A DNS server that is not the local proxy on 127.0.0.1. The checks compare with that literal address, so in
// identification by IP, where adapters point at the filtering resolver, they report the adapters as wrong.
bool isForeignDnsAddress(const QHostAddress &address);
bool hasForeignDns(const AdapterInfo &adapter);

// The local IPv4 address the system would use to reach the Internet, found without sending anything; null on
// failure, with a line appended to log when one is given.
QHostAddress localIpAddress(QString *log = nullptr);

// No running adapter may list a DNS server other than 127.0.0.1.
class CheckDNSOnAllEnabledAdapters : public base_test
{
public:
    using base_test::base_test;

protected:
    bool test() override;
};

// The adapter that carries the route to the Internet must use only 127.0.0.1 as DNS server.
class CheckDNSOnGatway : public base_test
{
public:
    using base_test::base_test;

protected:
    bool test() override;
};

#endif // VELMOR_DIAGNOSTICS_DNSCHECKS_H
