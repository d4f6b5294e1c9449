#ifndef VELMOR_CONSOLE_WIRETEXT_H
#define VELMOR_CONSOLE_WIRETEXT_H

#include <QString>
#include <QVariant>

// A text parameter for the service. The link writes a null QString as JSON null, and the service's methods
// refuse null where they expect a string, so an empty field must travel as "".
inline QVariant wireText(const QString &text)
{
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

// An unsigned 32-bit id from a JSON value: a whole number in range, else 0 (no profile, no entry).
quint32 wireId(const QVariant &value);

#endif // VELMOR_CONSOLE_WIRETEXT_H
