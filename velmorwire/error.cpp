#include "error.h"

#include "wirevalue_p.h"

#include <QVariantMap>

namespace Velmor {

Error::Error()
    : m_code(0)
{ }

Error::Error(unsigned int code, const QString &message)
    : m_code(code)
    , m_message(message)
{ }

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
    bool ok = false;
    // The code is stored even when it does not convert, as 0; the message then keeps its old value.
    m_code = Internal::toUInt32(map.value(QStringLiteral("code")), &ok);
    if (!ok)
        return false;
    m_message = map.value(QStringLiteral("message")).toString();
    return true;
}

int registerErrorMetaType()
{
    return Internal::registerMetaTypeAlias<Error>("Error");
}

} // namespace Velmor
