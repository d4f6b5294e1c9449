#ifndef VELMOR_JSON_H
#define VELMOR_JSON_H

#include "velmorwire_global.h"

#include <QString>
#include <QVariant>

namespace Velmor {
namespace Json {

// Writes the wire form of a QVariant tree, which both links and the account data cache rely on byte for byte:
// no whitespace, map keys ascending (QVariantHash keys too), doubles with six significant digits, "/" escaped
// as "\/", and only the escapes \" \\ \/ \b \f \n \r \t and \u0000 (other characters go out as they are).
// Null as Qt 4 saw it is written null: an invalid variant, and a null QString, QByteArray, QChar, QDate, QTime
// or QDateTime. A NaN or infinite double is no JSON number and is written null as well. Types other than
// bool, the 32- and 64-bit integers, double, maps, lists and string lists are written as their quoted
// toString().
VELMORWIRE_EXPORT QString stringify(const QVariant &value);

// How many values one document may hold when the caller names no budget: far above any account data or cache
// the system keeps, yet a bound on what one text can cost.
constexpr qsizetype DefaultValueBudget = 10000000;

// Reads strict JSON text into a QVariant tree: objects as QVariantMap (the last of duplicate keys wins),
// arrays as QVariantList, strings as QString ("" as an empty, non-null one), true and false as bool, null as
// the invalid variant. A number with ".", "e" or "E" is a double; an integer is an int when it fits in 32
// bits, a qint64 when it fits in 64, a quint64 above that, and a double beyond 64 bits. Raw control
// characters inside strings are accepted. Text that cannot be read, that nests arrays and objects deeper than
// 512 levels, or that holds more than valueBudget values gives an invalid variant. Every value counts one against
// the budget, arrays and objects included, and the key of every object member two, for its text and its node.
VELMORWIRE_EXPORT QVariant parse(const QString &text, qsizetype valueBudget = DefaultValueBudget);

// What parse() would find, learnt without building any value: whether the text is one well-formed document no
// deeper than 512 levels, how many values it holds (counted as parse() counts them), and how many items its
// top-level array has (-1 when it is no array).
struct Outline
{
    bool wellFormed = false;
    qsizetype values = 0;
    qsizetype arrayItems = -1;
};
VELMORWIRE_EXPORT Outline outline(const QString &text);

} // namespace Json
} // namespace Velmor

#endif // VELMOR_JSON_H
