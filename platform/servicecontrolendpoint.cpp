#include "servicecontrolendpoint.h"

#include "eventlog.h"
#include "filelock.h"
#include "root.h"
#include "servicemanager_p.h"
#include "winerror.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {

namespace {

const qint64 MaximumControlLine = 64;

// Whether a running service holds the lock file: only a service takes its write lock.
bool isRunningServiceLock(int fd)
{
    struct flock held = {};
    held.l_type = F_WRLCK;
    held.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_GETLK, &held) == 0 && held.l_type == F_WRLCK;
}

} // namespace

ServiceControlEndpoint::ServiceControlEndpoint(const QString &serviceName, QObject *parent)
    : QObject(parent)
    , m_name(serviceName)
    , m_server(new QLocalServer(this))
{
    // Only the owner may control the service, as only administrators may on Windows.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &ServiceControlEndpoint::server_newConnection);
}

ServiceControlEndpoint::~ServiceControlEndpoint()
{
    m_server->close();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

bool ServiceControlEndpoint::listen()
{
    // The lock lives as long as the process holds it, so a crashed service never blocks the next start. It is an
    // open file description's lock: other descriptors of this process that open and close the file keep it.
    // Only this user may open it: anyone who can open it can lock it, and so keep the service from starting.
    const QString path = ServiceManager::lockFilePath(m_name);
    m_lockFd = openLockFile(path, O_RDWR, PrivateFileMode, isRunningServiceLock);
    if (m_lockFd < 0) {
        m_error = ErrorAccessDenied;
        return false;
    }
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    bool locked = ::fcntl(m_lockFd, F_OFD_SETLK, &lock) == 0;
    if (!locked && !isRunningServiceLock(m_lockFd)) {
        // Only a read lock is in the way, which no service takes: it is someone else's, on a file opened before it
        // was private. A fresh file leaves it behind.
        ::close(m_lockFd);
        m_lockFd = -1;
        if (writeFileAtomically(path, QByteArray(), PrivateFileMode))
            m_lockFd = openFile(path, O_RDWR, PrivateFileMode);
        if (m_lockFd < 0) {
            m_error = ErrorAccessDenied;
            return false;
        }
        locked = ::fcntl(m_lockFd, F_OFD_SETLK, &lock) == 0;
    }
    if (!locked) {
        ::close(m_lockFd);
        m_lockFd = -1;
        m_error = ErrorServiceAlreadyRunning;
        return false;
    }
    if (!listenOnSocket()) {
        m_error = ErrorAccessDenied;
        return false;
    }
    writeRecord();
    return true;
}

bool ServiceControlEndpoint::listenOnSocket()
{
    const QString path = ServiceManager::controlSocketPath(m_name);
    const QString folder = ServiceManager::controlSocketFolder();
    if (!ensureDir(folder, PrivateFolderMode)) {
        m_errorString = QStringLiteral("The control socket %1 cannot be made: the folder %2 is not a private folder "
                                       "of this user (%3)")
                            .arg(path, folder, qt_error_string(errno));
        return false;
    }
    // Holding the lock, any socket file left behind belongs to an instance that is gone.
    QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        m_errorString = QStringLiteral("The control socket %1 cannot be made: %2").arg(path, m_server->errorString());
        return false;
    }
    m_socketPath = path;
    return true;
}

void ServiceControlEndpoint::writeRecord()
{
    if (m_lockFd < 0)
        return;
    ServiceRecord record;
    record.pid = QCoreApplication::applicationPid();
    record.state = m_state;
    record.socketPath = m_socketPath;
    const QByteArray bytes = formatServiceRecord(record);
    [[maybe_unused]] const ssize_t written = ::pwrite(m_lockFd, bytes.constData(), size_t(bytes.size()), 0);
    // Other users may not open the lock file; they read the same record here.
    writeFileAtomically(ServiceManager::recordFilePath(m_name), bytes, PublicFileMode);
}

void ServiceControlEndpoint::setState(ServiceState state)
{
    if (m_state == state)
        return;
    m_state = state;
    writeRecord();
    ServiceManager::reportState(m_name, state);
}

void ServiceControlEndpoint::server_newConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        socket->setReadBufferSize(MaximumControlLine);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
        if (socket->canReadLine())
            answer(socket);
    }
}

WinError ServiceControlEndpoint::check(quint32 control) const
{
    const bool pending = m_state == ServiceState::StartPending || m_state == ServiceState::StopPending;
    if (control == ControlInterrogate)
        return ErrorSuccess;
    // Controls that reach a stopped service before its process ends, such as a second line behind a stop,
    // would run it again after its stop.
    if (m_state == ServiceState::Stopped)
        return ErrorServiceNotActive;
    switch (control) {
    case ControlStop:
        if (!(m_acceptedControls & AcceptStop))
            return ErrorInvalidServiceControl;
        break;
    case ControlPause:
    case ControlContinue:
        if (!(m_acceptedControls & AcceptPauseContinue))
            return ErrorInvalidServiceControl;
        break;
    default:
        if (control < FirstUserControl || control > LastUserControl)
            return ErrorInvalidParameter;
    }
    return pending ? ErrorServiceCannotAcceptControl : ErrorSuccess;
}

void ServiceControlEndpoint::answer(QLocalSocket *socket)
{
    while (socket->canReadLine()) {
        bool ok = false;
        const quint32 control = socket->readLine().trimmed().toUInt(&ok);
        const WinError status = ok ? check(control) : ErrorInvalidParameter;
        if (status == ErrorSuccess && control != ControlInterrogate) {
            QString what;
            switch (control) {
            case ControlStop:
                what = QStringLiteral("a stop control");
                break;
            case ControlPause:
                what = QStringLiteral("a pause control");
                break;
            case ControlContinue:
                what = QStringLiteral("a continue control");
                break;
            default:
                what = QStringLiteral("the user command %1").arg(control - FirstUserControl);
            }
            EventLog::report(QStringLiteral("Service Control Manager"), EventLog::Information, 7035,
                QStringLiteral("The %1 service was successfully sent %2.").arg(m_name, what));
            if (m_handler)
                m_handler(control);
        }
        socket->write(QByteArray::number(status) + ' ' + QByteArray::number(quint32(m_state)) + ' '
            + QByteArray::number(QCoreApplication::applicationPid()) + '\n');
        // The answer to a stop must leave before the event loop ends.
        socket->flush();
        if (socket->bytesToWrite() > 0)
            socket->waitForBytesWritten(1000);
    }
    // A control is a short number: a longer text without a line end is no control, and must not fill memory.
    if (socket->bytesAvailable() >= MaximumControlLine)
        socket->abort();
}

} // namespace Platform
} // namespace Velmor
