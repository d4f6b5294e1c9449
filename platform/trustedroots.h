#ifndef VELMOR_PLATFORM_TRUSTEDROOTS_H
#define VELMOR_PLATFORM_TRUSTEDROOTS_H

namespace Velmor {
namespace Platform {

// Adds the machine's trusted root certificates, <root>/trust/*.pem, to the process's default TLS configuration
// beside the system's own, as the Windows root store would hold them. Certificates already trusted are not
// added twice. Returns the number of certificates added.
int installTrustedRoots();

} // namespace Platform
} // namespace Velmor

#endif // VELMOR_PLATFORM_TRUSTEDROOTS_H
