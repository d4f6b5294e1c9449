#ifndef VELMOR_JSON_H
#define VELMOR_JSON_H

#include "velmorwire_global.h"

#include <QString>
#include <QVariant>

namespace Velmor {
namespace Json {

// Writes the wire form of a QVariant tree: no whitespace, QVariantMap keys ascending, doubles with six
// significant digits, "/" escaped as "\/", a null QString as null.
VELMORWIRE_EXPORT QString stringify(const QVariant &value);

// Reads JSON text into a QVariant tree; text that cannot be read gives an invalid variant.
VELMORWIRE_EXPORT QVariant parse(const QString &text);

} // namespace Json
} // namespace Velmor

#endif // VELMOR_JSON_H
