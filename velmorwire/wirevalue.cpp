#include "wirevalue_p.h"

#include <QString>

#include <cmath>

namespace Velmor {
namespace Internal {

namespace {

bool readDecimalText(QStringView text, WholeNumberRule rule, WholeNumber *number)
{
    const bool negative = rule == WholeNumberRule::AccountNumber && text.startsWith(u'-');
    const QStringView digits = text.mid(negative ? 1 : 0);
    // Twelve digits are more than any account number needs; a call id is as long as its number's text.
    const qsizetype maximumDigits = rule == WholeNumberRule::AccountNumber ? 12 : 20;
    if (digits.isEmpty() || digits.size() > maximumDigits)
        return false;
    if (rule == WholeNumberRule::CallId && digits.size() > 1 && digits.front() == u'0')
        return false;
    quint64 magnitude = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return false;
        const unsigned digit = c.unicode() - u'0';
        if (magnitude > (std::numeric_limits<quint64>::max() - digit) / 10)
            return false;
        magnitude = magnitude * 10 + digit;
    }
    number->negative = negative;
    number->magnitude = magnitude;
    return true;
}

template<typename T>
T toBounded(const QVariant &value, bool *ok)
{
    WholeNumber number;
    T result = 0;
    const bool valid = readWholeNumber(value, WholeNumberRule::AccountNumber, &number) && number.to(&result);
    if (ok)
        *ok = valid;
    return valid ? result : T(0);
}

} // namespace

bool isJsonNull(const QVariant &value)
{
    return !value.isValid() || value.typeId() == QMetaType::Nullptr;
}

bool readWholeNumber(const QVariant &value, WholeNumberRule rule, WholeNumber *number)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::Long:
    case QMetaType::LongLong: {
        const qint64 signedValue = value.toLongLong();
        number->negative = signedValue < 0;
        number->magnitude = number->negative ? 0 - quint64(signedValue) : quint64(signedValue);
        return true;
    }
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        number->negative = false;
        number->magnitude = value.toULongLong();
        return true;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        const double limit = 18446744073709551616.0; // 2^64
        if (!std::isfinite(d) || std::trunc(d) != d || std::fabs(d) >= limit)
            return false;
        number->negative = d < 0;
        number->magnitude = quint64(std::fabs(d));
        return true;
    }
    case QMetaType::Bool:
        if (rule != WholeNumberRule::AccountNumber)
            return false;
        number->negative = false;
        number->magnitude = value.toBool() ? 1 : 0;
        return true;
    case QMetaType::QString:
        return rule != WholeNumberRule::JsonNumber && readDecimalText(value.toString(), rule, number);
    default:
        return false;
    }
}

quint32 toUInt32(const QVariant &value, bool *ok)
{
    return toBounded<quint32>(value, ok);
}

qint32 toInt32(const QVariant &value, bool *ok)
{
    return toBounded<qint32>(value, ok);
}

qint32 toRoundedInt32(const QVariant &value, bool *ok)
{
    const QMetaType::Type type = QMetaType::Type(value.typeId());
    if (type != QMetaType::Double && type != QMetaType::Float)
        return toInt32(value, ok);
    return toInt32(std::round(value.toDouble()), ok);
}

} // namespace Internal
} // namespace Velmor
