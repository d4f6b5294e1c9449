#include "dns/dnsproxy.h"
#include "dns/udpsocketpool.h"
#include "dnstestutil.h"

#include <QDir>
#include <QFile>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <QMap>

#include <sys/socket.h>
#include <unistd.h>

// The host program with the real proxy and block page, dnsmasq and the dnspython resolver as upstreams, and dig
// and curl as clients; every address is on 127.0.0.0/8.
class tst_DnsEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void relaysAnswers_data();
    void relaysAnswers();
    void identificationRecord();
    void clientIdComesBack();
    void responseFromClientIsRefused();
    void formatErrorCountsMatchItsSections();
    void refusedUpstreamConnection();
    void droppedQueryGetsServfail();
    void answerFromTheAddressAsked();
    void upstreamChangesLetterCase();
    void upstreamRefusesEdns();
    void upstreamClosesPooledConnection();
    void halfClosedClientGetsItsAnswer();
    void silentUpstreamFloodIsBounded();
    void spoofedReplyIsIgnored();
    void tcpQueriesShareOneConnection();
    void clientClosesBeforeItsAnswer();
    void blockPage();
    void blockPageHeadThenGet();
    void blockPageWithAnotherUsersHeldConnections();
    void commandLine_data();
    void commandLine();
    void udpFloodOfAnotherUserLeavesAnswers();
    void tcpConnectionsOfAnotherUserLeaveRoom();
    void tcpPlacesTakenByManyUsersLeaveRoom();

private:
    QProcess *startProcess(const QString &program, const QStringList &arguments, const QByteArray &readyPrefix,
        const QString &rootPath = QString());
    QProcess *startHost(quint16 listenPort, const QString &upstream, const QString &rootPath,
        const QString &listenAddress = QStringLiteral("127.0.0.1"));
    // Runs the block page's fixture peers; their standard output once they end.
    QByteArray blockPagePeers(const QStringList &arguments);
    QByteArray dig(quint16 port, const QStringList &arguments);
    void setToken(QProcess *host, quint32 token);
    // The resolver's log lines from the given one on (it keeps its file open, so the file is never removed).
    QList<QJsonObject> resolverLog(qsizetype from = 0) const;

    QTemporaryDir root;
    QList<QProcess *> processes;
    QProcess *dnsmasq = nullptr;
    QProcess *resolver = nullptr;
    QProcess *dnsmasqHost = nullptr;
    QProcess *resolverHost = nullptr;
    QProcess *deadHost = nullptr;
    // On every address, in front of the fixture with the odd habits of some servers.
    QProcess *oddHost = nullptr;
    quint16 oddHostPort = 0;
    quint16 dnsmasqHostPort = 0;
    quint16 resolverHostPort = 0;
    quint16 deadHostPort = 0;
    quint16 httpPort = 0;
    QString logPath;
};

QProcess *tst_DnsEndToEnd::startProcess(
    const QString &program, const QStringList &arguments, const QByteArray &readyPrefix, const QString &rootPath)
{
    auto *process = new QProcess(this);
    processes.append(process);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMOR_ROOT"), rootPath.isEmpty() ? root.path() : rootPath);
    process->setProcessEnvironment(environment);
    process->start(program, arguments);
    if (!process->waitForStarted(10000))
        return nullptr;
    if (!readyPrefix.isEmpty()) {
        const bool ready
            = QTest::qWaitFor([&] { return process->canReadLine() || process->state() != QProcess::Running; }, 30000);
        const QByteArray line = process->readLine();
        if (!ready || !line.startsWith(readyPrefix)) {
            qWarning("%s did not start: %s %s", qPrintable(program), line.constData(),
                process->readAllStandardError().constData());
            return nullptr;
        }
        process->setProperty("readyLine", line.trimmed());
    }
    return process;
}

QProcess *tst_DnsEndToEnd::startHost(
    quint16 listenPort, const QString &upstream, const QString &rootPath, const QString &listenAddress)
{
    const QString program = qEnvironmentVariable("VELMOR_BINARY_DIR") + QStringLiteral("/bin/velmor-dnshost");
    return startProcess(program,
        { QStringLiteral("--listen"), QStringLiteral("%1:%2").arg(listenAddress).arg(listenPort),
            QStringLiteral("--upstream"), upstream },
        "ready ", rootPath);
}

QByteArray tst_DnsEndToEnd::blockPagePeers(const QStringList &arguments)
{
    QProcess process;
    process.start(
        systemPython(), QStringList { sourcePath(QStringLiteral("tests/dns/blockpagepeers.py")) } + arguments);
    if (!process.waitForFinished(120000))
        return QByteArray("did not end");
    return process.readAllStandardOutput() + process.readAllStandardError();
}

