#include "domainpattern.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>

QValidator *newDomainValidator(QObject *parent)
{
    // Without Unicode properties \w is ASCII only, and every name in another script would be refused.
    static const QRegularExpression pattern(
        QStringLiteral("[\\w\\d\\-]{1,63}(?:\\.[\\w\\d\\-]{1,63})*"), QRegularExpression::UseUnicodePropertiesOption);
    return new QRegularExpressionValidator(pattern, parent);
}
