#include "fakeservice.h"

#include "velmorwire/ipcpacketreader.h"
#include "velmorwire/json.h"

#include <QFile>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>

FakeService::FakeService(QObject *parent)
    : QObject(parent)
    , m_port(0)
    , m_accepted(0)
{
    connect(&m_server, &QTcpServer::newConnection, this, &FakeService::server_newConnection);
}

FakeService::~FakeService()
{
    stop();
}

bool FakeService::loadScript(const QByteArray &json)
{
    const QVariant value = Velmor::Json::parse(QString::fromUtf8(json));
    if (value.typeId() != QMetaType::QVariantMap)
        return false;
    setScript(value.toMap());
    return true;
}

bool FakeService::loadScriptFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && loadScript(file.readAll());
}

void FakeService::setScript(const QVariantMap &script)
{
    m_script = script;
    m_answerIndex.clear();
}

void FakeService::setAnswer(const QString &method, const QVariant &answer)
{
    QVariantMap answers = m_script.value(QStringLiteral("answers")).toMap();
    answers.insert(method, answer);
    m_script.insert(QStringLiteral("answers"), answers);
    m_answerIndex.remove(method);
}

bool FakeService::listen(quint16 port)
{
    if (port == 0)
        port = m_port;
    if (!m_server.listen(QHostAddress::LocalHost, port))
        return false;
    m_port = m_server.serverPort();
    return true;
}

void FakeService::stop()
{
    m_server.close();
    const QList<QPointer<QTcpSocket>> links = m_links;
    for (const QPointer<QTcpSocket> &link : links) {
        if (link)
            link->abort();
    }
}

QList<FakeService::Message> FakeService::messages(const QString &method) const
{
    QList<Message> named;
    for (const Message &message : m_messages) {
        if (message.method == method)
            named.append(message);
    }
    return named;
}

QStringList FakeService::methods() const
{
    QStringList names;
    for (const Message &message : m_messages)
        names.append(message.method);
    return names;
}

int FakeService::openLinks() const
{
    int open = 0;
    for (const QPointer<QTcpSocket> &link : m_links)
        open += link && link->state() == QAbstractSocket::ConnectedState;
    return open;
}

void FakeService::push(const QString &method, const QVariantList &params)
{
    QVariantList notification;
    notification.append(method);
    notification.append(QVariant(params));
    QVariantList notifications;
    notifications.append(QVariant(notification));
    for (const QPointer<QTcpSocket> &link : std::as_const(m_links)) {
        if (link)
            pushAll(link, notifications, QVariantList());
    }
}

void FakeService::server_newConnection()
{
    while (QTcpSocket *link = m_server.nextPendingConnection()) {
        ++m_accepted;
        m_links.append(link);
        auto reader = new Velmor::IpcPacketReader(link);
        connect(reader, &Velmor::IpcPacketReader::packetReady, this,
            [this, link](const QByteArray &packet) { packetReady(link, packet); });
        connect(link, &QTcpSocket::disconnected, this, [this, link] {
            m_links.removeAll(link);
            link->deleteLater();
            Q_EMIT linkClosed();
        });
        pushAll(link, m_script.value(QStringLiteral("push")).toList(), {});
        Q_EMIT linkOpened();
    }
}

void FakeService::packetReady(QTcpSocket *link, const QByteArray &packet)
{
    if (packet.isEmpty() || (packet.at(0) & 1))
        return;
    const QString text = QString::fromUtf8(packet.mid(1));
    const QVariantMap map = Velmor::Json::parse(text).toMap();
    Message message;
    message.method = map.value(QStringLiteral("method")).toString();
    message.id = map.value(QStringLiteral("id"));
    message.params = map.value(QStringLiteral("params")).toList();
    const QString marker = QStringLiteral(",\"params\":");
    const qsizetype at = text.indexOf(marker);
    if (at >= 0 && text.endsWith(QLatin1Char('}')))
        message.paramsText = text.mid(at + marker.size()).chopped(1);
    m_messages.append(message);
    const QVariantMap scripted = nextAnswer(message.method);
    Q_EMIT messageReceived(message.method);

    const int delay = scripted.value(QStringLiteral("delay")).toInt();
    if (delay <= 0) {
        answer(link, message, scripted);
        return;
    }
    QPointer<QTcpSocket> guarded(link);
    QTimer::singleShot(delay, this, [this, guarded, message, scripted] {
        if (guarded)
            answer(guarded, message, scripted);
    });
}

QVariantMap FakeService::nextAnswer(const QString &method)
{
    const QVariant scripted = m_script.value(QStringLiteral("answers")).toMap().value(method);
    if (scripted.typeId() != QMetaType::QVariantList)
        return scripted.toMap();
    const QVariantList list = scripted.toList();
    if (list.isEmpty())
        return QVariantMap();
    const int index = m_answerIndex.value(method);
    m_answerIndex.insert(method, index + 1);
    return list.at(qMin<qsizetype>(index, list.size() - 1)).toMap();
}

void FakeService::answer(QTcpSocket *link, const Message &message, const QVariantMap &answer)
{
    if (answer.value(QStringLiteral("drop")).toBool()) {
        link->abort();
        return;
    }
    if (!message.isNotification()) {
        QVariantMap response;
        response.insert(QStringLiteral("jsonrpc"), QStringLiteral("2.0"));
        response.insert(QStringLiteral("id"), message.id);
        if (answer.contains(QStringLiteral("error")))
            response.insert(QStringLiteral("error"), answer.value(QStringLiteral("error")));
        else
            response.insert(QStringLiteral("result"), answer.value(QStringLiteral("result")));
        send(link, Velmor::Json::stringify(response).toUtf8(), true);
    }
    pushAll(link, answer.value(QStringLiteral("push")).toList(), message.params);
}

void FakeService::pushAll(QTcpSocket *link, const QVariantList &notifications, const QVariantList &requestParams)
{
    for (const QVariant &item : notifications) {
        const QVariantList pair = item.toList();
        QVariantList params;
        const QVariantList given = pair.value(1).toList();
        for (const QVariant &param : given) {
            const QString text = param.typeId() == QMetaType::QString ? param.toString() : QString();
            bool isIndex = false;
            const int index = text.startsWith(QLatin1Char('$')) ? text.mid(1).toInt(&isIndex) : -1;
            params.append(isIndex ? requestParams.value(index) : param);
        }
        QVariantMap notification;
        notification.insert(QStringLiteral("jsonrpc"), QStringLiteral("2.0"));
        notification.insert(QStringLiteral("method"), pair.value(0));
        notification.insert(QStringLiteral("params"), params);
        send(link, Velmor::Json::stringify(notification).toUtf8(), false);
    }
}

void FakeService::send(QTcpSocket *link, const QByteArray &text, bool response)
{
    QByteArray packet(5, Qt::Uninitialized);
    qToLittleEndian<qint32>(qint32(text.size() + 1), packet.data());
    packet[4] = response ? 1 : 0;
    link->write(packet + text);
}
