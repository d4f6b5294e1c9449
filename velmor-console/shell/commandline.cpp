#include "commandline.h"

#include "platform/usersid.h"

CommandLine CommandLine::parse(const QStringList &arguments)
{
    CommandLine options;
    const QStringList given = arguments.mid(1);
    options.close = given.contains(QLatin1String("-c"));
    options.hidden = given.contains(QLatin1String("-h"));
    options.activate = given.contains(QLatin1String("-a"));
    const qsizetype unlockAt = given.indexOf(QLatin1String("-p"));
    options.unlock = unlockAt >= 0;
    if (options.unlock && unlockAt + 1 < given.size() && !given.at(unlockAt + 1).startsWith(QLatin1Char('-')))
        options.reason = given.at(unlockAt + 1);
    return options;
}

QString instanceId()
{
    return QStringLiteral("velmor-agent%1") + Velmor::Platform::currentUserSid();
}

namespace InstanceMessage {

QString unlock(const QString &reason)
{
    return QStringLiteral("unlock ") + reason;
}

bool isUnlock(const QString &message)
{
    return message.startsWith(QLatin1String("unlock"));
}

QString unlockReason(const QString &message)
{
    return message.mid(message.lastIndexOf(QLatin1Char(' ')) + 1);
}

} // namespace InstanceMessage