void tst_DnsEndToEnd::initTestCase()
{
    QVERIFY(root.isValid());
    httpPort = freePort(QHostAddress::LocalHost);
    QDir().mkpath(root.filePath(QStringLiteral("settings/Velmor")));
    QFile settings(root.filePath(QStringLiteral("settings/Velmor/Service.ini")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[General]\nhttpd-port=" + QByteArray::number(httpPort) + "\n");
    settings.close();

    // dnsmasq answers from its configuration; -k keeps it in the foreground but, unlike -d, lets it serve TCP
    // connections in children, so a pooled connection does not stall its UDP service.
    const QHostAddress second(QStringLiteral("127.0.0.2"));
    const quint16 dnsmasqPort = freePort(second);
    QFile conf(root.filePath(QStringLiteral("dnsmasq.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("txt-record=json.test,\"{\\\"a\\\":1,\\\"b\\\":[2,3]}\"\n");
    conf.close();
    QStringList arguments { "-k", "--conf-file=" + conf.fileName(), "--no-resolv", "--no-hosts", "--bind-interfaces",
        "--listen-address=127.0.0.2", QStringLiteral("--port=%1").arg(dnsmasqPort),
        "--pid-file=", "--address=/a.test/10.0.0.1", "--srv-host=_x._tcp.a.test,b.test,80", "--dns-rr=h.test,65,000100",
        "--log-facility=-" };
    if (::geteuid() == 0)
        arguments << QStringLiteral("--user=root");
    dnsmasq = startProcess(QStringLiteral("dnsmasq"), arguments, QByteArray());
    QVERIFY(dnsmasq);
    QVERIFY(QTest::qWaitFor(
        [&] {
            return dig(dnsmasqPort, { "@127.0.0.2", "a.test", "+short", "+tries=1", "+timeout=1" }).trimmed()
                == "10.0.0.1";
        },
        20000));

    logPath = root.filePath(QStringLiteral("resolver.jsonl"));
    resolver = startProcess(systemPython(),
        { resolverFixture(), "serve", "--listen", "127.0.0.2:0", "--log", logPath, "--record", "spoof.test A 10.9.9.9",
            "--record", "delay.test A 10.8.8.8", "--record", "r.test A 10.7.7.7", "--spoof", "spoof.test", "--drop",
            "drop.test", "--delay", "delay.test=0.5" },
        "ready ");
    QVERIFY(resolver);
    const QByteArray resolverPort = resolver->property("readyLine").toByteArray().mid(6);

    // Only the first host has a block-page port of its own; the others listen wherever the system puts them.
    dnsmasqHostPort = freePort(QHostAddress::LocalHost);
    dnsmasqHost = startHost(dnsmasqHostPort, QStringLiteral("127.0.0.2:%1").arg(dnsmasqPort), root.path());
    QVERIFY(dnsmasqHost);
    setToken(dnsmasqHost, 7);
    resolverHostPort = freePort(QHostAddress::LocalHost);
    resolverHost = startHost(resolverHostPort, "127.0.0.2:" + QString::fromLatin1(resolverPort),
        root.filePath(QStringLiteral("resolverhost")));
    QVERIFY(resolverHost);
    setToken(resolverHost, 7);
    // Nothing listens at the dead host's upstream.
    deadHostPort = freePort(QHostAddress::LocalHost);
    deadHost = startHost(
        deadHostPort, QStringLiteral("127.0.0.2:%1").arg(freePort(second)), root.filePath(QStringLiteral("deadhost")));
    QVERIFY(deadHost);
    setToken(deadHost, 7);

    QProcess *odd = startProcess(systemPython(),
        { sourcePath(QStringLiteral("tests/dns/oddupstream.py")), "--listen", "127.0.0.2:0" }, "ready ");
    QVERIFY(odd);
    oddHostPort = freePort(QHostAddress::AnyIPv4);
    oddHost
        = startHost(oddHostPort, "127.0.0.2:" + QString::fromLatin1(odd->property("readyLine").toByteArray().mid(6)),
            root.filePath(QStringLiteral("oddhost")), QStringLiteral("0.0.0.0"));
    QVERIFY(oddHost);
    setToken(oddHost, 7);
}

void tst_DnsEndToEnd::cleanupTestCase()
{
    // The hosts end at the end of their input; a sanitizer report would show in their exit status.
    for (QProcess *host : { dnsmasqHost, resolverHost, deadHost, oddHost }) {
        if (!host)
            continue;
        host->closeWriteChannel();
        QVERIFY(host->waitForFinished(30000));
        const QByteArray errors = host->readAllStandardError();
        QVERIFY2(host->exitStatus() == QProcess::NormalExit && host->exitCode() == 0, errors.constData());
        QVERIFY2(!errors.contains("Sanitizer") && !errors.contains("runtime error"), errors.constData());
    }
    for (QProcess *process : std::as_const(processes)) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            process->waitForFinished(10000);
        }
    }
}

QByteArray tst_DnsEndToEnd::dig(quint16 port, const QStringList &arguments)
{
    QProcess process;
    QStringList all { QStringLiteral("-p"), QString::number(port) };
    if (!arguments.first().startsWith(QLatin1Char('@')))
        all << QStringLiteral("@127.0.0.1");
    process.start(QStringLiteral("dig"), all + arguments);
    if (!process.waitForFinished(60000))
        return QByteArray();
    return process.readAllStandardOutput();
}

void tst_DnsEndToEnd::setToken(QProcess *host, quint32 token)
{
    host->write(QByteArray::number(token) + '\n');
    const QByteArray expected = "token " + QByteArray::number(token);
    QVERIFY(QTest::qWaitFor([&] { return host->canReadLine() && host->readLine().trimmed() == expected; }, 10000));
}

QList<QJsonObject> tst_DnsEndToEnd::resolverLog(qsizetype from) const
{
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return jsonLines(file.readAll()).mid(from);
}

void tst_DnsEndToEnd::relaysAnswers_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QByteArray>("answer");
    for (const char *transport : { "udp", "tcp" }) {
        QTest::addRow("A, %s", transport) << "a.test A" << QByteArray("10.0.0.1");
        QTest::addRow("TXT with commas, %s", transport)
            << "json.test TXT" << QByteArray("\"{\\\"a\\\":1,\\\"b\\\":[2,3]}\"");
        QTest::addRow("SRV, %s", transport) << "_x._tcp.a.test SRV" << QByteArray("0 0 80 b.test.");
        QTest::addRow("HTTPS, %s", transport) << "h.test TYPE65" << QByteArray("1 .");
    }
}

void tst_DnsEndToEnd::relaysAnswers()
{
    QFETCH(QString, query);
    QFETCH(QByteArray, answer);
    QStringList arguments = query.split(QLatin1Char(' '));
    arguments << QStringLiteral("+short") << QStringLiteral("+tries=1") << QStringLiteral("+timeout=10");
    if (QByteArray(QTest::currentDataTag()).endsWith("tcp"))
        arguments << QStringLiteral("+tcp");
    QCOMPARE(dig(dnsmasqHostPort, arguments).trimmed(), answer);
}

void tst_DnsEndToEnd::identificationRecord()
{
    const qsizetype before = resolverLog().size();
    const QList<quint32> tokens { 7, 0, 4000000000u };
    for (quint32 token : tokens) {
        setToken(resolverHost, token);
        QCOMPARE(
            dig(resolverHostPort, { "r.test", "+short", "+tries=1", "+timeout=10" }).trimmed(), QByteArray("10.7.7.7"));
    }
    setToken(resolverHost, 7);
    const QList<QJsonObject> log = resolverLog(before);
    QCOMPARE(log.size(), tokens.size());
    for (int i = 0; i < tokens.size(); ++i) {
        const QJsonObject &line = log.at(i);
        // dnspython read the forwarded request.
        QCOMPARE(line.value("qname").toString(), QStringLiteral("r.test"));
        QCOMPARE(line.value("transport").toString(), QStringLiteral("udp"));
        if (tokens.at(i) == 0) {
            QVERIFY(line.value("identification").isNull());
            continue;
        }
        QByteArray record = hex("00 ffed 0001 00000000 0004");
        char token[4];
        qToBigEndian(tokens.at(i), token);
        record.append(token, 4);
        QCOMPARE(line.value("identification").toString().toLatin1(), record.toHex());
        QCOMPARE(quint32(line.value("token").toDouble()), tokens.at(i));
        // After dig's own OPT record, last on the wire.
        QVERIFY(line.value("wire").toString().toLatin1().endsWith(record.toHex()));
        QCOMPARE(line.value("additional").toArray().first().toObject().value("type").toInt(), 41);
    }
}

void tst_DnsEndToEnd::clientIdComesBack()
{
    QUdpSocket client;
    for (quint16 id : { quint16(0), quint16(0x1234), quint16(0xffff) }) {
        QByteArray query = hex("0000 0100 0001 0000 0000 0000 01 72 04 74657374 00 0001 0001");
        qToBigEndian(id, query.data());
        client.writeDatagram(query, QHostAddress::LocalHost, resolverHostPort);
        QVERIFY(QTest::qWaitFor([&] { return client.hasPendingDatagrams(); }, 10000));
        const QByteArray answer = client.receiveDatagram().data();
        QCOMPARE(qFromBigEndian<quint16>(answer.constData()), id);
        QVERIFY(answer.at(2) & 0x80);
    }
}

void tst_DnsEndToEnd::responseFromClientIsRefused()
{
    QUdpSocket client;
    QByteArray response = hex("4321 8100 0001 0000 0000 0000 01 72 04 74657374 00 0001 0001");
    client.writeDatagram(response, QHostAddress::LocalHost, resolverHostPort);
    QVERIFY(QTest::qWaitFor([&] { return client.hasPendingDatagrams(); }, 10000));
    response[3] = 5;
    QCOMPARE(client.receiveDatagram().data().toHex(' '), response.toHex(' '));
}

void tst_DnsEndToEnd::formatErrorCountsMatchItsSections()
{
    // An additional count at its limit leaves no room for the identification record: the request is refused as
    // malformed, and the answer must not announce the records that the request only claimed to hold.
    QUdpSocket client;
    const QByteArray request = hex("6161 0100 0001 0000 0000 ffff 01 61 04 74657374 00 0001 0001");
    client.writeDatagram(request, QHostAddress::LocalHost, dnsmasqHostPort);
    QVERIFY(QTest::qWaitFor([&] { return client.hasPendingDatagrams(); }, 10000));
    const QByteArray answer = client.receiveDatagram().data();
    const QList<QJsonObject> decoded = decodeWithDnspython({ answer });
    QCOMPARE(decoded.size(), 1);
    QVERIFY2(!decoded.first().contains(QStringLiteral("error")), answer.toHex(' ').constData());
    QCOMPARE(answer.toHex(' '), hex("6161 8101 0001 0000 0000 0000 01 61 04 74657374 00 0001 0001").toHex(' '));
}

void tst_DnsEndToEnd::refusedUpstreamConnection()
{
    const QByteArray output = dig(deadHostPort, { "r.test", "+tcp", "+tries=1", "+timeout=10" });
    QVERIFY2(output.contains("status: SERVFAIL"), output.constData());
    // The request came back with the record the proxy appended.
    QVERIFY2(QRegularExpression(QStringLiteral("TYPE65517\\s+\\\\# 4 00000007"))
                 .match(QString::fromLatin1(output))
                 .hasMatch(),
        output.constData());
}

void tst_DnsEndToEnd::droppedQueryGetsServfail()
{
    // The proxy gives up on the resolver after its deadline (10 s) and says so; dig waits longer than that.
    const QByteArray output = dig(resolverHostPort, { "drop.test", "+tries=1", "+timeout=40" });
    QVERIFY2(output.contains("status: SERVFAIL"), output.constData());
}

void tst_DnsEndToEnd::answerFromTheAddressAsked()
{
    // Listening on every address, asked at two loopback addresses: dig drops an answer from another one.
    for (const char *server : { "@127.0.0.2", "@127.0.0.1" }) {
        const QByteArray output = dig(oddHostPort, { server, "case.test", "+short", "+tries=1", "+timeout=10" });
        QVERIFY2(output.trimmed() == "10.6.6.6", output.constData());
    }
}

void tst_DnsEndToEnd::upstreamChangesLetterCase()
{
    const QByteArray output = dig(oddHostPort, { "case.test", "+tries=1", "+timeout=10" });
    QVERIFY2(output.contains("status: NOERROR"), output.constData());
    QVERIFY2(output.contains("CASE.TEST.\t\t60\tIN\tA\t10.6.6.6"), output.constData());
}

void tst_DnsEndToEnd::upstreamRefusesEdns()
{
    // The server's bare FORMERR reaches dig, which can then ask again without EDNS.
    const QByteArray output = dig(oddHostPort, { "edns.test", "+tries=1", "+timeout=10" });
    QVERIFY2(output.contains("status: FORMERR"), output.constData());
    QVERIFY2(output.contains("EDNS query returned status FORMERR"), output.constData());
    QCOMPARE(dig(oddHostPort, { "edns.test", "+noedns", "+short", "+tries=1", "+timeout=10" }).trimmed(),
        QByteArray("10.5.5.5"));
}

void tst_DnsEndToEnd::upstreamClosesPooledConnection()
{
    // dnsmasq closes a TCP connection after a hundred queries; the queries in flight on it go again on a new one.
    const int count = 300;
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, dnsmasqHostPort);
    QVERIFY(client.waitForConnected(10000));
    QByteArray requests;
    for (int i = 0; i < count; ++i) {
        QByteArray query = hex("0000 0100 0001 0000 0000 0000 01 61 04 74657374 00 0001 0001");
        qToBigEndian(quint16(i), query.data());
        requests += QByteArray(1, '\0') + char(query.size()) + query;
    }
    client.write(requests);
    QByteArray received;
    QMap<int, int> codes;
    QSet<quint16> ids;
    const bool all = QTest::qWaitFor(
        [&] {
            received += client.readAll();
            while (received.size() >= 2) {
                const int length = qFromBigEndian<quint16>(received.constData());
                if (received.size() < length + 2)
                    break;
                const QByteArray answer = received.mid(2, length);
                received.remove(0, length + 2);
                ids.insert(qFromBigEndian<quint16>(answer.constData()));
                ++codes[answer.at(3) & 0x0f];
            }
            return ids.size() == count || client.state() != QAbstractSocket::ConnectedState;
        },
        60000);
    QVERIFY2(all, qPrintable(QStringLiteral("%1 answers").arg(ids.size())));
    QCOMPARE(codes.value(0), count);
}

