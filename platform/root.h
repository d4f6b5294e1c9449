#ifndef VELMOR_PLATFORM_ROOT_H
#define VELMOR_PLATFORM_ROOT_H

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace Velmor {
namespace Platform {

// Modes of everything the programs make, set explicitly whatever the caller's umask: folders and files every user
// of the machine may read, and private ones for credentials, keys, registrations and settings.
constexpr mode_t PublicFolderMode = 0755;
constexpr mode_t PrivateFolderMode = 0700;
constexpr mode_t PublicFileMode = 0644;
constexpr mode_t PrivateFileMode = 0600;

// The directory that holds the simulated machine: $VELMOR_ROOT, else /var/lib/velmor for root and
// $XDG_STATE_HOME/velmor (~/.local/state/velmor) for other users. Read afresh on every call, made (0755) when missing.
QString rootPath();

// A path below the root, e.g. rootPath("registry"); the folders above the result exist. They are made 0755, except
// "appdata" and "keys" and everything below them, which are private (0700).
QString rootPath(const QString &relative);

// Makes the folder with mode, and its missing parents with the same mode. An existing folder must be a folder, not
// a link, and either this user's (it then gets mode) or root's and not writable by others. False with errno set
// otherwise.
bool ensureDir(const QString &path, mode_t mode);

// Why the folder at path cannot be trusted with the programs' files; empty when nothing is there or when it is a
// real folder of this user or of root that no other user may write to (a sticky folder, as /tmp is, aside). A
// folder of this user gets mode first, unless mode is 0: a folder made under a careless umask is mended.
QString folderProblem(const QString &path, mode_t mode = 0);

// open(2) that never follows a link at path and never waits: anything but a regular file there (a FIFO another
// program holds, a device) is refused with ENXIO. A file of this user gets mode, whatever the umask made of it. For
// the files that grow by appends (the event log, histories) and lock files. A descriptor, or -1 with errno set.
int openFile(const QString &path, int flags, mode_t mode);

// Writes data through a temporary file in the same folder, made with mode, flushed to disk and renamed over path:
// a reader sees either the old or the new content, and a link at path is replaced, never written through. False
// with errno set; path is then untouched.
bool writeFileAtomically(const QString &path, const QByteArray &data, mode_t mode);

// As writeFileAtomically, but only where nothing is at path yet; false with errno EEXIST otherwise, also when
// another process makes it at the same moment.
bool createFileAtomically(const QString &path, const QByteArray &data, mode_t mode);

// Removes below the root the temporary files that writers killed before their rename left behind. Safe at any
// time: temporary files of running processes are kept.
void removeStaleTemporaryFiles();

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_ROOT_H
