#include "fieldtext.h"

namespace Velmor {
namespace Platform {

QString escapeField(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString unescapeField(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            out += c;
            continue;
        }
        switch (text.at(++i).unicode()) {
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        default:
            out += text.at(i);
        }
    }
    return out;
}

QByteArray formatRecord(const QStringList &fields)
{
    QStringList escaped;
    escaped.reserve(fields.size());
    for (const QString &field : fields)
        escaped.append(escapeField(field));
    return escaped.join(QLatin1Char('\t')).toUtf8() + '\n';
}

QList<QStringList> parseRecords(const QByteArray &data)
{
    QList<QStringList> records;
    const QList<QByteArray> lines = data.split('\n');
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        QStringList fields = QString::fromUtf8(line).split(QLatin1Char('\t'));
        for (QString &field : fields)
            field = unescapeField(field);
        records.append(fields);
    }
    return records;
}

} // namespace Platform
} // namespace Velmor
