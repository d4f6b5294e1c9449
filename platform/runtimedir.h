#ifndef VELMOR_PLATFORM_RUNTIMEDIR_H
#define VELMOR_PLATFORM_RUNTIMEDIR_H

#include <QString>

namespace Velmor {
namespace Platform {

// The folder for the user's sockets and lock files: $XDG_RUNTIME_DIR when it is set, else $TMPDIR/velmor-<uid>
// (/tmp without TMPDIR), else, when another user holds that name, $XDG_STATE_HOME/velmor-runtime (default
// ~/.local/state), created with mode 0700. Each is used only when it is a real folder (not a link) owned by this
// user that nobody else may write to, so no other user can plant a socket or a link in it. Empty when there is none.
QString userRuntimeDir();

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_RUNTIMEDIR_H