void tst_DnsEndToEnd::halfClosedClientGetsItsAnswer()
{
    // A client may close its sending side once its query is out; the answer must come all the same.
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, dnsmasqHostPort);
    QVERIFY(client.waitForConnected(10000));
    const QByteArray query = hex("0b0b 0100 0001 0000 0000 0000 01 61 04 74657374 00 0001 0001");
    client.write(QByteArray(1, '\0') + char(query.size()) + query);
    QVERIFY(client.waitForBytesWritten(10000));
    QCOMPARE(::shutdown(int(client.socketDescriptor()), SHUT_WR), 0);
    QByteArray received;
    QVERIFY(QTest::qWaitFor(
        [&] {
            received += client.readAll();
            return received.size() >= 2 && received.size() >= qFromBigEndian<quint16>(received.constData()) + 2;
        },
        30000));
    const QByteArray answer = received.mid(2);
    QCOMPARE(qFromBigEndian<quint16>(answer.constData()), quint16(0x0b0b));
    QCOMPARE(answer.at(3) & 0x0f, 0);
    QVERIFY(answer.endsWith(hex("0a000001")));
    // Then the proxy closes its end as well.
    QVERIFY(QTest::qWaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; }, 30000));
}

void tst_DnsEndToEnd::silentUpstreamFloodIsBounded()
{
    // An upstream that reads and never answers: every query waits out its deadline.
    QUdpSocket silent;
    QVERIFY(silent.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    silent.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 << 20);
    const quint16 port = freePort(QHostAddress::LocalHost);
    QProcess *host = startHost(
        port, QStringLiteral("127.0.0.2:%1").arg(silent.localPort()), root.filePath(QStringLiteral("silenthost")));
    QVERIFY(host);
    const QString fds = QStringLiteral("/proc/%1/fd").arg(host->processId());
    const auto openDescriptors
        = [&fds] { return int(QDir(fds).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size()); };
    const int before = openDescriptors();
    QVERIFY(before > 0);

    QUdpSocket client;
    QVERIFY(client.bind(QHostAddress::LocalHost, 0));
    client.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 << 20);
    // Far more than the pool keeps waiting, in small batches, so neither side's buffer drops any: each query either
    // reaches the upstream or comes back SERVFAIL.
    const int count = 6000;
    const int batch = 50;
    int upstreamGot = 0;
    int servfails = 0;
    int most = before;
    for (int sent = 0; sent < count;) {
        for (int i = 0; i < batch; ++i, ++sent) {
            QByteArray query = hex("0000 0100 0001 0000 0000 0000 01 73 04 74657374 00 0001 0001");
            qToBigEndian(quint16(sent), query.data());
            client.writeDatagram(query, QHostAddress::LocalHost, port);
        }
        const bool settled = QTest::qWaitFor(
            [&] {
                while (silent.hasPendingDatagrams()) {
                    silent.receiveDatagram();
                    ++upstreamGot;
                }
                while (client.hasPendingDatagrams()) {
                    const QByteArray answer = client.receiveDatagram().data();
                    if (answer.size() > 3 && (answer.at(3) & 0x0f) == 2)
                        ++servfails;
                }
                return upstreamGot + servfails >= sent;
            },
            30000);
        QVERIFY2(settled,
            qPrintable(QStringLiteral("%1 sent, %2 upstream, %3 SERVFAIL").arg(sent).arg(upstreamGot).arg(servfails)));
        most = qMax(most, openDescriptors());
    }
    QVERIFY2(servfails > 0, qPrintable(QStringLiteral("%1 of %2 reached the upstream").arg(upstreamGot).arg(count)));
    // Its sockets to the upstream stay within the pool's bound (without it, one more every hundred queries).
    QVERIFY2(most - before <= Velmor::DNS::UdpSocketPool::MaxSockets,
        qPrintable(QStringLiteral("%1 descriptors, %2 at first").arg(most).arg(before)));
    host->closeWriteChannel();
    QVERIFY(host->waitForFinished(30000));
    QCOMPARE(host->exitCode(), 0);
}

