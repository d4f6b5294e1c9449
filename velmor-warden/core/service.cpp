#include "service.h"

#include "servicesettings.h"

#include "platform/eventlog.h"
#include "platform/root.h"
#include "platform/settingsstore.h"

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
    switch (type) {
    case QtDebugMsg:
        host->logMessage(message, Velmor::ServiceHost::Information);
        break;
    case QtWarningMsg:
        host->logMessage(message, Velmor::ServiceHost::Warning);
        break;
    case QtCriticalMsg:
        host->logMessage(message, Velmor::ServiceHost::Error);
        break;
    case QtFatalMsg:
        host->logMessage(message, Velmor::ServiceHost::Error);
        std::abort();
    default:
        break;
    }
}

Service::Service(int &argc, char **argv)
    : Velmor::ServiceHost(argc, argv, QStringLiteral("Velmor Agent"))
{
    setServiceDescription(
        QStringLiteral("Velmor Agent backend. Handles DNS settings on local system and user filtering preferences"));
    setServiceFlags(CanBeSuspended | NeedsStopOnShutdown);
    setStartupType(AutoStartup);
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Service"));
    Velmor::Platform::useRootSettings();
    qInstallMessageHandler(eventLogMessageHandler);
}

Service::~Service()
{
    // Diagnostics raised after the service is gone go to Qt's default output again.
    qInstallMessageHandler(nullptr);
}

void Service::start()
{
    Velmor::prepareServiceSettings(QCoreApplication::applicationDirPath());
    // The server (Velmor::Server) is created here once and started; a failed start is logged and is fatal.
    writePidFile();
}

void Service::stop()
{
    // The server stops here.
    if (!m_pidFile.isEmpty() && QFile::exists(m_pidFile))
        QFile::remove(m_pidFile);
}

void Service::pause()
{
    // The server stops here; the process and its pid file stay.
}

void Service::resume()
{
    // The server starts again here.
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
