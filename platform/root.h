#ifndef VELMOR_PLATFORM_ROOT_H
#define VELMOR_PLATFORM_ROOT_H

#include <QString>

namespace Velmor {
namespace Platform {

// The directory that holds the simulated machine: $VELMOR_ROOT, else /var/lib/velmor for root and
// $XDG_STATE_HOME/velmor (~/.local/state/velmor) for other users. Read afresh on every call, created when missing.
QString rootPath();

// A path below the root, e.g. rootPath("registry"); the parent directories of the result exist.
QString rootPath(const QString &relative);

// Writes data to path through a temporary file in the same directory, flushed and renamed over the target,
// so a reader sees either the old or the new content.
bool writeFileAtomically(const QString &path, const QByteArray &data);

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_ROOT_H