void tst_DnsEndToEnd::spoofedReplyIsIgnored()
{
    QCOMPARE(
        dig(resolverHostPort, { "spoof.test", "+short", "+tries=1", "+timeout=10" }).trimmed(), QByteArray("10.9.9.9"));
}

void tst_DnsEndToEnd::tcpQueriesShareOneConnection()
{
    const qsizetype before = resolverLog().size();
    const QByteArray output
        = dig(resolverHostPort, { "+tcp", "+keepopen", "+short", "r.test", "delay.test", "spoof.test", "r.test" });
    QCOMPARE(output.trimmed().split('\n'), QList<QByteArray>({ "10.7.7.7", "10.8.8.8", "10.9.9.9", "10.7.7.7" }));
    const QList<QJsonObject> log = resolverLog(before);
    QCOMPARE(log.size(), 4);
    QSet<QString> sources;
    for (const QJsonObject &line : log) {
        QCOMPARE(line.value("transport").toString(), QStringLiteral("tcp"));
        sources.insert(line.value("source").toString());
    }
    QCOMPARE(sources.size(), 1);
}

void tst_DnsEndToEnd::clientClosesBeforeItsAnswer()
{
    const qsizetype before = resolverLog().size();
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, resolverHostPort);
    QVERIFY(client.waitForConnected(10000));
    QByteArray query = hex("0007 0100 0001 0000 0000 0000 05 64656c6179 04 74657374 00 0001 0001");
    client.write(QByteArray(1, '\0') + char(query.size()) + query);
    QVERIFY(client.waitForBytesWritten(10000));
    QVERIFY(QTest::qWaitFor([&] { return resolverLog(before).size() == 1; }, 10000));
    client.abort();
    // The late answer (half a second on) has nowhere to go; the host carries on, and its clean exit under the
    // sanitizers is checked at the end. The next query is sent after the late answer.
    QTest::qWait(800);
    QCOMPARE(dig(resolverHostPort, { "r.test", "+tcp", "+short", "+tries=1", "+timeout=10" }).trimmed(),
        QByteArray("10.7.7.7"));
}

