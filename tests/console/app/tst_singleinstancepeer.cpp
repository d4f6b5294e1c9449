#include "consoletest.h"

#include "app/peermessagereader.h"
#include "app/singleinstancepeer.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

// Two peers in one process stand for two copies: the lock is per open file, so the second one is a client.
class tst_SingleInstancePeer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void readerChunks_data();
    void readerChunks();
    void readerRefusesLongMessage();
    void oneInstancePerSession();
    void messageAcknowledgedBeforeEmitted();
    void instanceGoneIsNoticed();
    void staleSocketReplacedOnlyUnderLock();
    void silentClientDropped();
    void oversizedClientDropped();
    void runtimeFolderMustBeOurs();
    void longRuntimeFolder();
    void plantedSharedFolder();

private:
    QString m_session;
    int m_sessions = 0;
};

void tst_SingleInstancePeer::init()
{
    m_session = QStringLiteral("peer-%1").arg(++m_sessions);
    qputenv("XDG_SESSION_ID", m_session.toUtf8());
}

void tst_SingleInstancePeer::readerChunks_data()
{
    QTest::addColumn<int>("chunk");
    QTest::newRow("whole") << 1000;
    QTest::newRow("bytes") << 1;
    QTest::newRow("threes") << 3;
    QTest::newRow("fives") << 5;
}

void tst_SingleInstancePeer::readerChunks()
{
    QFETCH(int, chunk);
    const QString message = QStringLiteral("unlock \u00fcninstall");
    const QByteArray bytes = PeerMessageReader::frame(message) + "trailing";
    PeerMessageReader reader;
    for (qsizetype at = 0; at < bytes.size(); at += chunk) {
        const PeerMessageReader::Status status = reader.append(bytes.mid(at, chunk));
        QVERIFY(status != PeerMessageReader::TooLong);
    }
    QCOMPARE(reader.status(), PeerMessageReader::Complete);
    QCOMPARE(reader.message(), message);
}

void tst_SingleInstancePeer::readerRefusesLongMessage()
{
    PeerMessageReader exact;
    QCOMPARE(exact.append(PeerMessageReader::frame(QString(64 * 1024, QLatin1Char('x')))), PeerMessageReader::Complete);
    PeerMessageReader longer;
    QCOMPARE(
        longer.append(PeerMessageReader::frame(QString(64 * 1024 + 1, QLatin1Char('x')))), PeerMessageReader::TooLong);
    PeerMessageReader huge;
    QCOMPARE(huge.append(QByteArray("\xff\xff\xff\xff", 4)), PeerMessageReader::TooLong);
}

void tst_SingleInstancePeer::oneInstancePerSession()
{
    SingleInstancePeer first(nullptr, QStringLiteral("velmor-agent%1S-1-22-1-9"));
    SingleInstancePeer second(nullptr, QStringLiteral("velmor-agent%1S-1-22-1-9"));
    QVERIFY(!first.isClient());
    QVERIFY(second.isClient());
    QVERIFY(second.isInstanceHeld());
    const QFileInfo socket(first.socketPath());
    QVERIFY(socket.exists());
    QCOMPARE(socket.absolutePath(), qEnvironmentVariable("XDG_RUNTIME_DIR"));
    // A short name, whatever the id and the session are called.
    QVERIFY2(socket.fileName().size() <= 30, qPrintable(socket.fileName()));

    // Another session, or another user's id, is another instance.
    qputenv("XDG_SESSION_ID", "other-session");
    SingleInstancePeer otherSession(nullptr, QStringLiteral("velmor-agent%1S-1-22-1-9"));
    QVERIFY(!otherSession.isClient());
    qputenv("XDG_SESSION_ID", m_session.toUtf8());
    SingleInstancePeer otherUser(nullptr, QStringLiteral("velmor-agent%1S-1-22-1-10"));
    QVERIFY(!otherUser.isClient());
}

