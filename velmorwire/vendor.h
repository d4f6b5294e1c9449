#ifndef VELMOR_VENDOR_H
#define VELMOR_VENDOR_H

namespace Velmor {

// The vendor's web domain: its site is "www." and this domain, its resolver answers "black." and this domain.
constexpr char vendorDomain[] = "velmor.example";

} // namespace Velmor

#endif // VELMOR_VENDOR_H
