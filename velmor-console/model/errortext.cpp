#include "errortext.h"

#include "velmorwire/error.h"

#include <QCoreApplication>

QString errorCodeText(quint32 code)
{
    const char *text = nullptr;
    switch (code) {
    case 1:
        text = QT_TRANSLATE_NOOP("QObject", "Generic error");
        break;
    case 2:
        text = QT_TRANSLATE_NOOP("QObject", "Network timeout");
        break;
    case 3:
        text = QT_TRANSLATE_NOOP("QObject", "System service disconnected");
        break;
    case 4:
        text = QT_TRANSLATE_NOOP("QObject", "No original DNS addresses");
        break;
    case 5:
        text = QT_TRANSLATE_NOOP("QObject", "Failed to set DNS server addresses");
        break;
    case 6:
        text = QT_TRANSLATE_NOOP("QObject", "Failed to update connections info");
        break;
    case 30:
        text = QT_TRANSLATE_NOOP("QObject", "Invalid login or password");
        break;
    case 31:
        text = QT_TRANSLATE_NOOP("QObject", "Failed to connect to cabinet");
        break;
    case 1051:
        text = QT_TRANSLATE_NOOP("QObject", "IP address is inaccessible");
        break;
    default:
        return QString();
    }
    return QCoreApplication::translate("QObject", text);
}

QString errorText(const Velmor::Error &error)
{
    const QString codeText = errorCodeText(error.code());
    const QString message = error.message();
    if (message.isEmpty())
        return codeText;
    if (codeText.isEmpty())
        return message;
    return codeText + QLatin1String(": ") + message;
}
