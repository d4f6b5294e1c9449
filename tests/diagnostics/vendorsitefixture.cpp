#include "vendorsitefixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTest>

#include <cstdio>

QString fixturePath(const QString &relative)
{
    return qEnvironmentVariable("VELMOR_SOURCE_DIR") + QStringLiteral("/tests/fixtures/") + relative;
}

VendorSiteFixture::VendorSiteFixture()
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("python3"),
        { fixturePath(QStringLiteral("vendor_site.py")), QStringLiteral("--pki"),
            m_folder.filePath(QStringLiteral("pki")), QStringLiteral("--config"),
            m_folder.filePath(QStringLiteral("config.json")), QStringLiteral("--log"),
            m_folder.filePath(QStringLiteral("log.jsonl")) });
    if (!m_process.waitForStarted(10000)
        || !QTest::qWaitFor(
            [this] { return m_process.canReadLine() || m_process.state() != QProcess::Running; }, 60000))
        return;
    const QJsonObject ready = QJsonDocument::fromJson(m_process.readLine()).object();
    m_port = quint16(ready.value(QLatin1String("port")).toInt());
    m_ca = ready.value(QLatin1String("ca")).toString();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> trusted = configuration.caCertificates();
    trusted += QSslCertificate::fromPath(m_ca);
    configuration.setCaCertificates(trusted);
    QSslConfiguration::setDefaultConfiguration(configuration);
    qputenv("VELMOR_VENDOR_SITE", site().toLatin1());
}

VendorSiteFixture::~VendorSiteFixture()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

QString VendorSiteFixture::site() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QString VendorSiteFixture::url(const QString &scheme, const QString &path) const
{
    return scheme + QStringLiteral("://") + site() + path;
}

void VendorSiteFixture::setConfig(const QJsonObject &config)
{
    // Written whole and renamed, so the site never reads half a file.
    const QString path = m_folder.filePath(QStringLiteral("config.json"));
    QFile file(path + QStringLiteral(".new"));
    if (file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(config).toJson()) > 0) {
        file.close();
        ::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData());
    }
}

QList<QJsonObject> VendorSiteFixture::requests() const
{
    QList<QJsonObject> result;
    QFile file(m_folder.filePath(QStringLiteral("log.jsonl")));
    if (!file.open(QIODevice::ReadOnly))
        return result;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.trimmed().isEmpty())
            result.append(QJsonDocument::fromJson(line).object());
    }
    return result;
}

void VendorSiteFixture::clearLog()
{
    QFile::remove(m_folder.filePath(QStringLiteral("log.jsonl")));
}
