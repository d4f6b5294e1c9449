#ifndef VELMOR_TESTS_LOOPBACK_H
#define VELMOR_TESTS_LOOPBACK_H

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QtEndian>

// Two ends of one TCP connection on 127.0.0.1: the client end is written raw, the accepted end is read.
struct Loopback
{
    QTcpServer server;
    QTcpSocket client;
    QTcpSocket *accepted = nullptr;

    bool open()
    {
        if (!server.listen(QHostAddress::LocalHost, 0))
            return false;
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        if (!client.waitForConnected(5000) || !server.waitForNewConnection(5000))
            return false;
        accepted = server.nextPendingConnection();
        return accepted != nullptr;
    }

    void send(const QByteArray &bytes)
    {
        client.write(bytes);
        client.flush();
    }
};

inline QByteArray lengthField(qint32 length)
{
    char field[4];
    qToLittleEndian<qint32>(length, field);
    return QByteArray(field, 4);
}

// One packet as the link writes it: length, kind byte, text.
inline QByteArray packet(const QByteArray &text, char kind = 0)
{
    return lengthField(qint32(text.size() + 1)) + kind + text;
}

#endif // VELMOR_TESTS_LOOPBACK_H
