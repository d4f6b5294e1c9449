#include "backendimpl.h"

#include "networkadapter.h"

#include "platform/iphelper.h"
#include "platform/registry.h"
#include "platform/winerror.h"

#include <QtEndian>

#include <cstdlib>
#include <memory>

namespace Velmor {
namespace Private {

namespace {

using namespace Platform;

const quint32 initialAdapterBuffer = 16384;
const quint32 initialRouteBuffer = 1024;
// The list may grow between two calls; after this many overflows in a row the enumeration gives up.
const int maximumAdapterCalls = 8;

QChar separatorOf(quint32 ifType, bool *kept)
{
    *kept = true;
    switch (ifType) {
    case IpHelper::TypeEthernet:
    case IpHelper::TypeWireless:
        return QLatin1Char(' ');
    case IpHelper::TypePpp:
        return QLatin1Char(',');
    default:
        *kept = false;
        return QChar();
    }
}

QString failureText(quint32 status)
{
    switch (status) {
    case ErrorNotEnoughMemory:
        return QStringLiteral("ERROR_NOT_ENOUGH_MEMORY");
    case ErrorInvalidParameter:
        return QStringLiteral("ERROR_INVALID_PARAMETER");
    case ErrorNoData:
        return QStringLiteral("ERROR_NO_DATA");
    case ErrorAddressNotAssociated:
        return QStringLiteral("ERROR_ADDRESS_NOT_ASSOCIATED");
    default: {
        int code = int(status);
        return systemErrorString(code);
    }
    }
}

struct FreeDeleter
{
    void operator()(void *p) const { std::free(p); }
};

HostList gatewaysOf(const QString &adapterId)
{
    HostList gateways;
    const QString key = IpHelper::interfaceKey(adapterId);
    for (const char *name : { "DefaultGateway", "DhcpDefaultGateway" }) {
        Registry::Value value;
        if (Registry::queryValue(key, QLatin1String(name), &value) != ErrorSuccess)
            continue;
        gateways
            += HostList::fromStringList(value.type == Registry::MultiString ? value.texts : QStringList(value.text));
    }
    return gateways;
}

} // namespace

bool BackendImpl::invalidate(Error *reason)
{
    clearAdapters();
    std::unique_ptr<void, FreeDeleter> buffer(std::malloc(initialAdapterBuffer));
    quint32 size = initialAdapterBuffer;
    quint32 status = ErrorNotEnoughMemory;
    for (int call = 0; buffer && call < maximumAdapterCalls; ++call) {
        status = IpHelper::getAdaptersAddresses(
            IpHelper::FamilyIPv4, 0, static_cast<IpHelper::AdapterAddresses *>(buffer.get()), &size);
        if (status != ErrorBufferOverflow)
            break;
        buffer.reset(std::malloc(size));
        status = buffer ? status : quint32(ErrorNotEnoughMemory);
    }
    if (status != ErrorSuccess) {
        const QString text = QStringLiteral("GetAdaptersAddresses failed: %1").arg(failureText(status));
        qDebug("Invalidate failed: %s", qUtf8Printable(text));
        *reason = Error(Error::AdapterListUnavailable, text);
        return false;
    }
    for (auto *record = static_cast<const IpHelper::AdapterAddresses *>(buffer.get()); record; record = record->next) {
        bool kept = false;
        const QChar separator = separatorOf(record->ifType, &kept);
        if (kept)
            adapters.append(new NetworkAdapter(record, separator, m_server));
    }
    return true;
}

void BackendImpl::readDefaultRoute()
{
    defaultRouteAdapter = nullptr;
    quint32 size = initialRouteBuffer;
    std::unique_ptr<void, FreeDeleter> buffer(std::malloc(size));
    auto table = [&buffer] { return static_cast<IpHelper::ForwardTable *>(buffer.get()); };
    if (buffer && IpHelper::getIpForwardTable(table(), &size) == ErrorInsufficientBuffer)
        buffer.reset(std::malloc(size));
    if (!buffer) {
        printSystemError(QStringLiteral("Error allocating memory\n"), int(ErrorNotEnoughMemory));
        return;
    }
    if (IpHelper::getIpForwardTable(table(), &size) != ErrorSuccess) {
        qDebug("\tGetIpForwardTable failed.\n");
        return;
    }
    const IpHelper::ForwardRow *rows = table()->table;
    const IpHelper::ForwardRow *best = nullptr;
    for (quint32 i = 0; i < table()->numEntries; ++i) {
        // Among equal metrics the first row in table order wins.
        if (rows[i].destination == 0 && (!best || rows[i].metric < best->metric))
            best = &rows[i];
    }
    if (!best)
        return;
    const QHostAddress gateway(qFromBigEndian(best->nextHop));
    // A point-to-point adapter's next hop is its own address.
    for (NetworkInterface *candidate : std::as_const(adapters)) {
        if (candidate->addresses().contains(gateway)) {
            defaultRouteAdapter = candidate;
            return;
        }
    }
    for (NetworkInterface *candidate : std::as_const(adapters)) {
        if (gatewaysOf(candidate->id()).contains(gateway)) {
            defaultRouteAdapter = candidate;
            return;
        }
    }
}

} // namespace Private
} // namespace Velmor
