#include "protecteddata.h"

#include "platform/dataprotection.h"
#include "platform/winerror.h"

namespace Velmor {

QByteArray protectData(const QByteArray &data, const QString &description)
{
    QByteArray blob;
    if (!Platform::cryptProtectData(data, description, &blob)) {
        printSystemError(QStringLiteral("CryptProtectData"), -1);
        return QByteArray();
    }
    return blob;
}

QByteArray unprotectData(const QByteArray &blob, bool withDescription)
{
    QString description;
    QByteArray data;
    if (!Platform::cryptUnprotectData(blob, withDescription ? &description : nullptr, &data)) {
        printSystemError(QStringLiteral("Decryption error!"), -1);
        return QByteArray();
    }
    return data;
}

} // namespace Velmor
