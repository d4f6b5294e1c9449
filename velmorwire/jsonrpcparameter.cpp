#include "jsonrpcparameter_p.h"

#include "wirevalue_p.h"

#include <QStringList>
#include <QVariantHash>
#include <QVariantList>
#include <QVariantMap>

#include <cmath>
#include <limits>

namespace Velmor {

namespace {

// A JSON number in the range of T: integers, and doubles without a fraction.
template<typename T>
bool integralInto(const QVariant &value, QVariant *converted)
{
    Internal::WholeNumber number;
    T result = 0;
    if (!Internal::readWholeNumber(value, Internal::WholeNumberRule::JsonNumber, &number) || !number.to(&result))
        return false;
    converted->setValue(result);
    return true;
}

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

bool stringListInto(const QVariant &value, QVariant *converted)
{
    if (value.typeId() != QMetaType::QVariantList)
        return false;
    QStringList strings;
    const QVariantList items = value.toList();
    for (const QVariant &item : items) {
        if (item.typeId() != QMetaType::QString)
            return false;
        strings.append(item.toString());
    }
    converted->setValue(strings);
    return true;
}

} // namespace

bool convertJsonRPCParameter(const QVariant &value, QMetaType type, QVariant *converted)
{
    if (type.id() == QMetaType::QVariant) {
        *converted = value;
        return true;
    }
    // JSON null has no value of any other type; invoking with one would pass a null pointer.
    if (Internal::isJsonNull(value) || !type.isValid())
        return false;

    switch (type.id()) {
    case QMetaType::Int:
        return integralInto<int>(value, converted);
    case QMetaType::UInt:
        return integralInto<uint>(value, converted);
    case QMetaType::Short:
        return integralInto<short>(value, converted);
    case QMetaType::UShort:
        return integralInto<ushort>(value, converted);
    case QMetaType::Long:
        return integralInto<long>(value, converted);
    case QMetaType::ULong:
        return integralInto<ulong>(value, converted);
    case QMetaType::LongLong:
        return integralInto<qlonglong>(value, converted);
    case QMetaType::ULongLong:
        return integralInto<qulonglong>(value, converted);
    case QMetaType::Char:
        return integralInto<char>(value, converted);
    case QMetaType::SChar:
        return integralInto<signed char>(value, converted);
    case QMetaType::UChar:
        return integralInto<uchar>(value, converted);
    case QMetaType::Double:
        if (!isNumber(value))
            return false;
        converted->setValue(value.toDouble());
        return true;
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!isNumber(value) || std::fabs(d) > double(std::numeric_limits<float>::max()))
            return false;
        converted->setValue(float(d));
        return true;
    }
    case QMetaType::Bool:
    case QMetaType::QString:
    case QMetaType::QVariantList:
    case QMetaType::QVariantMap:
        if (value.metaType() != type)
            return false;
        *converted = value;
        return true;
    case QMetaType::QStringList:
        return stringListInto(value, converted);
    case QMetaType::QVariantHash: {
        if (value.typeId() != QMetaType::QVariantMap)
            return false;
        const QVariantMap map = value.toMap();
        QVariantHash hash;
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            hash.insert(it.key(), it.value());
        converted->setValue(hash);
        return true;
    }
    default:
        break;
    }

    if (value.metaType() == type) {
        *converted = value;
        return true;
    }
    // Types of the system register their own converters, which refuse malformed values by returning false.
    if (!QMetaType::canConvert(value.metaType(), type))
        return false;
    QVariant result(type);
    if (!QMetaType::convert(value.metaType(), value.constData(), type, result.data()))
        return false;
    *converted = result;
    return true;
}

} // namespace Velmor
