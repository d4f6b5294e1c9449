#ifndef VELMOR_WIREVALUE_P_H
#define VELMOR_WIREVALUE_P_H

// Helpers for values that arrive from outside in QVariants: their type names, JSON null, and whole numbers.

#include <QMetaType>
#include <QVariant>

#include <limits>

namespace Velmor {
namespace Internal {

// Registers T under its own name and a short alias on the first call; returns the type id every time.
template<typename T>
int registerMetaTypeAlias(const char *alias)
{
    static const int id = [alias] {
        const QMetaType type = QMetaType::fromType<T>();
        QMetaType::registerNormalizedTypedef(alias, type);
        return type.id();
    }();
    return id;
}

// A JSON null: an invalid variant or one holding nullptr (QVariant::isNull is also true for a null QString).
bool isJsonNull(const QVariant &value);

// Which forms a whole number may take besides a value of an integer type and a double without a fraction (QVariant's
// own conversions wrap 5000000000 to 705032704, take -1 as 4294967295 and round 5.7, all with ok set).
enum class WholeNumberRule {
    // Nothing else: a JSON-RPC parameter takes a number as the JSON reader made it.
    JsonNumber,
    // Also true and false as 1 and 0, and a text of at most 12 ASCII digits with an optional leading '-': the
    // account service sends some numbers as texts.
    AccountNumber,
    // Also the number's own decimal text, "7" but not "07", "+7" or " 7": a response names its call so.
    CallId,
};

// A whole number as sign and magnitude, so that every 64-bit value of either sign fits.
struct WholeNumber
{
    bool negative = false;
    quint64 magnitude = 0;

    // The number as T when T holds it.
    template<typename T>
    bool to(T *result) const
    {
        if (!negative) {
            if (magnitude > quint64(std::numeric_limits<T>::max()))
                return false;
            *result = T(magnitude);
            return true;
        }
        // A text with a minus sign stays negative even as "-0", which no unsigned type takes.
        if constexpr (!std::numeric_limits<T>::is_signed) {
            return false;
        } else {
            // -(min + 1) + 1 is the magnitude of min, computed without overflow.
            const quint64 lowest = quint64(-(qint64(std::numeric_limits<T>::min()) + 1)) + 1;
            if (magnitude > lowest)
                return false;
            *result = magnitude == 0 ? T(0) : T(-qint64(magnitude - 1) - 1);
            return true;
        }
    }
};

// Reads value as a whole number by the rule; false when it is none in the rule's forms.
bool readWholeNumber(const QVariant &value, WholeNumberRule rule, WholeNumber *number);

// Account data numbers (WholeNumberRule::AccountNumber) within the type's range; on failure the result is 0 and *ok
// is false.
quint32 toUInt32(const QVariant &value, bool *ok = nullptr);
qint32 toInt32(const QVariant &value, bool *ok = nullptr);
// As toInt32, but a double with a fraction is rounded to the nearest integer as QVariant::toInt does.
qint32 toRoundedInt32(const QVariant &value, bool *ok = nullptr);

} // namespace Internal
} // namespace Velmor

#endif // VELMOR_WIREVALUE_P_H