void tst_DnsEndToEnd::blockPage()
{
    QProcess curl;
    curl.start(QStringLiteral("curl"),
        { "-s", "-i", "--max-time", "30",
            QStringLiteral("http://127.0.0.1:%1/?blockpage=10.0.0.1&hostname=a&url=b").arg(httpPort) });
    QVERIFY(curl.waitForFinished(60000));
    const QByteArray output = curl.readAllStandardOutput();
    QVERIFY2(output.startsWith("HTTP/1.1 303 See Other\r\n"), output.constData());
    QVERIFY(output.contains("\r\nLocation: http://10.0.0.1/blocked?hostname=a&token=7&url=b\r\n"));
}

void tst_DnsEndToEnd::blockPageHeadThenGet()
{
    // http.client reuses its connection unless the answer says it ends; a HEAD answer carries no body.
    const QByteArray output = blockPagePeers({ "request", "--port", QString::number(httpPort), "HEAD:/",
        "HEAD:/?blockpage=10.0.0.1&hostname=a&url=b", "GET:/?blockpage=10.0.0.1&hostname=a%23&url=b=c", "GET:/" });
    QCOMPARE(output.split('\n'),
        QList<QByteArray>({ "200 - 0", "303 http://10.0.0.1/blocked?hostname=a&token=7&url=b 0",
            "303 http://10.0.0.1/blocked?hostname=a%23&token=7&url=b=c 0", "200 - 42", "" }));
}

