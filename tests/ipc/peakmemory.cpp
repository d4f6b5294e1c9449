#include "peakmemory.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QtEndian>

#include <sys/resource.h>

namespace {

// The largest text one packet carries: its length field counts the kind byte too.
constexpr qint64 textLimit = packetLengthLimit - 1;

// A call of "echo" with X as its one parameter. Its own values: the object, four keys (two each) and four members.
const QByteArray envelopeHead = R"({"id":1,"jsonrpc":"2.0","method":"echo","params":[)";
const QByteArray envelopeTail = "]}";
constexpr int envelopeValues = 13;

QByteArray echoCall(const QByteArray &parameter)
{
    return envelopeHead + parameter + envelopeTail;
}

// head, count items joined by commas, tail.
QByteArray repeated(const QByteArray &head, const QByteArray &item, qint64 count, const QByteArray &tail)
{
    QByteArray text = head + (item + ',').repeated(count);
    if (count > 0)
        text.chop(1);
    return text + tail;
}

// How many items fit when the whole text may be room bytes long.
qint64 itemsFitting(qint64 room, qint64 itemBytes)
{
    return (room + 1) / (itemBytes + 1);
}

// The shortest keys that are all different: index in base 62.
int keyLength(qint64 index)
{
    int length = 1;
    while (index >= 62) {
        index /= 62;
        ++length;
    }
    return length;
}

void appendKey(QByteArray &text, qint64 index)
{
    static const char digits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    char key[12];
    int length = 0;
    do {
        key[length++] = digits[index % 62];
        index /= 62;
    } while (index > 0);
    text.append(key, length);
}

// One object of count members, each key different from all others; each value 0, or a text equal to its key.
QByteArray distinctKeys(qint64 count, bool textValues = false)
{
    QByteArray text;
    text.reserve(2 + count * (textValues ? 16 : 10));
    text += '{';
    for (qint64 i = 0; i < count; ++i) {
        text += i ? ",\"" : "\"";
        appendKey(text, i);
        if (textValues) {
            text += "\":\"";
            appendKey(text, i);
            text += '"';
        } else {
            text += "\":0";
        }
    }
    return text + '}';
}

// An array of one-member objects, each key and each text value different from all others.
QByteArray distinctPairs(qint64 count)
{
    QByteArray text;
    text.reserve(2 + count * 18);
    text += '[';
    for (qint64 i = 0; i < count; ++i) {
        text += i ? ",{\"" : "{\"";
        appendKey(text, i);
        text += "\":\"";
        appendKey(text, i);
        text += "\"}";
    }
    return text + ']';
}

// How many members of value 0 fit into room bytes.
qint64 distinctKeysFitting(qint64 room)
{
    qint64 count = 0;
    qint64 bytes = 2;
    while (bytes + keyLength(count) + 5 <= room)
        bytes += keyLength(count++) + 5;
    return count;
}

// Arrays nested to the reader's depth limit (the call's object and its params array are the first two levels),
// each holding width zeros before the next.
QByteArray deepAndWide(qint64 width)
{
    const int levels = 512 - 2;
    QByteArray text = ('[' + QByteArray("0,").repeated(width)).repeated(levels);
    text.chop(1);
    return text + QByteArray(levels, ']');
}

} // namespace

