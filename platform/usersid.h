#ifndef VELMOR_PLATFORM_USERSID_H
#define VELMOR_PLATFORM_USERSID_H

#include <QString>

namespace Velmor {
namespace Platform {

// The security identifier of the user the process runs as, in its string form: "S-1-22-1-" and the
// effective uid, the form Windows gives to Unix user ids.
QString currentUserSid();

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_USERSID_H
