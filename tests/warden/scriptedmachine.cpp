#include "scriptedmachine.h"

#include "wardentest.h"

#include "platform/iphelper.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/settingsstore.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>

namespace WardenTest {

QString prepareScriptedMachine(const QString &root, bool settingsProtected)
{
    using namespace Velmor::Platform;
    qputenv("VELMOR_ROOT", QFile::encodeName(root));
    qputenv("VELMOR_IPC_PORT", QByteArray::number(freePort()));
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Service"));
    useRootSettings();
    const QString adapter = QStringLiteral("{6A1F0C2E-0000-4000-8000-000000000001}");
    writeFileAtomically(root + QLatin1String("/machine.json"),
        "{\"adapters\":[{\"id\":\"" + adapter.toUtf8()
            + "\",\"index\":1,\"name\":\"Ethernet\",\"type\":6,\"up\":true,\"addresses\":[\"192.168.1.20\"]}],"
              "\"routes\":[]}",
        PublicFileMode);
    Registry::createKey(IpHelper::interfaceKey(adapter));
    Registry::setString(IpHelper::interfaceKey(adapter), QStringLiteral("NameServer"), QStringLiteral("10.0.0.1"));
    QSettings settings;
    settings.setValue(QStringLiteral("localproxy-addr"), QStringLiteral("127.0.0.1:%1").arg(freePort()));
    settings.setValue(QStringLiteral("vyrproxy-addr"), QStringLiteral("127.0.0.2:5353"));
    settings.setValue(QStringLiteral("httpd-port"), 0);
    settings.setValue(QStringLiteral("tokens-enabled"), true);
    settings.setValue(QStringLiteral("settings-protected"), settingsProtected);
    settings.setValue(QStringLiteral("protected-networks"), QStringList { adapter });
    settings.setValue(QStringLiteral("www"), QStringLiteral("https://127.0.0.1:1"));
    return adapter;
}

} // namespace WardenTest
