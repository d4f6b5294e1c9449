#ifndef VELMOR_TESTS_DNSTESTUTIL_H
#define VELMOR_TESTS_DNSTESTUTIL_H

#include <QByteArray>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTcpServer>
#include <QTest>
#include <QUdpSocket>
#include <QtEndian>

inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

inline QString sourcePath(const QString &relative)
{
    return qEnvironmentVariable("VELMOR_SOURCE_DIR") + QLatin1Char('/') + relative;
}

// Debian's python modules are seen only by the system interpreter.
inline QString systemPython()
{
    return QStringLiteral("/usr/bin/python3");
}

inline QString resolverFixture()
{
    return sourcePath(QStringLiteral("tests/fixtures/resolver.py"));
}

// Each message as dnspython reads it (the fixture's decode command), one JSON object per message.
inline QList<QJsonObject> decodeWithDnspython(const QList<QByteArray> &messages)
{
    QStringList arguments { resolverFixture(), QStringLiteral("decode") };
    for (const QByteArray &message : messages)
        arguments.append(QString::fromLatin1(message.toHex()));
    QProcess python;
    python.start(systemPython(), arguments);
    QList<QJsonObject> result;
    if (!python.waitForFinished(30000))
        return result;
    const QList<QByteArray> lines = python.readAllStandardOutput().split('\n');
    for (const QByteArray &line : lines) {
        if (!line.isEmpty())
            result.append(QJsonDocument::fromJson(line).object());
    }
    return result;
}

// A port free for UDP and TCP together on the address.
inline quint16 freePort(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost))
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        QUdpSocket udp;
        QTcpServer tcp;
        if (udp.bind(address, 0) && tcp.listen(address, udp.localPort()))
            return udp.localPort();
    }
    return 0;
}

// Reads the JSON lines of a log file.
inline QList<QJsonObject> jsonLines(const QByteArray &text)
{
    QList<QJsonObject> result;
    for (const QByteArray &line : text.split('\n')) {
        if (!line.trimmed().isEmpty())
            result.append(QJsonDocument::fromJson(line).object());
    }
    return result;
}

#endif // VELMOR_TESTS_DNSTESTUTIL_H