void tst_SingleInstancePeer::messageAcknowledgedBeforeEmitted()
{
    SingleInstancePeer instance(nullptr, QStringLiteral("id"));
    QVERIFY(!instance.isClient());
    QSignalSpy received(&instance, &SingleInstancePeer::messageReceived);
    // The client sends blocking, as a second copy does; the instance answers from its event loop.
    QLocalSocket client;
    client.connectToServer(instance.socketPath());
    QVERIFY(client.waitForConnected(5000));
    client.write(PeerMessageReader::frame(QStringLiteral("unlock uninstall")));
    QTRY_COMPARE(received.size(), 1);
    QCOMPARE(received.first().first().toString(), QStringLiteral("unlock uninstall"));
    QVERIFY(client.waitForReadyRead(5000) || client.bytesAvailable() > 0);
    QCOMPARE(client.readAll(), QByteArray("ack"));
    QTRY_COMPARE(client.state(), QLocalSocket::UnconnectedState);
}

void tst_SingleInstancePeer::instanceGoneIsNoticed()
{
    auto instance = std::make_unique<SingleInstancePeer>(nullptr, QStringLiteral("id"));
    QVERIFY(!instance->isClient());
    SingleInstancePeer client(nullptr, QStringLiteral("id"));
    QVERIFY(client.isClient());
    QVERIFY(client.isInstanceHeld());
    instance.reset();
    QVERIFY(!client.isInstanceHeld());
    // Nobody acknowledges, and the sender does not wait out its whole time for a copy that has gone.
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!client.sendMessage(QStringLiteral("1"), 20000));
    QVERIFY(timer.elapsed() < 10000);
}

void tst_SingleInstancePeer::staleSocketReplacedOnlyUnderLock()
{
    QString path;
    {
        SingleInstancePeer probe(nullptr, QStringLiteral("id"));
        path = probe.socketPath();
    }
    // A socket file left by a copy that died.
    QFile stale(path);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.close();
    SingleInstancePeer instance(nullptr, QStringLiteral("id"));
    QVERIFY(!instance.isClient());
    SingleInstancePeer client(nullptr, QStringLiteral("id"));
    QVERIFY(client.isClient());
    // The client must leave the running copy's socket in place.
    QVERIFY(QFileInfo(path).exists());
    QSignalSpy received(&instance, &SingleInstancePeer::messageReceived);
    QLocalSocket probe;
    probe.connectToServer(path);
    QVERIFY(probe.waitForConnected(5000));
    probe.write(PeerMessageReader::frame(QStringLiteral("1")));
    QTRY_COMPARE(received.size(), 1);
}

void tst_SingleInstancePeer::silentClientDropped()
{
    SingleInstancePeer instance(nullptr, QStringLiteral("id"));
    instance.setSilenceTimeout(50);
    QVERIFY(!instance.isClient());
    QLocalSocket client;
    client.connectToServer(instance.socketPath());
    QVERIFY(client.waitForConnected(5000));
    client.write(QByteArray("\x05\x00", 2));
    QTRY_COMPARE(client.state(), QLocalSocket::UnconnectedState);
}

void tst_SingleInstancePeer::oversizedClientDropped()
{
    SingleInstancePeer instance(nullptr, QStringLiteral("id"));
    QVERIFY(!instance.isClient());
    QSignalSpy received(&instance, &SingleInstancePeer::messageReceived);
    QLocalSocket client;
    client.connectToServer(instance.socketPath());
    QVERIFY(client.waitForConnected(5000));
    client.write(QByteArray("\x01\x00\x01\x00", 4));
    QTRY_COMPARE(client.state(), QLocalSocket::UnconnectedState);
    QCOMPARE(received.size(), 0);
}

