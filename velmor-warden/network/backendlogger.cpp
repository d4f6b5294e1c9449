#include "backendlogger.h"

#include <QDebug>

namespace Velmor {
namespace Private {

BackendLogger::BackendLogger(QObject *parent)
    : QObject(parent)
{ }

BackendLogger::~BackendLogger() = default;

void BackendLogger::writeString(MsgType type, const char *text)
{
    const int kept = type == WarningMsg || type == CriticalMsg || type == FatalMsg ? int(type) : int(DebugMsg);
    QMetaObject::invokeMethod(
        this, "message", Qt::QueuedConnection, Q_ARG(int, kept), Q_ARG(QString, QString::fromLatin1(text)));
}

void BackendLogger::message(int type, const QString &msg)
{
    // As a QDebug stream of the type writes it: quoted, then one blank.
    QString text;
    QDebug(&text) << msg;
    const QByteArray line = text.toUtf8();
    switch (type) {
    case WarningMsg:
        qWarning("%s", line.constData());
        break;
    case CriticalMsg:
        qCritical("%s", line.constData());
        break;
    case FatalMsg:
        qFatal("%s", line.constData());
        break;
    default:
        qDebug("%s", line.constData());
        break;
    }
}

} // namespace Private
} // namespace Velmor
