#include "ipcprobe.h"

#include "velmorwire/ipcpacketreader.h"
#include "velmorwire/json.h"

#include <QTest>
#include <QtEndian>

using namespace Velmor;

namespace WardenTest {

QByteArray packet(const QByteArray &text, char kind)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian<qint32>(qint32(text.size() + 1), bytes.data());
    return bytes + kind + text;
}

IpcProbe::IpcProbe(quint16 port, QObject *parent)
    : QObject(parent)
    , m_reader(new IpcPacketReader(&m_socket))
{
    connect(m_reader, &IpcPacketReader::packetReady, this, &IpcProbe::packetReady);
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] { m_closed = true; });
    m_socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    m_socket.waitForConnected(5000);
}

IpcProbe::~IpcProbe() = default;

int IpcProbe::call(const QString &method, const QVariantList &params)
{
    const int id = ++m_lastId;
    const QVariantMap message { { QStringLiteral("jsonrpc"), QStringLiteral("2.0") },
        { QStringLiteral("method"), method }, { QStringLiteral("params"), params }, { QStringLiteral("id"), id } };
    sendPacket(Json::stringify(message).toUtf8());
    return id;
}

void IpcProbe::notify(const QString &method, const QVariantList &params)
{
    const QVariantMap message { { QStringLiteral("jsonrpc"), QStringLiteral("2.0") },
        { QStringLiteral("method"), method }, { QStringLiteral("params"), params } };
    sendPacket(Json::stringify(message).toUtf8());
}

void IpcProbe::sendPacket(const QByteArray &text, char kind)
{
    sendRaw(packet(text, kind));
}

void IpcProbe::sendRaw(const QByteArray &bytes)
{
    m_socket.write(bytes);
    m_socket.flush();
}

QVariant IpcProbe::result(int id) const
{
    return m_answers.value(id).value(QStringLiteral("result"));
}

QVariantMap IpcProbe::error(int id) const
{
    return m_answers.value(id).value(QStringLiteral("error")).toMap();
}

bool IpcProbe::waitForAnswer(int id, int timeout)
{
    return QTest::qWaitFor([&] { return hasAnswer(id); }, timeout);
}

QStringList IpcProbe::methods() const
{
    QStringList names;
    for (const Notification &n : notifications)
        names.append(n.method);
    return names;
}

QList<IpcProbe::Notification> IpcProbe::named(const QString &method) const
{
    QList<Notification> found;
    for (const Notification &n : notifications) {
        if (n.method == method)
            found.append(n);
    }
    return found;
}

void IpcProbe::clear()
{
    notifications.clear();
}

bool IpcProbe::settle()
{
    // Each round trip takes the service through its event loop at least once, and a notification travels on a
    // zero-timer or two. The bound is generous: before the first ping the service may still be reading megabytes
    // that came ahead of it, on a busy machine.
    for (int i = 0; i < 3; ++i) {
        if (!waitForAnswer(call(QStringLiteral("ping")), 60000))
            return false;
    }
    return true;
}

void IpcProbe::packetReady(const QByteArray &packet)
{
    if (packet.isEmpty())
        return;
    const QVariant value = Json::parse(QString::fromUtf8(packet.mid(1)));
    const QVariantList items = value.typeId() == QMetaType::QVariantList ? value.toList() : QVariantList { value };
    for (const QVariant &item : items) {
        const QVariantMap map = item.toMap();
        if (map.contains(QStringLiteral("method")))
            notifications.append(
                { map.value(QStringLiteral("method")).toString(), map.value(QStringLiteral("params")).toList() });
        else
            m_answers.insert(map.value(QStringLiteral("id")).toInt(), map);
    }
}

} // namespace WardenTest
