#include "errortext.h"

#include "velmorwire/error.h"

#include <QCoreApplication>

QString errorCodeText(quint32 code)
{
    const char *text = nullptr;
    switch (code) {
    case Velmor::Error::GeneralFailure:
        text = QT_TRANSLATE_NOOP("QObject", "Generic error");
        break;
    case Velmor::Error::Timeout:
        text = QT_TRANSLATE_NOOP("QObject", "Network timeout");
        break;
    case Velmor::Error::NotConnected:
        text = QT_TRANSLATE_NOOP("QObject", "System service disconnected");
        break;
    case Velmor::Error::NoDhcpServers:
        text = QT_TRANSLATE_NOOP("QObject", "No original DNS addresses");
        break;
    case Velmor::Error::AccessDenied:
        text = QT_TRANSLATE_NOOP("QObject", "Failed to set DNS server addresses");
        break;
    case Velmor::Error::AdapterListUnavailable:
        text = QT_TRANSLATE_NOOP("QObject", "Failed to update connections info");
        break;
    case Velmor::Error::AuthenticationFailed:
        text = QT_TRANSLATE_NOOP("QObject", "Invalid login or password");
        break;
    case Velmor::Error::NetworkFailure:
        text = QT_TRANSLATE_NOOP("QObject", "Failed to connect to cabinet");
        break;
    case Velmor::Error::AddressRefused:
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
