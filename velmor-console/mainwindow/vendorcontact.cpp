#include "vendorcontact.h"

#include "velmorwire/vendor.h"

#ifndef VELMOR_SUPPORT_PHONE
#define VELMOR_SUPPORT_PHONE ""
#endif

QString vendorHost()
{
    return QLatin1String("www.") + QLatin1String(Velmor::vendorDomain);
}

QString vendorUrl(const QString &path)
{
    return QLatin1String("https://") + vendorHost() + path;
}

QString vendorLink(const QString &path, const QString &text)
{
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(vendorUrl(path), text.toHtmlEscaped());
}

QString supportPhone()
{
    return QStringLiteral(VELMOR_SUPPORT_PHONE);
}