void tst_SingleInstancePeer::runtimeFolderMustBeOurs()
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir open;
    QFile::setPermissions(open.path(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::WriteOther
            | QFileDevice::ReadOther | QFileDevice::ExeOther);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(open.path()));
    SingleInstancePeer peer(nullptr, QStringLiteral("id"));
    qputenv("XDG_RUNTIME_DIR", saved);
    // A folder others may write to is not used: the copy runs on its own and leaves nothing there.
    QVERIFY(peer.socketPath().isEmpty());
    QVERIFY(!peer.isClient());
    QVERIFY(QDir(open.path()).isEmpty());
}

namespace {

// Writes the message as a second copy would, without waiting for the answer: the instance answers from this
// thread's event loop.
void deliver(const QString &socketPath, const QString &message)
{
    auto *socket = new QLocalSocket(qApp);
    socket->connectToServer(socketPath);
    socket->write(PeerMessageReader::frame(message));
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
}

} // namespace

// A runtime folder of 60 characters still holds the socket, and a second copy reaches the first.
void tst_SingleInstancePeer::longRuntimeFolder()
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir base(QStringLiteral("/tmp/rt-XXXXXX"));
    QString folder = base.path() + QLatin1Char('/');
    while (folder.size() < 60)
        folder += QLatin1Char('r');
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
    const QString id = QStringLiteral("velmor-agent%1S-1-22-1-") + QString::number(::getuid());
    qputenv("XDG_SESSION_ID", "c2-report-dialog-session-with-a-long-name");
    SingleInstancePeer instance(nullptr, id);
    SingleInstancePeer client(nullptr, id);
    qputenv("XDG_RUNTIME_DIR", saved);
    qputenv("XDG_SESSION_ID", m_session.toUtf8());
    QCOMPARE(QFileInfo(instance.socketPath()).absolutePath(), folder);
    QTest::failOnWarning(QRegularExpression(QStringLiteral("Cannot listen")));
    QVERIFY(!instance.isClient());
    QVERIFY(QFileInfo::exists(instance.socketPath()));
    QVERIFY(client.isClient());
    QVERIFY(client.isInstanceHeld());
    QSignalSpy received(&instance, &SingleInstancePeer::messageReceived);
    deliver(client.socketPath(), QStringLiteral("1"));
    QTRY_COMPARE(received.size(), 1);
}

// Without XDG_RUNTIME_DIR, the shared temporary folder's name was taken by someone else (here a link): the copy
// falls back to a private folder under the user's home, and copies still find each other.
void tst_SingleInstancePeer::plantedSharedFolder()
{
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTemp = qgetenv("TMPDIR");
    const QByteArray savedState = qgetenv("XDG_STATE_HOME");
    QTemporaryDir shared;
    QTemporaryDir elsewhere;
    QTemporaryDir home;
    const QString planted = shared.filePath(QStringLiteral("velmor-") + QString::number(::geteuid()));
    QVERIFY(QFile::link(elsewhere.path(), planted));
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(shared.path()));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.path()));
    SingleInstancePeer instance(nullptr, QStringLiteral("id"));
    SingleInstancePeer client(nullptr, QStringLiteral("id"));
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    savedTemp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", savedTemp);
    savedState.isNull() ? qunsetenv("XDG_STATE_HOME") : qputenv("XDG_STATE_HOME", savedState);

    const QString folder = home.filePath(QStringLiteral("velmor-runtime"));
    QCOMPARE(QFileInfo(instance.socketPath()).absolutePath(), folder);
    QCOMPARE(QFileInfo(folder).permissions()
            & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup | QFileDevice::WriteOther
                | QFileDevice::ExeGroup | QFileDevice::ExeOther),
        QFileDevice::Permissions());
    QVERIFY(!instance.isClient());
    QVERIFY(client.isClient());
    QSignalSpy received(&instance, &SingleInstancePeer::messageReceived);
    deliver(client.socketPath(), QStringLiteral("close"));
    QTRY_COMPARE(received.size(), 1);
    // Nothing was put where the link leads.
    QVERIFY(QDir(elsewhere.path()).isEmpty());
}

CONSOLE_TEST_MAIN(tst_SingleInstancePeer)
#include "tst_singleinstancepeer.moc"
