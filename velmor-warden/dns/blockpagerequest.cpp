#include "blockpagerequest.h"

#include "velmorwire/ipaddress.h"

#include <QHash>
#include <QHostAddress>
#include <QLocale>

#include <cstring>

namespace Velmor {
namespace BlockPage {

namespace {

QByteArray httpDate(const QDateTime &utc)
{
    return QLocale::c().toString(utc, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss")).toLatin1() + " GMT";
}

const char NoCache[] = "Cache-Control: no-cache,no-store,max-age=0,must-revalidate\r\n";

bool isQueryValueCharacter(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    // RFC 3986: what a query may hold (unreserved, sub-delims, ":@/?"), less the '&' that ends a parameter.
    static const char allowed[] = "-._~!$'()*+,;=:@/?";
    return c != '\0' && std::strchr(allowed, c) != nullptr;
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

qsizetype headerLength(const QByteArray &buffer)
{
    qsizetype from = 0;
    for (;;) {
        const qsizetype lf = buffer.indexOf('\n', from);
        if (lf < 0)
            return 0;
        qsizetype next = lf + 1;
        if (next < buffer.size() && buffer.at(next) == '\r')
            ++next;
        if (next < buffer.size() && buffer.at(next) == '\n')
            return next + 1;
        if (next >= buffer.size())
            return 0;
        from = lf + 1;
    }
}

bool parseRequestLine(const QByteArray &header, QString *path, QString *version, QString *method)
{
    qsizetype end = header.indexOf('\n');
    if (end < 0)
        end = header.size();
    if (end > 0 && header.at(end - 1) == '\r')
        --end;
    const QByteArray line = header.left(end);
    for (const char c : line) {
        if (quint8(c) < 0x20 || c == 0x7F)
            return false;
    }
    const QList<QByteArray> pieces = line.split(' ');
    // Three words exactly: a fourth, like a double space, is a line no client of the block page sends.
    if (pieces.size() != 3 || (pieces.at(2) != "HTTP/1.0" && pieces.at(2) != "HTTP/1.1"))
        return false;
    *path = QString::fromLatin1(pieces.at(1));
    *version = QString::fromLatin1(pieces.at(2));
    if (method)
        *method = QString::fromLatin1(pieces.at(0));
    return true;
}

QByteArray encodeQueryValue(const QString &value)
{
    // The request line was read as Latin-1: each character is one byte of it, encoded once.
    const QByteArray bytes = value.toLatin1();
    QByteArray encoded;
    encoded.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        const bool escape
            = c == '%' && i + 2 < bytes.size() && isHexDigit(bytes.at(i + 1)) && isHexDigit(bytes.at(i + 2));
        if (escape || isQueryValueCharacter(c)) {
            encoded.append(c);
        } else {
            static const char digits[] = "0123456789ABCDEF";
            encoded.append('%');
            encoded.append(digits[quint8(c) >> 4]);
            encoded.append(digits[quint8(c) & 0x0F]);
        }
    }
    return encoded;
}

QByteArray answer(const QString &path, const QString &version, quint32 token, const QDateTime &utc, bool withBody)
{
    QHash<QString, QString> parameters;
    const qsizetype question = path.indexOf(QLatin1Char('?'));
    if (question >= 0) {
        const QStringList pieces = path.mid(question + 1).split(QLatin1Char('&'), Qt::SkipEmptyParts);
        for (const QString &piece : pieces) {
            // A value runs to the end of its piece: a URL may hold '=' of its own.
            const qsizetype equals = piece.indexOf(QLatin1Char('='));
            parameters.insert(piece.left(equals), equals < 0 ? QString() : piece.mid(equals + 1));
        }
    }
    QHostAddress blockpage;
    const bool haveBlockpage = parseIPv4(parameters.value(QStringLiteral("blockpage")), &blockpage);
    const QString hostname = parameters.value(QStringLiteral("hostname"));
    const QByteArray date = httpDate(utc);

    if (haveBlockpage && !hostname.isEmpty()) {
        const QByteArray location = "http://" + blockpage.toString().toLatin1()
            + "/blocked?hostname=" + encodeQueryValue(hostname) + "&token=" + QByteArray::number(token)
            + "&url=" + encodeQueryValue(parameters.value(QStringLiteral("url")));
        // The connection ends after the answer; a client that is not told so would send its next request on it.
        return version.toUtf8() + " 303 See Other\r\nLocation: " + location
            + "\r\nConnection: close\r\nContent-Length: 0\r\nDate: " + date + "\r\n" + NoCache + "Expires: " + date
            + "\r\n\r\n";
    }
    const QByteArray body("<html><body>Who is here? O_o</body></html>");
    return version.toUtf8() + " 200 Ok\r\nServer: Velmor Agent\r\nContent-Type: text/html; charset=UTF-8\r\n"
        + "Connection: close\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nDate: " + date + "\r\n"
        + NoCache + "Expires: " + date + "\r\n\r\n" + (withBody ? body : QByteArray());
}

QByteArray errorAnswer(Status status, const QDateTime &utc)
{
    QByteArray reason;
    switch (status) {
    case RequestTimeout:
        reason = "Request Timeout";
        break;
    case HeaderTooLarge:
        reason = "Request Header Fields Too Large";
        break;
    default:
        reason = "Bad Request";
        break;
    }
    return "HTTP/1.1 " + QByteArray::number(int(status)) + ' ' + reason
        + "\r\nServer: Velmor Agent\r\nConnection: close\r\nContent-Length: 0\r\nDate: " + httpDate(utc) + "\r\n"
        + NoCache + "\r\n";
}

} // namespace BlockPage
} // namespace Velmor
