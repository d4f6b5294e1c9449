#ifndef VELMOR_SERVICE_H
#define VELMOR_SERVICE_H

#include "servicehost.h"

#include <QtGlobal>

namespace Velmor {
class Server;
}

// The service "Velmor Agent": its settings, its pid file and, through the controls of the service manager, the
// life of the server.
class Service : public Velmor::ServiceHost
{
public:
    Service(int &argc, char **argv);
    ~Service() override;

protected:
    void start() override;
    void stop() override;
    void pause() override;
    void resume() override;

private:
    void writePidFile();

    // Made by the first start and kept for the whole run.
    Velmor::Server *m_server;
    QString m_pidFile;
};

// Writes every diagnostic of the process to the Application event log under the service's name; a fatal one
// ends the process after it is written.
void eventLogMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

#endif // VELMOR_SERVICE_H