void tst_DnsEndToEnd::blockPageWithAnotherUsersHeldConnections()
{
    if (::geteuid() != 0)
        QSKIP("Connections of another user need root to make");
    // Another user opens as many connections as the block page takes and sends nothing on them.
    QProcess holder;
    holder.start(systemPython(),
        { sourcePath(QStringLiteral("tests/dns/blockpagepeers.py")), "hold", "--port", QString::number(httpPort),
            "--count", "64", "--uid", "65534" });
    QVERIFY(holder.waitForStarted(30000));
    QVERIFY(QTest::qWaitFor([&] { return holder.canReadLine() || holder.state() != QProcess::Running; }, 30000));
    const QByteArray held = holder.readLine().trimmed();
    QVERIFY2(held == "held 64", (held + holder.readAllStandardError()).constData());
    // This user's requests are all answered meanwhile.
    QStringList requests;
    for (int i = 0; i < 58; ++i)
        requests << QStringLiteral("GET:/?blockpage=10.0.0.1&hostname=h%1").arg(i);
    const QList<QByteArray> lines
        = blockPagePeers(QStringList { "request", "--port", QString::number(httpPort) } + requests)
              .trimmed()
              .split('\n');
    QCOMPARE(lines.size(), 58);
    for (int i = 0; i < 58; ++i)
        QCOMPARE(lines.at(i), "303 http://10.0.0.1/blocked?hostname=h" + QByteArray::number(i) + "&token=7&url= 0");
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(30000));
    QVERIFY(holder.readAllStandardOutput().startsWith("open "));
}

