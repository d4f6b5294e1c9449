#include "resolverfixture.h"

#include "vendorsitefixture.h"

#include <QTcpServer>
#include <QTest>
#include <QUdpSocket>

ResolverFixture::ResolverFixture(const QStringList &options)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Debian's dnspython is seen by the system interpreter only.
    m_process.start(QStringLiteral("/usr/bin/python3"),
        QStringList { fixturePath(QStringLiteral("resolver.py")), QStringLiteral("serve"), QStringLiteral("--listen"),
            QStringLiteral("127.0.0.2:0") }
            + options);
    if (!m_process.waitForStarted(10000)
        || !QTest::qWaitFor(
            [this] { return m_process.canReadLine() || m_process.state() != QProcess::Running; }, 30000))
        return;
    const QByteArray line = m_process.readLine().trimmed();
    if (line.startsWith("ready "))
        m_port = quint16(line.mid(6).toUInt());
}

ResolverFixture::~ResolverFixture()
{
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

quint16 freeLocalPort()
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        QUdpSocket udp;
        QTcpServer tcp;
        if (udp.bind(QHostAddress::LocalHost, 0) && tcp.listen(QHostAddress::LocalHost, udp.localPort()))
            return udp.localPort();
    }
    return 0;
}
