#include "wiretext.h"

#include <cmath>

quint32 wireId(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const qint64 number = value.toLongLong();
        return number >= 0 && number <= qint64(0xffffffffu) ? quint32(number) : 0;
    }
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        const quint64 number = value.toULongLong();
        return number <= 0xffffffffu ? quint32(number) : 0;
    }
    case QMetaType::Double: {
        const double number = value.toDouble();
        return std::isfinite(number) && number >= 0 && number <= 4294967295.0 && std::trunc(number) == number
            ? quint32(number)
            : 0;
    }
    default:
        return 0;
    }
}