void tst_DnsEndToEnd::udpFloodOfAnotherUserLeavesAnswers()
{
    if (::geteuid() != 0)
        QSKIP("A flood of another user needs root to make");
    const QString peers = sourcePath(QStringLiteral("tests/dns/udpfloodpeers.py"));
    // A resolver that never answers the flood's names.
    QProcess *upstream = startProcess(systemPython(), { peers, "upstream", "--listen", "127.0.0.2:0" }, "ready ");
    QVERIFY(upstream);
    const quint16 port = freePort(QHostAddress::LocalHost);
    QProcess *host
        = startHost(port, "127.0.0.2:" + QString::fromLatin1(upstream->property("readyLine").toByteArray().mid(6)),
            root.filePath(QStringLiteral("floodhost")));
    QVERIFY(host);
    setToken(host, 7);

    QProcess flood;
    flood.start(systemPython(),
        { peers, "flood", "--port", QString::number(port), "--rate", "3000", "--seconds", "5", "--uid", "65534" });
    QVERIFY(flood.waitForStarted(30000));
    QVERIFY(QTest::qWaitFor([&] { return flood.canReadLine() || flood.state() != QProcess::Running; }, 30000));
    QCOMPARE(flood.readLine().trimmed(), QByteArray("flooding"));
    // Meanwhile this user asks, one name every 50 ms, each given 1 s.
    QProcess ask;
    ask.start(systemPython(), { peers, "ask", "--port", QString::number(port), "--count", "40", "--interval", "0.05" });
    QVERIFY(ask.waitForFinished(60000));
    const QByteArray asked = ask.readAllStandardOutput() + ask.readAllStandardError();
    const QList<QByteArray> lines = asked.trimmed().split('\n');
    const QList<QByteArray> result = lines.last().split(' ');
    QVERIFY2(result.size() == 4 && result.at(0) == "answered", asked.constData());
    QVERIFY2(result.at(1).toInt() >= 38, asked.constData());
    QVERIFY(flood.waitForFinished(30000));
    // The flood went on throughout.
    QVERIFY(flood.state() == QProcess::NotRunning);
    QCOMPARE(flood.exitCode(), 0);
    const QByteArray sent = flood.readAllStandardOutput().trimmed();
    QVERIFY2(sent.startsWith("sent ") && sent.mid(5).toInt() >= 12000, sent.constData());
    host->closeWriteChannel();
    QVERIFY(host->waitForFinished(30000));
}

void tst_DnsEndToEnd::tcpConnectionsOfAnotherUserLeaveRoom()
{
    if (::geteuid() != 0)
        QSKIP("Connections of another user need root to make");
    // Another user opens more connections than the proxy takes in all and asks nothing on them.
    QProcess holder;
    holder.start(systemPython(),
        { sourcePath(QStringLiteral("tests/dns/blockpagepeers.py")), "hold", "--port", QString::number(dnsmasqHostPort),
            "--count", "300", "--uid", "65534" });
    QVERIFY(holder.waitForStarted(30000));
    QVERIFY(QTest::qWaitFor([&] { return holder.canReadLine() || holder.state() != QProcess::Running; }, 30000));
    const QByteArray held = holder.readLine().trimmed();
    QVERIFY2(held == "held 300", (held + holder.readAllStandardError()).constData());
    // This user's queries over TCP are answered meanwhile, on connections of their own.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(dig(dnsmasqHostPort, { "+tcp", "+short", "+tries=1", "+timeout=5", "a.test" }).trimmed(),
            QByteArray("10.0.0.1"));
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(30000));
    // The other user kept his share and no more.
    QCOMPARE(
        holder.readAllStandardOutput().trimmed(), "open " + QByteArray::number(Velmor::DNSProxy::MaxTcpClientsPerUser));
}

