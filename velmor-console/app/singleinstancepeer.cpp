#include "singleinstancepeer.h"

#include "peermessagereader.h"

#include "platform/runtimedir.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QByteArray acknowledgement("ack");

// Named after the id and the session, yet short: a socket address holds 108 bytes, and Qt binds a temporary name
// a few bytes longer first. 24 hex digits leave room under a runtime folder of 68 characters.
QString fileName(const QString &appId, const QString &session)
{
    const QByteArray digest
        = QCryptographicHash::hash(appId.toUtf8() + '\0' + session.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QLatin1String(digest.left(24));
}

} // namespace

SingleInstancePeer::SingleInstancePeer(QObject *parent, const QString &appId)
    : QObject(parent)
    , m_id(appId)
    , m_lockFd(-1)
    , m_decided(-1)
    , m_silenceTimeout(5000)
    , m_server(nullptr)
{
    const QString folder = Velmor::Platform::userRuntimeDir();
    if (folder.isEmpty())
        return;
    const QString name = fileName(appId, qEnvironmentVariable("XDG_SESSION_ID"));
    m_lockPath = folder + QLatin1Char('/') + name + QLatin1String(".lock");
    m_socketPath = folder + QLatin1Char('/') + name + QLatin1String(".sock");
}

SingleInstancePeer::~SingleInstancePeer()
{
    if (m_server)
        m_server->close();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

bool SingleInstancePeer::isClient()
{
    if (m_decided >= 0)
        return m_decided == 1;
    m_decided = 0;
    if (m_lockPath.isEmpty()) {
        qWarning("No private runtime folder: this copy runs without the single-instance check");
        return false;
    }
    m_lockFd = ::open(QFile::encodeName(m_lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_lockFd < 0) {
        qWarning("Cannot open the instance lock %s: %s", qPrintable(m_lockPath), strerror(errno));
        return false;
    }
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            m_decided = 1;
            return true;
        }
        qWarning("Cannot lock %s: %s", qPrintable(m_lockPath), strerror(errno));
        return false;
    }
    if (!listen())
        qWarning("Cannot listen on %s: other copies cannot reach this one", qPrintable(m_socketPath));
    return false;
}

bool SingleInstancePeer::listen()
{
    // The lock is held: a socket file here belongs to a copy that has ended.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstancePeer::server_newConnection);
    return m_server->listen(m_socketPath);
}

bool SingleInstancePeer::isInstanceHeld()
{
    if (!isClient())
        return true;
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK;
    ::flock(m_lockFd, LOCK_UN);
    return false;
}

bool SingleInstancePeer::sendMessage(const QString &message, int timeout)
{
    if (!isClient())
        return false;
    const QDeadlineTimer deadline(qMax(timeout, 0));
    QLocalSocket socket;
    // The instance takes its lock a moment before it listens; a copy that has ended never will.
    for (;;) {
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        if (deadline.hasExpired() || !isInstanceHeld())
            return false;
        QThread::msleep(20);
    }
    socket.write(PeerMessageReader::frame(message));
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return false;
    QByteArray answer;
    while (answer.size() < acknowledgement.size()) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
        answer += socket.readAll();
    }
    return answer.startsWith(acknowledgement);
}

void SingleInstancePeer::server_newConnection()
{
    while (QLocalSocket *client = m_server->nextPendingConnection())
        serve(client);
}

void SingleInstancePeer::serve(QLocalSocket *client)
{
    auto reader = std::make_shared<PeerMessageReader>();
    auto silence = new QTimer(client);
    silence->setSingleShot(true);
    silence->start(m_silenceTimeout);
    connect(silence, &QTimer::timeout, client, &QLocalSocket::abort);
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    connect(client, &QLocalSocket::readyRead, this, [this, client, reader, silence] {
        // One message per connection: what follows it is not read.
        if (reader->status() != PeerMessageReader::NeedMore)
            return;
        const PeerMessageReader::Status status = reader->append(client->readAll());
        if (status == PeerMessageReader::NeedMore) {
            silence->start(m_silenceTimeout);
            return;
        }
        silence->stop();
        if (status == PeerMessageReader::TooLong) {
            client->abort();
            return;
        }
        // The sender waits for the answer only a few seconds; what the message starts may take longer.
        client->write(acknowledgement);
        client->flush();
        client->disconnectFromServer();
        Q_EMIT messageReceived(reader->message());
    });
}
