#include "accountservice.h"

#include "velmorwire/json.h"

#include <QTcpSocket>

AccountService::~AccountService()
{
    if (m_process.state() != QProcess::NotRunning) {
        // Closing its standard input ends the service.
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

bool AccountService::start(bool http)
{
    m_http = http;
    const QString script
        = qEnvironmentVariable("VELMOR_SOURCE_DIR") + QStringLiteral("/tests/fixtures/account_service.py");
    QStringList arguments { script, QStringLiteral("--pki"), m_pki.path() };
    if (http)
        arguments << QStringLiteral("--http");
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!m_process.waitForStarted(10000))
        return false;
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(30000))
            return false;
    }
    const QVariantMap ready = Velmor::Json::parse(QString::fromUtf8(m_process.readLine())).toMap();
    m_port = quint16(ready.value(QStringLiteral("port")).toUInt());
    m_controlPort = quint16(ready.value(QStringLiteral("control")).toUInt());
    m_caPath = ready.value(QStringLiteral("ca")).toString();
    return m_port != 0 && m_controlPort != 0;
}

QString AccountService::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_http ? QStringLiteral("http") : QStringLiteral("https"))
        .arg(m_port);
}

QByteArray AccountService::exchange(const QByteArray &request)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), m_controlPort);
    if (!socket.waitForConnected(10000))
        return QByteArray();
    socket.write(request);
    socket.waitForBytesWritten(10000);
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000))
        answer += socket.readAll();
    answer += socket.readAll();
    const int bodyStart = answer.indexOf("\r\n\r\n");
    return bodyStart < 0 ? QByteArray() : answer.mid(bodyStart + 4);
}

QVariant AccountService::control(const QVariantMap &command)
{
    const QByteArray body = Velmor::Json::stringify(command).toUtf8();
    const QByteArray request = "POST /control HTTP/1.0\r\nContent-Type: application/json\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    return Velmor::Json::parse(QString::fromUtf8(exchange(request)));
}

QVariant AccountService::get(const QString &path)
{
    return Velmor::Json::parse(QString::fromUtf8(exchange("GET " + path.toUtf8() + " HTTP/1.0\r\n\r\n")));
}

void AccountService::reset()
{
    control({ { QStringLiteral("op"), QStringLiteral("reset") } });
}

void AccountService::addAccount(const QString &user, const QString &password, int profiles, int domains)
{
    control({ { QStringLiteral("op"), QStringLiteral("account") }, { QStringLiteral("user"), user },
        { QStringLiteral("password"), password }, { QStringLiteral("profiles"), profiles },
        { QStringLiteral("domains"), domains } });
}

void AccountService::patch(const QString &user, const QVariantMap &change)
{
    QVariantMap command = change;
    command.insert(QStringLiteral("op"), QStringLiteral("patch"));
    command.insert(QStringLiteral("user"), user);
    control(command);
}

void AccountService::fault(const QString &kind, const QVariantMap &details)
{
    QVariantMap command = details;
    command.insert(QStringLiteral("op"), QStringLiteral("fault"));
    command.insert(QStringLiteral("kind"), kind);
    control(command);
}

void AccountService::setRefusing(bool refusing)
{
    control({ { QStringLiteral("op"), QStringLiteral("refuse") }, { QStringLiteral("on"), refusing } });
}

QVariantList AccountService::log()
{
    return get(QStringLiteral("/log")).toList();
}

QStringList AccountService::bodies()
{
    QStringList texts;
    const QVariantList entries = log();
    for (const QVariant &entry : entries)
        texts.append(entry.toMap().value(QStringLiteral("body")).toString());
    return texts;
}

QVariantMap AccountService::account(const QString &user)
{
    return get(QStringLiteral("/account?user=") + user).toMap();
}
