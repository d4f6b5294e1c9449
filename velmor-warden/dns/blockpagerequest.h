#ifndef VELMOR_BLOCKPAGEREQUEST_H
#define VELMOR_BLOCKPAGEREQUEST_H

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace Velmor {
namespace BlockPage {

// The request header, through its empty line, may take this many bytes.
const int MaxHeaderSize = 8192;

enum Status { Ok = 200, SeeOther = 303, BadRequest = 400, RequestTimeout = 408, HeaderTooLarge = 431 };

// The length of the header through its empty line (lines end at LF, a CR before it allowed); 0 while the
// empty line has not arrived.
qsizetype headerLength(const QByteArray &buffer);

// Reads the request line, which ends at the first LF: its target and version, and its method when asked. False when
// it has fewer than three space-separated pieces, a version other than HTTP/1.0 or HTTP/1.1, or a control character.
bool parseRequestLine(const QByteArray &header, QString *path, QString *version, QString *method = nullptr);

// The answer to a well-formed request: the redirect to the block page when the target names a "blockpage" address
// and a "hostname", else the placeholder page. Each ends the connection, and says so; withBody false (a HEAD request)
// leaves out the placeholder's body but not its length.
QByteArray answer(
    const QString &path, const QString &version, quint32 token, const QDateTime &utc, bool withBody = true);
// An error answer that ends the connection.
QByteArray errorAnswer(Status status, const QDateTime &utc);

// A parameter's value as received, '%' escapes kept; every other byte that may not stand in a query's value (the
// '&' and '#' that would end it among them) is percent-encoded.
QByteArray encodeQueryValue(const QString &value);

} // namespace BlockPage
} // namespace Velmor

#endif // VELMOR_BLOCKPAGEREQUEST_H
