#ifndef VELMOR_JSON_H
#define VELMOR_JSON_H

#include "velmorwire_global.h"

#include <QString>
#include <QVariant>

namespace Velmor {
namespace Json {

// Writes the wire form of a QVariant tree, which both links and the account data cache rely on byte for byte:
// no whitespace, map keys ascending (QVariantHash keys too), doubles with six significant digits, "/" escaped
// as "\/", and only the eight escapes \" \\ \/ \b \f \n \r \t (other characters go out as they are).
// Null as Qt 4 saw it is written null: an invalid variant, and a null QString, QByteArray, QChar, QDate, QTime
// or QDateTime. A NaN or infinite double is no JSON number and is written null as well. Types other than
// bool, the 32- and 64-bit integers, double, maps, lists and string lists are written as their quoted
// toString().
VELMORWIRE_EXPORT QString stringify(const QVariant &value);

// Reads strict JSON text into a QVariant tree: objects as QVariantMap (the last of duplicate keys wins),
// arrays as QVariantList, strings as QString ("" as an empty, non-null one), true and false as bool, null as
// the invalid variant. A number with ".", "e" or "E" is a double; an integer is an int when it fits in 32
// bits, a qint64 when it fits in 64, a quint64 above that, and a double beyond 64 bits. Raw control
// characters inside strings are accepted, because the writer emits them. Text that cannot be read, or that
// nests arrays and objects deeper than 512 levels, gives an invalid variant.
VELMORWIRE_EXPORT QVariant parse(const QString &text);

} // namespace Json
} // namespace Velmor

#endif // VELMOR_JSON_H
