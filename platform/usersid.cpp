#include "usersid.h"

#include <unistd.h>

namespace Velmor {
namespace Platform {

QString currentUserSid()
{
    return QStringLiteral("S-1-22-1-") + QString::number(::geteuid());
}

} // namespace Platform
} // namespace Velmor
