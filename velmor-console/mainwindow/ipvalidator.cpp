#include "ipvalidator.h"

#include <QRegularExpression>

IpValidator::IpValidator(QObject *parent)
    : QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{1,3}_*(\\.\\d{1,3}_*){3}")), parent)
{ }

IpValidator::~IpValidator() = default;

QValidator::State IpValidator::validate(QString &input, int &pos) const
{
    const State state = QRegularExpressionValidator::validate(input, pos);
    if (state == Invalid)
        return Invalid;
    int position = -1;
    const QStringList groups = input.split(QLatin1Char('.'));
    for (const QString &group : groups) {
        QString digits = group;
        digits.remove(QLatin1Char('_'));
        if (digits.isEmpty())
            return Intermediate;
        position += int(group.size()) + 1;
        if (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
            return Invalid;
        if (digits.toInt() > 255) {
            pos = position;
            return Invalid;
        }
    }
    return state;
}
