#include "error.h"

#include <QVariantMap>

namespace Velmor {

Error::Error()
    : m_code(0)
{
}

Error::Error(unsigned int code, const QString &message)
    : m_code(code)
    , m_message(message)
{
}

Error::~Error() = default;

QVariant Error::data() const
{
    return QVariant();
}

QVariant Error::toVariant() const
{
    QVariantMap map;
    map.insert(QStringLiteral("code"), QVariant::fromValue<uint>(m_code));
    map.insert(QStringLiteral("message"), QVariant(m_message));
    return map;
}

bool Error::fromVariant(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return false;
    const QVariantMap map = value.toMap();
    const QVariant code = map.value(QStringLiteral("code"));
    bool ok = false;
    // The code is stored even when it does not convert, as 0; the message then keeps its old value.
    m_code = code.toUInt(&ok);
    // QVariant::toUInt wraps wide numbers silently (5000000000 gives 705032704 with ok set).
    if (ok && (code.typeId() == QMetaType::LongLong || code.typeId() == QMetaType::ULongLong
               || code.typeId() == QMetaType::Double)) {
        const double wide = code.toDouble();
        ok = wide >= 0 && wide <= 4294967295.0;
        if (!ok)
            m_code = 0;
    }
    if (!ok)
        return false;
    m_message = map.value(QStringLiteral("message")).toString();
    return true;
}

int registerErrorMetaType()
{
    static int id = 0;
    if (id != 0)
        return id;
    const QMetaType type = QMetaType::fromType<Error>();
    QMetaType::registerNormalizedTypedef("Error", type);
    id = type.id();
    return id;
}

} // namespace Velmor
