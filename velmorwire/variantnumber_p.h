#ifndef VELMOR_VARIANTNUMBER_P_H
#define VELMOR_VARIANTNUMBER_P_H

#include <QVariant>

namespace Velmor {
namespace Internal {

// Numbers of the account data arrive from outside. QVariant::toUInt wraps 5000000000 to 705032704, takes -1 as
// 4294967295 and rounds 5.7, all with ok set; these conversions refuse what does not fit instead.
// Accepted: integer and bool values in range, doubles with no fraction in range, and texts of ASCII digits
// (with a leading '-' for the signed form). On failure the result is 0 and *ok is false.
quint32 toUInt32(const QVariant &value, bool *ok = nullptr);
qint32 toInt32(const QVariant &value, bool *ok = nullptr);
// As toInt32, but a double with a fraction is rounded to the nearest integer as QVariant::toInt does.
qint32 toRoundedInt32(const QVariant &value, bool *ok = nullptr);

// A JSON null: an invalid variant or one holding nullptr (QVariant::isNull is also true for a null QString).
bool isJsonNull(const QVariant &value);

} // namespace Internal
} // namespace Velmor

#endif // VELMOR_VARIANTNUMBER_P_H
