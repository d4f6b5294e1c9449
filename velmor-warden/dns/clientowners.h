#ifndef VELMOR_DNS_CLIENTOWNERS_H
#define VELMOR_DNS_CLIENTOWNERS_H

#include <QHash>
#include <QHostAddress>

#include <array>
#include <deque>

namespace Velmor {
namespace DNS {

// The local users that own the proxy's UDP clients' sockets, by the client's address and port. Each is asked of the
// kernel once and remembered for Lifetime, so a flood of datagrams costs one look-up per client socket rather than
// one each; a port that another program binds after its owner closed it is asked again soon. At most Capacity
// clients are remembered; the oldest goes first.
class ClientOwners
{
public:
    static constexpr int Capacity = 1024;
    // Milliseconds on the DNS clock.
    static constexpr qint64 Lifetime = 1000;

    // The user of the socket at address:port that sent a datagram to server:serverPort; -1 when none is found.
    qint64 owner(const QHostAddress &address, quint16 port, const QHostAddress &server, quint16 serverPort);

private:
    struct Key
    {
        std::array<quint8, 16> address;
        quint16 port;
        bool operator==(const Key &other) const { return port == other.port && address == other.address; }
    };
    friend size_t qHash(const Key &key, size_t seed) noexcept
    {
        return qHashBits(key.address.data(), key.address.size(), seed) ^ key.port;
    }
    struct Entry
    {
        qint64 owner;
        qint64 expires;
    };

    QHash<Key, Entry> m_owners;
    std::deque<Key> m_order;
};

} // namespace DNS
} // namespace Velmor

#endif // VELMOR_DNS_CLIENTOWNERS_H
