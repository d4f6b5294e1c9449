#ifndef VELMOR_VENDORSITE_H
#define VELMOR_VENDORSITE_H

#include "velmorwire_global.h"

#include <QString>
#include <QUrl>

namespace Velmor {

// The vendor's web site as host[:port]: VELMOR_VENDOR_SITE when it holds such a value, else "www." and the
// vendor's domain. Every address of the site (the updater's files, the address-echo page) is made from it.
VELMORWIRE_EXPORT QString vendorSite();

// scheme://<vendorSite()><path>.
VELMORWIRE_EXPORT QUrl vendorSiteUrl(const QString &scheme, const QString &path);

} // namespace Velmor

#endif // VELMOR_VENDORSITE_H
