#ifndef VELMOR_PLATFORM_DATAPROTECTION_H
#define VELMOR_PLATFORM_DATAPROTECTION_H

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

namespace Velmor {
namespace Platform {

// The machine key: 32 random bytes in <root>/keys/machine.key, made once (mode 0600, in a 0700 folder) and
// never replaced afterwards. A key file that cannot be read, or that does not hold exactly 32 bytes, is an
// error: false, with the last error set (ErrorAccessDenied or ErrorInvalidData).
bool machineKey(QByteArray *key);

// HMAC-SHA-256 under the machine key over the label and then each part, every one preceded by its length as a
// 32-bit big-endian number, so that no two different lists of parts give the same input. 32 bytes.
bool machineDerivedKey(const QByteArray &label, const QByteArrayList &parts, QByteArray *key);

// The data-protection stand-in: AES-256-GCM under a key derived from the machine key. The blob is "VDP1", the
// description's length in bytes (32-bit little-endian) and its UTF-16 text, a fresh 12-byte nonce, the
// ciphertext and the 16-byte tag; everything before the nonce is authenticated with the data. Only the same
// machine root reads it back. False with the last error set on failure.
bool cryptProtectData(const QByteArray &data, const QString &description, QByteArray *blob);

// Reads a blob of cryptProtectData. A tampered, truncated, empty or foreign blob fails with ErrorInvalidData and
// yields nothing: data and description are left empty.
bool cryptUnprotectData(const QByteArray &blob, QString *description, QByteArray *data);

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_DATAPROTECTION_H
