#ifndef VELMOR_PLATFORM_SHELLEXECUTE_H
#define VELMOR_PLATFORM_SHELLEXECUTE_H

#include <QString>

namespace Velmor {
namespace Platform {

// ShellExecute's answers: a value above 32 means the program was started.
enum ShellExecuteResult : quint32 {
    SeErrFileNotFound = 2,
    SeErrPathNotFound = 3,
    SeErrAccessDenied = 5,
    SeErrBadFormat = 11,
    SeErrNoAssociation = 31,
    ShellExecuteStarted = 42,
};

// Starts file with the verb, detached, the way ShellExecute does on the simulated machine. "open" (or no verb)
// runs the file as a program whatever its mode bits, as Windows does: a script through the interpreter of its "#!"
// line, a program through its own loader; a program marked as needing elevation answers SeErrAccessDenied.
// "runas" runs it through the elevation command. parameters are split as a command line would be.
quint32 shellExecute(const QString &verb, const QString &file, const QString &parameters = QString());

// Marks a program (by its full path) as one that must run elevated, as the compatibility layer "RUNASADMIN" of
// the user's registry does, or lifts the mark. False when the registry refuses.
bool setRunAsAdministrator(const QString &program, bool on);

// VELMOR_ELEVATE_COMMAND, else "pkexec": the command that runs a program elevated, split as a command line.
QString elevationCommand();

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_SHELLEXECUTE_H
