#include "versionfile.h"

#include <QRegularExpression>

VersionFile readVersionFile(const QByteArray &body)
{
    VersionFile file;
    qsizetype end = body.indexOf('\n');
    if (end < 0)
        end = body.size();
    const QString first = QString::fromLatin1(body.left(end).trimmed());
    // "{0,3}": PCRE2 would read "{,3}" literally.
    static const QRegularExpression versionPattern(QStringLiteral("^\\d+(\\.\\d+){0,3}$"));
    if (!versionPattern.match(first).hasMatch())
        return file;
    file.valid = true;
    file.version = first;
    QByteArray rest = body.mid(end + 1);
    if (rest.startsWith("dl:")) {
        qsizetype lineEnd = rest.indexOf('\n');
        if (lineEnd < 0)
            lineEnd = rest.size();
        file.downloadUrl = QUrl::fromEncoded(rest.mid(3, lineEnd - 3).trimmed(), QUrl::StrictMode);
        rest = rest.mid(lineEnd + 1);
    }
    file.notes = QString::fromUtf8(rest).trimmed();
    return file;
}

bool isAcceptableDownloadUrl(const QUrl &url)
{
    return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty();
}

QList<uint> versionNumbers(const QString &version)
{
    QList<uint> numbers;
    const QStringList parts = version.split(QLatin1Char('.'));
    for (const QString &part : parts) {
        bool ok = false;
        const uint number = part.toUInt(&ok);
        numbers.append(ok ? number : 0u);
    }
    while (!numbers.isEmpty() && numbers.last() == 0)
        numbers.removeLast();
    if (numbers.isEmpty())
        numbers.append(0);
    return numbers;
}

bool isNewerVersion(const QString &offered, const QString &current)
{
    const QList<uint> theirs = versionNumbers(offered);
    const QList<uint> ours = versionNumbers(current);
    for (qsizetype i = 0; i < theirs.size(); ++i) {
        if (i >= ours.size())
            return true;
        if (theirs.at(i) != ours.at(i))
            return theirs.at(i) > ours.at(i);
    }
    return false;
}

QString contentDispositionFileName(const QByteArray &header)
{
    QByteArray value = header.trimmed();
    // Up to the first zero byte (the bytes always end with one).
    value = QByteArray(value.constData());
    const qsizetype at = value.indexOf("filename=");
    if (at < 0)
        return QString();
    const QString name = QString::fromLatin1(value.mid(at + 9));
    if (name.size() <= 2 || !name.startsWith(QLatin1Char('"')) || !name.endsWith(QLatin1Char('"')))
        return QString();
    const QString path = name.mid(1, name.size() - 2);
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}
