#ifndef VELMOR_CONSOLE_CHECKBROWSERSSETTINGS_H
#define VELMOR_CONSOLE_CHECKBROWSERSSETTINGS_H

#include "browserproxysettings.h"

#include "velmorwire/basetest.h"

#include <QStringList>

// The system report's section on the logged-on user's browsers: an Opera or Firefox set to use a proxy would
// carry web traffic past the filtering, and Comodo Dragon is worth knowing about. Fails when any of them is found.
class CheckBrowsersSettings : public base_test
{
public:
    using base_test::base_test;

protected:
    bool test() override;
};

// The display names under the Uninstall key's subkeys, in the registry's order.
QStringList installedPrograms(const QString &key);
// Those of the native and of the 32-bit Uninstall key, one after the other.
QStringList allInstalledPrograms();
// The first name that starts with the prefix, ignoring case; a null text when none does.
QString findInstalledProgram(const QStringList &programs, const QString &prefix);
bool isComodoDragonInstalled(const QStringList &programs);

// The preference files of a browser kind (BrowserProxySettings::Kind) in the user's APPDATA.
QStringList browserSettingsFiles(int kind);
// The entries of dir whose path ends with name, and those one level down unless noRecurse.
QStringList findFiles(const QString &dir, const QString &name, bool noRecurse);

BrowserProxySettings browserProxySettings(const BrowserProxyPatterns &patterns, int kind, const QString &prefix);
BrowserProxySettings operaProxySettings(const BrowserProxyPatterns &patterns);
BrowserProxySettings firefoxProxySettings(const BrowserProxyPatterns &patterns);

#endif // VELMOR_CONSOLE_CHECKBROWSERSSETTINGS_H
