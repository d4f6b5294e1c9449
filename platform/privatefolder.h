#ifndef VELMOR_PLATFORM_PRIVATEFOLDER_H
#define VELMOR_PLATFORM_PRIVATEFOLDER_H

#include <QString>
#include <QStringList>

namespace Velmor {
namespace Platform {

// Opens base/levels[0]/levels[1]/..., making each missing level with mode 0700. Every level must be a real
// directory of this user, never a symlink; its mode is set to 0700 whatever the umask made of it. Returns a
// directory descriptor that the caller closes, or -1 with errno set. The base itself is trusted as it is.
int openPrivateFolder(const QString &base, const QStringList &levels);

// As openPrivateFolder, but gives the folder's path; empty when it cannot be made private.
QString privateFolderPath(const QString &base, const QStringList &levels);

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_PRIVATEFOLDER_H
