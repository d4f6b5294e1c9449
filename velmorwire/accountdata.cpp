#include "accountdata_p.h"

#include <cmath>
#include <limits>

namespace Velmor {
namespace Internal {

namespace {

// The value as a whole number within [min, max], or false.
bool toBoundedInteger(const QVariant &value, qint64 min, qint64 max, qint64 *result)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        *result = value.toBool() ? 1 : 0;
        return true;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::LongLong:
    case QMetaType::Long:
        *result = value.toLongLong();
        return *result >= min && *result <= max;
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULongLong:
    case QMetaType::ULong: {
        const qulonglong wide = value.toULongLong();
        if (wide > qulonglong(max))
            return false;
        *result = qint64(wide);
        return *result >= min;
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!std::isfinite(d) || std::trunc(d) != d || d < double(min) || d > double(max))
            return false;
        *result = qint64(d);
        return true;
    }
    case QMetaType::QString: {
        const QString text = value.toString();
        qsizetype i = 0;
        const bool negative = text.startsWith(QLatin1Char('-'));
        if (negative && min >= 0)
            return false;
        if (negative)
            ++i;
        if (i == text.size() || text.size() - i > 12)
            return false;
        qint64 n = 0;
        for (; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
            n = n * 10 + (c.unicode() - '0');
        }
        *result = negative ? -n : n;
        return *result >= min && *result <= max;
    }
    default:
        return false;
    }
}

template<typename T>
T toBounded(const QVariant &value, bool *ok)
{
    qint64 n = 0;
    const bool valid
        = toBoundedInteger(value, qint64(std::numeric_limits<T>::min()), qint64(std::numeric_limits<T>::max()), &n);
    if (ok)
        *ok = valid;
    return valid ? T(n) : T(0);
}

} // namespace

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

bool isJsonNull(const QVariant &value)
{
    return !value.isValid() || value.typeId() == QMetaType::Nullptr;
}

} // namespace Internal
} // namespace Velmor
