#include "trustedroots.h"

#include "root.h"

#include <QDir>
#include <QFileInfo>
#include <QSslCertificate>
#include <QSslConfiguration>

namespace Velmor {
namespace Platform {

int installTrustedRoots()
{
    const QDir folder(rootPath() + QStringLiteral("/trust"));
    const QFileInfoList files = folder.entryInfoList(QStringList { QStringLiteral("*.pem") }, QDir::Files, QDir::Name);
    QList<QSslCertificate> found;
    for (const QFileInfo &file : files)
        found += QSslCertificate::fromPath(file.absoluteFilePath(), QSsl::Pem);
    if (found.isEmpty())
        return 0;

    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> trusted = configuration.caCertificates();
    // Setting the list ends Qt's loading of the system roots on demand, so they are taken in explicitly.
    if (trusted.isEmpty())
        trusted = QSslConfiguration::systemCaCertificates();
    int added = 0;
    for (const QSslCertificate &certificate : std::as_const(found)) {
        if (certificate.isNull() || trusted.contains(certificate))
            continue;
        trusted.append(certificate);
        ++added;
    }
    if (added == 0)
        return 0;
    configuration.setCaCertificates(trusted);
    QSslConfiguration::setDefaultConfiguration(configuration);
    return added;
}

} // namespace Platform
} // namespace Velmor