QList<PacketShape> hostilePacketShapes()
{
    const qint64 room = textLimit - envelopeHead.size() - envelopeTail.size();
    const qint64 parameterValues = valueBudget - envelopeValues;
    QList<PacketShape> shapes;

    shapes.append({ QStringLiteral("batch of numbers, 16 MiB"),
        [=] { return repeated("[", "1", itemsFitting(textLimit - 2, 1), "]"); }, -32600 });

    const QByteArray itemHead = R"({"id":1,"jsonrpc":"2.0","method":"echo","params":[")";
    const QByteArray itemTail = R"("]})";
    const qint64 perItem = (textLimit - 2) / batchItemLimit - 1 - itemHead.size() - itemTail.size();
    shapes.append({ QStringLiteral("batch of 1,000 echo calls with long strings, 16 MiB"),
        [=] { return repeated("[", itemHead + QByteArray(perItem, 'x') + itemTail, batchItemLimit, "]"); }, 0 });

    shapes.append({ QStringLiteral("one long string, 16 MiB"),
        [=] { return echoCall('"' + QByteArray(room - 2, 'x') + '"'); }, 0 });
    shapes.append({ QStringLiteral("one string of escapes, 16 MiB"),
        [=] { return echoCall('"' + QByteArray("\\n").repeated((room - 2) / 2) + '"'); }, 0 });

    shapes.append({ QStringLiteral("numbers at the value budget"),
        [=] { return echoCall(repeated("[", "0", parameterValues - 1, "]")); }, 0 });
    shapes.append({ QStringLiteral("numbers, 16 MiB"),
        [=] { return echoCall(repeated("[", "0", itemsFitting(room - 2, 1), "]")); }, -32700 });

    shapes.append({ QStringLiteral("empty arrays at the value budget"),
        [=] { return echoCall(repeated("[", "[]", parameterValues - 1, "]")); }, 0 });

    const qint64 levels = 512 - 2;
    shapes.append({ QStringLiteral("deep and wide arrays at the value budget"),
        [=] { return echoCall(deepAndWide(parameterValues / levels - 1)); }, 0 });
    shapes.append({ QStringLiteral("deep and wide arrays, 16 MiB"),
        [=] { return echoCall(deepAndWide((room / levels - 3) / 2)); }, -32700 });

    // A key counts as two values, so a member costs three.
    shapes.append({ QStringLiteral("distinct keys at the value budget"),
        [=] { return echoCall(distinctKeys((parameterValues - 1) / 3)); }, 0 });
    shapes.append({ QStringLiteral("distinct keys, 16 MiB"),
        [=] { return echoCall(distinctKeys(distinctKeysFitting(room))); }, -32700 });
    shapes.append({ QStringLiteral("distinct keys with text values at the value budget"),
        [=] { return echoCall(distinctKeys((parameterValues - 1) / 3, true)); }, 0 });

    shapes.append({ QStringLiteral("small objects at the value budget"),
        [=] { return echoCall(repeated("[", R"({"a":0})", (parameterValues - 1) / 4, "]")); }, 0 });

    shapes.append({ QStringLiteral("objects of distinct text pairs at the value budget"),
        [=] { return echoCall(distinctPairs((parameterValues - 1) / 4)); }, 0 });

    shapes.append({ QStringLiteral("short strings at the value budget"),
        [=] { return echoCall(repeated("[", R"("a")", parameterValues - 1, "]")); }, 0 });
    shapes.append({ QStringLiteral("short strings of escapes at the value budget"),
        [=] { return echoCall(repeated("[", R"("\t")", parameterValues - 1, "]")); }, 0 });

    return shapes;
}

namespace {

// The raw client end of the link.
class Link
{
public:
    QString failure;

    bool open(quint16 port)
    {
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (!m_socket.waitForConnected(10000))
            failure = QStringLiteral("cannot connect: ") + m_socket.errorString();
        return failure.isEmpty();
    }

    void send(const QByteArray &text)
    {
        QByteArray packet(4, Qt::Uninitialized);
        qToLittleEndian<qint32>(qint32(text.size() + 1), packet.data());
        packet += '\0';
        packet += text;
        m_socket.write(packet);
        while (m_socket.bytesToWrite() > 0 && m_socket.state() == QAbstractSocket::ConnectedState)
            m_socket.waitForBytesWritten(60000);
    }

    // The text of the next packet, or a null array when the link ends first.
    QByteArray receive()
    {
        if (!waitFor(4))
            return QByteArray();
        char field[4];
        m_socket.peek(field, 4);
        const qint32 length = qFromLittleEndian<qint32>(field);
        if (length < 1 || !waitFor(4 + qint64(length)))
            return QByteArray();
        m_socket.read(5);
        return m_socket.read(length - 1);
    }

