#ifndef VELMOR_NETWORKADAPTER_H
#define VELMOR_NETWORKADAPTER_H

#include "networkinterface.h"

#include "platform/iphelper.h"

namespace Velmor {
namespace Private {

// An adapter of the IP Helper's adapter list.
class NetworkAdapter : public NetworkInterface
{
public:
    NetworkAdapter(const Platform::IpHelper::AdapterAddresses *record, QChar separator, const ServerState *server);
    ~NetworkAdapter() override;
};

} // namespace Private
} // namespace Velmor

#endif // VELMOR_NETWORKADAPTER_H
