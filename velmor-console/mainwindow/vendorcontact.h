#ifndef VELMOR_CONSOLE_VENDORCONTACT_H
#define VELMOR_CONSOLE_VENDORCONTACT_H

#include <QString>

// The vendor's web site: "www." and the vendor's domain.
QString vendorHost();
// https://<vendor host><path>
QString vendorUrl(const QString &path);
// An HTML anchor to vendorUrl(path) showing text.
QString vendorLink(const QString &path, const QString &text);

// The vendor's support phone number, chosen when the program is built; empty hides the help page's Phone row.
QString supportPhone();

#endif // VELMOR_CONSOLE_VENDORCONTACT_H
