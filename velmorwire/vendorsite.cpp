#include "vendorsite.h"

#include "vendor.h"

namespace Velmor {

namespace {

QString defaultSite()
{
    return QStringLiteral("www.") + QLatin1String(vendorDomain);
}

// A host with an optional port and nothing else: no user, path, query or fragment slips in through the variable.
bool isSite(const QString &text)
{
    if (text.isEmpty() || text.contains(QLatin1Char('/')) || text.contains(QLatin1Char('@'))
        || text.contains(QLatin1Char('?')) || text.contains(QLatin1Char('#')))
        return false;
    const QUrl url(QStringLiteral("https://") + text, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() && (url.port() == -1 || url.port() > 0);
}

} // namespace

QString vendorSite()
{
    const QString configured = qEnvironmentVariable("VELMOR_VENDOR_SITE").trimmed();
    return isSite(configured) ? configured : defaultSite();
}

QUrl vendorSiteUrl(const QString &scheme, const QString &path)
{
    return QUrl(scheme + QStringLiteral("://") + vendorSite() + path, QUrl::StrictMode);
}

} // namespace Velmor
