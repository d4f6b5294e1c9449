#include "service.h"

#include "server.h"

#include "base/servicesettings.h"

#include "platform/eventlog.h"
#include "platform/root.h"
#include "platform/settingsstore.h"
#include "platform/trustedroots.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstdlib>

void eventLogMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Q_UNUSED(context);
    Velmor::ServiceHost *host = Velmor::ServiceHost::instance();
    if (!host)
        return;
    // Peers reach many of these lines: one that comes again within a minute is counted, not written again.
    switch (type) {
    case QtDebugMsg:
        host->logDiagnostic(message, Velmor::ServiceHost::Information);
        break;
    case QtWarningMsg:
        host->logDiagnostic(message, Velmor::ServiceHost::Warning);
        break;
    case QtCriticalMsg:
        host->logDiagnostic(message, Velmor::ServiceHost::Error);
        break;
    case QtFatalMsg:
        host->logFatal(message);
        std::abort();
    default:
        break;
    }
}

Service::Service(int &argc, char **argv)
    : Velmor::ServiceHost(argc, argv, QStringLiteral("Velmor Agent"))
    , m_server(nullptr)
{
    setServiceDescription(
        QStringLiteral("Velmor Agent backend. Handles DNS settings on local system and user filtering preferences"));
    setServiceFlags(CanBeSuspended | NeedsStopOnShutdown);
    setStartupType(AutoStartup);
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Service"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMOR_VERSION));
    Velmor::Platform::useRootSettings();
    qInstallMessageHandler(eventLogMessageHandler);
}

Service::~Service()
{
    // The server outlives the event loop and goes only now, with the application object still there, so the
    // process ends with nothing left behind.
    delete m_server;
    // Diagnostics raised after the service is gone go to Qt's default output again.
    qInstallMessageHandler(nullptr);
}

void Service::start()
{
    QString failure;
    if (!Velmor::prepareServiceSettings(QCoreApplication::applicationDirPath(), &failure)) {
        failStart(failure);
        return;
    }
    Velmor::Platform::installTrustedRoots();
    if (!m_server)
        m_server = new Velmor::Server;
    if (!m_server->start()) {
        // The server reads only the settings store at start: its path tells where to look.
        const Velmor::Error error = m_server->lastError();
        const QString message = error.message().isEmpty() ? QStringLiteral("<no message>") : error.message();
        failStart(QStringLiteral("%1: %2 (settings %3)")
                      .arg(error.code())
                      .arg(message, Velmor::ServiceSettings().fileName()));
        return;
    }
    writePidFile();
}

void Service::stop()
{
    if (m_server)
        m_server->stop();
    if (!m_pidFile.isEmpty() && QFile::exists(m_pidFile))
        QFile::remove(m_pidFile);
}

void Service::pause()
{
    // The process and its pid file stay.
    if (m_server)
        m_server->stop();
}

void Service::resume()
{
    if (!m_server || m_server->start())
        return;
    // The service runs on without protection: that must be seen in the log.
    const Velmor::Error failure = m_server->lastError();
    qCritical("the server did not start again: %u: %s", failure.code(), qPrintable(failure.message()));
}

void Service::writePidFile()
{
    // The process's own command line, not start parameters: the registered command line or the typed one.
    static const QRegularExpression pidFileArgument(QStringLiteral("^--pidfile=.*"));
    const QStringList arguments = QCoreApplication::arguments();
    for (const QString &argument : arguments) {
        if (!pidFileArgument.match(argument).hasMatch())
            continue;
        m_pidFile = argument.mid(10);
        // Replaced, never written through: a link put in its place, maybe by another user, is not followed.
        if (!Velmor::Platform::writeFileAtomically(
                m_pidFile, QByteArray::number(QCoreApplication::applicationPid()), Velmor::Platform::PublicFileMode))
            qWarning("failed to write pid file: %s", qPrintable(qt_error_string(errno)));
        return;
    }
}
