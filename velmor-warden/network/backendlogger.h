#ifndef VELMOR_BACKENDLOGGER_H
#define VELMOR_BACKENDLOGGER_H

#include "base/logger.h"

#include <QObject>

namespace Velmor {
namespace Private {

// The process's log sink while a backend exists: texts written from any thread reach Qt's message output (the
// event log, in the service) on the thread of this object.
class BackendLogger : public QObject, public Logger
{
    Q_OBJECT
public:
    explicit BackendLogger(QObject *parent = nullptr);
    ~BackendLogger() override;

    // Any thread. Types other than warning, critical and fatal are written as debug messages.
    void writeString(MsgType type, const char *text) override;

public Q_SLOTS:
    void message(int type, const QString &msg);
};

} // namespace Private
} // namespace Velmor

#endif // VELMOR_BACKENDLOGGER_H
