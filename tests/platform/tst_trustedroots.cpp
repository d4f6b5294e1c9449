#include "platform/trustedroots.h"

#include "scratchroot.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslConfiguration>
#include <QtTest>

using namespace Velmor;

class tst_TrustedRoots : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void rootsJoinTheSystemRoots();

private:
    TestSupport::ScratchRoot m_root;
};

void tst_TrustedRoots::initTestCase()
{
    QVERIFY(m_root.isValid());
    QVERIFY(QDir().mkpath(m_root.path(QStringLiteral("trust"))));
    for (const char *name : { "one", "two" }) {
        QProcess openssl;
        openssl.setWorkingDirectory(m_root.path(QStringLiteral("trust")));
        openssl.start(QStringLiteral("openssl"),
            { "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                QStringLiteral("%1.key").arg(QLatin1String(name)), "-out",
                QStringLiteral("%1.pem").arg(QLatin1String(name)), "-days", "2", "-subj",
                QStringLiteral("/CN=Velmor Root %1").arg(QLatin1String(name)) });
        QVERIFY(openssl.waitForFinished(30000));
        QCOMPARE(openssl.exitCode(), 0);
    }
    // Not a .pem file: not a trusted root.
    QVERIFY(QFile::copy(m_root.path(QStringLiteral("trust/two.pem")), m_root.path(QStringLiteral("trust/three.crt"))));
}

void tst_TrustedRoots::rootsJoinTheSystemRoots()
{
    const int systemRoots = QSslConfiguration::systemCaCertificates().size();
    QCOMPARE(Platform::installTrustedRoots(), 2);
    const QList<QSslCertificate> trusted = QSslConfiguration::defaultConfiguration().caCertificates();
    QCOMPARE(trusted.size(), systemRoots + 2);
    QStringList names;
    for (const QSslCertificate &certificate : trusted)
        names += certificate.subjectInfo(QSslCertificate::CommonName);
    QVERIFY(names.contains(QStringLiteral("Velmor Root one")));
    QVERIFY(names.contains(QStringLiteral("Velmor Root two")));
    // Installing again adds nothing twice.
    QCOMPARE(Platform::installTrustedRoots(), 0);
    QCOMPARE(QSslConfiguration::defaultConfiguration().caCertificates().size(), systemRoots + 2);
}

QTEST_GUILESS_MAIN(tst_TrustedRoots)
#include "tst_trustedroots.moc"
