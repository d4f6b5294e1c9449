#ifndef VELMOR_TESTS_SERVERTEST_H
#define VELMOR_TESTS_SERVERTEST_H

#include "../network/networktest.h"
#include "scriptedcabinet.h"
#include "wardentest.h"

#include "core/identification.h"
#include "core/server.h"
#include "core/server_p.h"

#include <memory>

namespace WardenTest {

// An in-process server on a simulated machine of its own: one protected adapter whose own DNS server is
// 10.0.0.1, the local proxy on a free port of 127.0.0.1, the resolver on 127.0.0.2, the IPC listener on a free
// port, the block page on any free port, the settings unprotected, and a scripted account client.
class ServerFixture
{
public:
    explicit ServerFixture(bool tokens = true);
    ~ServerFixture();
    Q_DISABLE_COPY(ServerFixture)

    NetworkTest::Machine machine;
    const QString adapter = NetworkTest::adapterId(1);
    quint16 ipcPort = 0;
    quint16 proxyPort = 0;
    ScriptedCabinet *cabinet = nullptr;
    std::unique_ptr<Velmor::Server> server;
    Velmor::ServerPrivate *d = nullptr;
    Velmor::Identification *identification = nullptr;

    void setSetting(const QString &key, const QVariant &value);
    QVariant setting(const QString &key);
    QString nameServer();
    // Token and IP mode become ready: profiles 1 and 2 with their data, profile 1 selected, a public address.
    void makeReady();
};

} // namespace WardenTest

#endif // VELMOR_TESTS_SERVERTEST_H
