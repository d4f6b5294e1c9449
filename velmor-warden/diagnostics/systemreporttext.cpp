#include "systemreporttext.h"

#include "cabinet/cabinet.h"

#include "velmorwire/vendor.h"

#include <algorithm>

namespace {

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QString profileLine(const Velmor::CabinetProfile &profile)
{
    return QStringLiteral("id: %1 name: %2 token: %3 default: %4 schedule: %5 whiteonly: %6")
        .arg(QString::number(profile.id), profile.name, QString::number(profile.token), yesNo(profile.isDefault),
            yesNo(profile.scheduleEnabled), yesNo(profile.whiteListOnly));
}

} // namespace

ReportAccount reportAccount(const Velmor::Cabinet *cabinet)
{
    ReportAccount account;
    if (!cabinet)
        return account;
    account.connected = cabinet->state() == Velmor::Cabinet::Connected;
    if (const auto current = cabinet->currentProfile())
        account.currentProfileId = current->id;
    if (const auto selected = cabinet->selectedProfile())
        account.selectedProfileId = selected->id;
    const Velmor::CabinetProfiles &profiles = cabinet->cachedProfiles();
    for (auto it = profiles.cbegin(); it != profiles.cend(); ++it) {
        if (!it.value())
            continue;
        account.profiles.append(*it.value());
        // The report goes to whoever asks over the link: only the token that already applies is in it.
        if (it.value()->id != account.selectedProfileId)
            account.profiles.last().token = 0;
    }
    std::sort(account.profiles.begin(), account.profiles.end(),
        [](const Velmor::CabinetProfile &a, const Velmor::CabinetProfile &b) { return a.id < b.id; });
    return account;
}

QString identificationBlock(const ServiceReportInputs &inputs)
{
    const BlackTestResult &black = inputs.black;
    const QString domain = QLatin1String(Velmor::vendorDomain);
    if (!black.result)
        return QStringLiteral("An error occurred during the test, \"Black Address\":%1\n").arg(black.text);
    QString text;
    if (inputs.identificationType == 1) {
        text += QLatin1String("Identification type is Token\n");
        bool ok = false;
        const uint seen = black.t.toUInt(&ok);
        const bool differs = black.t == QLatin1String("None") || (ok ? seen : 0u) != inputs.profileToken;
        text += QString::fromLatin1(
            differs ? "black.%3.token:%1 != agent.tocken:%2\n" : "black.%3.token:%1 = agent.tocken:%2\n")
                    .arg(black.t, QString::number(inputs.profileToken), domain);
    } else {
        text += QLatin1String("Identification type is Ipident\n");
        text += QStringLiteral("black.%3.ip:%1 nic.ip:%2\n").arg(black.ip, inputs.transparentProxy.myIp, domain);
    }
    if (inputs.account.connected) {
        text += QStringLiteral("agent.currentProfileId:%1 agent.selectedProfileId:%2\n")
                    .arg(QString::number(inputs.account.currentProfileId),
                        QString::number(inputs.account.selectedProfileId));
        text += QStringLiteral("black.%2.ProfileId:%1\n").arg(black.p, domain);
    }
    return text;
}

QString composeServiceReport(const ServiceReportInputs &inputs)
{
    QString text = QStringLiteral("Local DNS: %1:%2\n")
                       .arg(inputs.localDnsAddress.toString(), QString::number(inputs.localDnsPort));
    text += inputs.adapters.text + inputs.gateway.text + inputs.userProxy.text + inputs.transparentProxy.text
        + inputs.black.text;
    text += identificationBlock(inputs);
    QStringList lines;
    for (const Velmor::CabinetProfile &profile : inputs.account.profiles)
        lines.append(profileLine(profile));
    text += QStringLiteral("Profiles: %1\n").arg(lines.join(QLatin1String("\n ")));
    text += inputs.commandsOutput;
    return text;
}
