#ifndef VELMOR_TESTS_VENDORSITEFIXTURE_H
#define VELMOR_TESTS_VENDORSITEFIXTURE_H

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>

// tests/fixtures/vendor_site.py for one suite: started once, its authority added to the process's default TLS
// configuration, and VELMOR_VENDOR_SITE pointed at it. Tests change its routes with setConfig.
class VendorSiteFixture
{
public:
    VendorSiteFixture();
    ~VendorSiteFixture();
    Q_DISABLE_COPY(VendorSiteFixture)

    bool isRunning() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString caPath() const { return m_ca; }
    // host:port, as VELMOR_VENDOR_SITE takes it.
    QString site() const;
    QString url(const QString &scheme, const QString &path) const;

    // {"tls": ..., "routes": {...}} as the fixture's help describes it; replaced whole.
    void setConfig(const QJsonObject &config);
    // The requests logged since the last clearLog().
    QList<QJsonObject> requests() const;
    void clearLog();

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_ca;
};

// tests/fixtures/<relative> in the source tree.
QString fixturePath(const QString &relative);

#endif // VELMOR_TESTS_VENDORSITEFIXTURE_H
