#ifndef VELMOR_TESTS_ACCOUNTSERVICE_H
#define VELMOR_TESTS_ACCOUNTSERVICE_H

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

// The fake account service of tests/fixtures/account_service.py, run as a child of the test. Its control
// endpoint is spoken to with blocking sockets, so no event of the code under test runs meanwhile.
class AccountService
{
public:
    AccountService() = default;
    ~AccountService();
    Q_DISABLE_COPY(AccountService)

    // Starts the service over HTTPS (or plain HTTP), its certificates made in a folder of its own.
    bool start(bool http = false);

    QString baseUrl() const;
    QString caPath() const { return m_caPath; }
    quint16 port() const { return m_port; }

    QVariant control(const QVariantMap &command);
    QVariant get(const QString &path);

    // Forgets accounts, faults and the log.
    void reset();
    void addAccount(const QString &user, const QString &password, int profiles = 2, int domains = 3);
    void patch(const QString &user, const QVariantMap &change);
    // Queues a fault for the next POST; see the fixture for the kinds.
    void fault(const QString &kind, const QVariantMap &details = QVariantMap());
    void setRefusing(bool refusing);

    // The POSTs received, oldest first: each a map of "path", "headers", "body" and "authorization".
    QVariantList log();
    // Only the JSON-RPC texts of the POSTs.
    QStringList bodies();
    QVariantMap account(const QString &user);

private:
    QByteArray exchange(const QByteArray &request);

    QProcess m_process;
    QTemporaryDir m_pki;
    QString m_caPath;
    quint16 m_port = 0;
    quint16 m_controlPort = 0;
    bool m_http = false;
};

#endif // VELMOR_TESTS_ACCOUNTSERVICE_H
