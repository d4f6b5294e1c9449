#ifndef VELMOR_CABINETUSERFILTER_H
#define VELMOR_CABINETUSERFILTER_H

#include "velmorwire_global.h"

#include <QMetaType>
#include <QSet>
#include <QVariant>

namespace Velmor {

// The category ids, 1 to 255, that one profile blocks.
class VELMORWIRE_EXPORT CabinetUserFilter : public QSet<quint8>
{
public:
    CabinetUserFilter() = default;
    CabinetUserFilter(const CabinetUserFilter &other);
    CabinetUserFilter &operator=(const CabinetUserFilter &other) = default;

    // On false the set is empty.
    bool fromVariant(const QVariant &value);
    // Ascending, so the same filter is the same text in every process whatever the hash seed.
    QVariant toVariant() const;
};

} // namespace Velmor

Q_DECLARE_METATYPE(Velmor::CabinetUserFilter)

#endif // VELMOR_CABINETUSERFILTER_H