void tst_DnsEndToEnd::tcpPlacesTakenByManyUsersLeaveRoom()
{
    if (::geteuid() != 0)
        QSKIP("Connections of other users need root to make");
    // Other users, each with his full share, take every place.
    const int users = Velmor::DNSProxy::MaxTcpClients / Velmor::DNSProxy::MaxTcpClientsPerUser;
    const QByteArray share = QByteArray::number(Velmor::DNSProxy::MaxTcpClientsPerUser);
    std::vector<std::unique_ptr<QProcess>> holders;
    for (int i = 0; i < users; ++i) {
        auto &holder = holders.emplace_back(std::make_unique<QProcess>());
        holder->start(systemPython(),
            { sourcePath(QStringLiteral("tests/dns/blockpagepeers.py")), "hold", "--port",
                QString::number(dnsmasqHostPort), "--count", QString::fromLatin1(share), "--uid",
                QString::number(60001 + i) });
        QVERIFY(holder->waitForStarted(30000));
        QVERIFY(QTest::qWaitFor([&] { return holder->canReadLine() || holder->state() != QProcess::Running; }, 30000));
        const QByteArray held = holder->readLine().trimmed();
        QVERIFY2(held == "held " + share, (held + holder->readAllStandardError()).constData());
    }
    // This user's query over TCP still gets a place: one user who holds the most gives up his idlest connection.
    QCOMPARE(dig(dnsmasqHostPort, { "+tcp", "+short", "+tries=1", "+timeout=5", "a.test" }).trimmed(),
        QByteArray("10.0.0.1"));
    int open = 0;
    int shortened = 0;
    for (auto &holder : holders) {
        holder->closeWriteChannel();
        QVERIFY(holder->waitForFinished(30000));
        const QByteArray left = holder->readAllStandardOutput().trimmed();
        QVERIFY2(left.startsWith("open "), left.constData());
        open += left.mid(5).toInt();
        shortened += left.mid(5) == share ? 0 : 1;
    }
    QCOMPARE(open, Velmor::DNSProxy::MaxTcpClients - 1);
    QCOMPARE(shortened, 1);
}

QTEST_GUILESS_MAIN(tst_DnsEndToEnd)
// A command line the host cannot serve is refused before anything listens: exit 2 and the usage on standard
// error, as the service and the desktop program answer; "--help" prints the usage and exits 0.
void tst_DnsEndToEnd::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("problem");
    const QString endpoint = QStringLiteral("127.0.0.1:%1").arg(freePort(QHostAddress::LocalHost));
    QTest::newRow("unknown option") << QStringList { "--listne", endpoint, "--upstream", "127.0.0.2:53" } << 2
                                    << QByteArray("velmor-dnshost: Unknown option 'listne'.");
    QTest::newRow("option without its value")
        << QStringList { "--upstream" } << 2 << QByteArray("velmor-dnshost: Missing value after '--upstream'.");
    QTest::newRow("stray argument") << QStringList { "--listen", endpoint, "--upstream", "127.0.0.2:53", "stray" } << 2
                                    << QByteArray("velmor-dnshost: unexpected argument stray");
    QTest::newRow("no endpoints") << QStringList() << 2
                                  << QByteArray("velmor-dnshost: --listen and --upstream take ADDRESS:PORT");
    QTest::newRow("help") << QStringList { "--help" } << 0 << QByteArray();
}

void tst_DnsEndToEnd::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, problem);
    QProcess host;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMOR_ROOT"), root.filePath(QStringLiteral("commandline")));
    host.setProcessEnvironment(environment);
    host.start(qEnvironmentVariable("VELMOR_BINARY_DIR") + QStringLiteral("/bin/velmor-dnshost"), arguments);
    QVERIFY(host.waitForStarted(10000));
    // A host that took the line would run until its input ends.
    host.closeWriteChannel();
    QVERIFY(host.waitForFinished(30000));
    const QByteArray output = host.readAllStandardOutput();
    const QByteArray errors = host.readAllStandardError();
    QCOMPARE(host.exitStatus(), QProcess::NormalExit);
    QCOMPARE(host.exitCode(), exitCode);
    const QByteArray usage = exitCode == 0 ? output : errors;
    QVERIFY2(
        usage.contains("--listen <address:port>") && usage.contains("--upstream <address:port>"), usage.constData());
    QVERIFY2(errors.startsWith(problem), errors.constData());
    QVERIFY2(!output.contains("ready"), output.constData());
}

#include "tst_dnsendtoend.moc"
