#ifndef VELMOR_PLATFORM_REGISTRY_H
#define VELMOR_PLATFORM_REGISTRY_H

#include "winerror.h"

#include <QString>
#include <QStringList>

namespace Velmor {
namespace Platform {

// The registry of the simulated machine: <root>/registry, one file per key. Keys are addressed by their full
// path ("HKEY_LOCAL_MACHINE\SYSTEM\..."); key and value names compare without regard to case, as on Windows.
// Every call reads or writes the files afresh and returns a Windows status (winerror.h): 0 on success,
// ErrorFileNotFound for a missing key or value, ErrorInvalidParameter for a malformed path or value,
// ErrorBadDatabase for a key file that cannot be read, or the status a key was marked to fail its writes with.
namespace Registry {

enum ValueType : quint32 { None = 0, String = 1, Number = 4, MultiString = 7 };

struct Value
{
    ValueType type = None;
    QString text; // String
    QStringList texts; // MultiString
    quint32 number = 0; // Number
};

bool keyExists(const QString &key);

// Opens the key, creating it and its missing parents; a key that exists already is left as it is.
WinError createKey(const QString &key);

// Deletes a key that has no subkeys, also one whose file cannot be read.
WinError deleteKey(const QString &key);

WinError queryValue(const QString &key, const QString &name, Value *value);
WinError setString(const QString &key, const QString &name, const QString &text);
WinError setMultiString(const QString &key, const QString &name, const QStringList &texts);
WinError setNumber(const QString &key, const QString &name, quint32 number);
WinError deleteValue(const QString &key, const QString &name);

// Names as they were created; subkeys sorted without regard to case, values in the order they were created. A
// subkey whose file cannot be read is left out; it can still be deleted, and then made again.
WinError subKeyNames(const QString &key, QStringList *names);
WinError valueNames(const QString &key, QStringList *names);

// Marks an existing key so that every later change of it (values, subkeys, deletion) fails with status, the way
// a key with a restrictive access list refuses writes with ErrorAccessDenied; 0 lifts the mark.
WinError setWriteFailure(const QString &key, WinError status);

} // namespace Registry
} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_REGISTRY_H