    // The text of the answer whose id is the given text; other answers are passed over.
    QByteArray call(const char *id, const char *method, const QByteArray &params = QByteArray())
    {
        const QByteArray idMember = "\"id\":\"" + QByteArray(id) + '"';
        send('{' + idMember + R"(,"jsonrpc":"2.0","method":")" + method + '"'
            + (params.isEmpty() ? QByteArray() : ",\"params\":" + params) + '}');
        for (;;) {
            const QByteArray answer = receive();
            if (answer.isNull() || answer.startsWith('{' + idMember))
                return answer;
        }
    }

private:
    bool waitFor(qint64 bytes)
    {
        while (m_socket.bytesAvailable() < bytes) {
            if (!m_socket.waitForReadyRead(60000)) {
                failure = QStringLiteral("the link ended: ") + m_socket.errorString();
                return false;
            }
        }
        return true;
    }

    QTcpSocket m_socket;
};

qint64 resultNumber(const QByteArray &answer)
{
    const QByteArray marker = "\"result\":";
    const qsizetype at = answer.indexOf(marker);
    return at < 0 ? -1 : answer.mid(at + marker.size()).chopped(1).toLongLong();
}

int errorCode(const QByteArray &answer)
{
    const QByteArray marker = R"({"error":{"code":)";
    if (!answer.startsWith(marker))
        return 0;
    const qsizetype end = answer.indexOf(',', marker.size());
    return answer.mid(marker.size(), end - marker.size()).toInt();
}

} // namespace

PeakGrowth measurePeakGrowth(
    const QString &serverProgram, const QByteArray &text, int answerCode, qint64 addressSpaceLimit)
{
    PeakGrowth result;
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.setChildProcessModifier([addressSpaceLimit] {
        const rlimit limit { rlim_t(addressSpaceLimit), rlim_t(addressSpaceLimit) };
        setrlimit(RLIMIT_AS, &limit);
    });
    server.start(serverProgram, { QStringLiteral("0") });
    if (!server.waitForStarted(10000) || !server.waitForReadyRead(10000)) {
        result.failure = QStringLiteral("the server did not start: ") + server.errorString();
        return result;
    }
    const QList<QByteArray> line = server.readLine().trimmed().split(' ');

    Link link;
    if (line.size() == 2 && link.open(quint16(line.at(1).toUInt()))) {
        link.call("warm-up", "echo", R"([{"a":[1,"x",2.5,null,true,{}]}])");
        result.baselineKiB = resultNumber(link.call("before", "peakMemory"));

        QElapsedTimer elapsed;
        elapsed.start();
        link.send(text);
        const QByteArray answer = link.receive();
        const QByteArray after = answer.isNull() ? answer : link.call("after", "peakMemory");
        result.seconds = elapsed.elapsed() / 1000.0;
        result.peakKiB = resultNumber(after);

        if (!link.failure.isEmpty())
            result.failure = link.failure;
        else if (answer.startsWith(R"({"id":"after")"))
            result.failure = QStringLiteral("the packet got no answer");
        else if (errorCode(answer) != answerCode)
            result.failure = QStringLiteral("the packet was answered with %1, expected %2: %3")
                                 .arg(errorCode(answer))
                                 .arg(answerCode)
                                 .arg(QString::fromUtf8(answer.left(200)));
        else if (result.baselineKiB <= 0 || result.peakKiB <= 0)
            result.failure = QStringLiteral("no peak figure from the server");
        link.send(R"({"jsonrpc":"2.0","method":"quit"})");
    } else {
        result.failure = link.failure.isEmpty() ? QStringLiteral("no port from the server") : link.failure;
    }

    if (!server.waitForFinished(10000)) {
        server.kill();
        server.waitForFinished();
    }
    if (result.failure.isEmpty() && (server.exitStatus() != QProcess::NormalExit || server.exitCode() != 0))
        result.failure = QStringLiteral("the server ended with %1").arg(server.exitCode());
    return result;
}

qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}
