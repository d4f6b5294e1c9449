// A full sync of a large account: the real account client, from its construction until it has fetched every
// profile's parts, against the fake account service over HTTPS. Prints the POSTs, the bytes each way and the time,
// beside the same POST bodies replayed by a plain python3 HTTPS client (one connection per POST, as the client
// asks), measured in the same run.
#include "accountservice.h"

#include "cabinet/legacycabinethttprequest.h"
#include "cabinet/legacyhttpcabinet.h"
#include "cabinet/protecteddata.h"

#include "platform/settingsstore.h"
#include "platform/trustedroots.h"
#include "velmorwire/json.h"
#include "velmorwire/jsonrpc.h"
#include "velmorwire/jsonrpccall.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Profiles = 50;
constexpr int DomainsPerList = 67; // 50 profiles x 3 lists x 67 = 10,050 entries
constexpr int Rounds = 5;

bool isIdle(const Velmor::Cabinet *cabinet)
{
    const auto *engine = cabinet->findChild<Velmor::JsonRPC *>(QString(), Qt::FindDirectChildrenOnly);
    return cabinet->state() == Velmor::Cabinet::Connected && !engine->hasPendingOutgoingRequest()
        && cabinet->findChildren<Velmor::JsonRPCCall *>().isEmpty()
        && cabinet->findChildren<Velmor::LegacyCabinetHttpRequest *>().isEmpty();
}

// Milliseconds from construction to a cabinet holding everything.
double syncOnce(const AccountService &service)
{
    QTemporaryDir root;
    qputenv("VELMOR_ROOT", QFile::encodeName(root.path()));
    Velmor::Platform::useRootSettings();
    QDir().mkpath(root.filePath(QStringLiteral("trust")));
    QFile::copy(service.caPath(), root.filePath(QStringLiteral("trust/ca.pem")));
    Velmor::Platform::installTrustedRoots();
    {
        QSettings settings;
        settings.setValue(QStringLiteral("www"), service.baseUrl());
        settings.setValue(QStringLiteral("user"), Velmor::protectData("ann", QStringLiteral("Velmor user")));
        settings.setValue(QStringLiteral("password"), Velmor::protectData("pw", QStringLiteral("Velmor password")));
    }
    QElapsedTimer timer;
    timer.start();
    Velmor::LegacyHttpCabinet cabinet;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (isIdle(&cabinet) || timer.elapsed() > 120000)
            loop.quit();
    });
    poll.start(1);
    loop.exec();
    const double elapsed = timer.nsecsElapsed() / 1e6;
    int entries = 0;
    for (const quint32 id : cabinet.cachedProfiles().keys()) {
        for (const auto type :
            { Velmor::CabinetDomain::White, Velmor::CabinetDomain::Black, Velmor::CabinetDomain::Alias })
            entries += cabinet.cachedDomains(id, type).size();
    }
    if (entries != Profiles * 3 * DomainsPerList) {
        std::fprintf(stderr, "the sync ended with %d entries\n", entries);
        return -1;
    }
    return elapsed;
}

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Service"));
    qputenv("VELMOR_SOURCE_DIR", VELMOR_SOURCE_DIR);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type >= QtWarningMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });

    AccountService service;
    if (!service.start()) {
        std::fprintf(stderr, "the fake account service did not start\n");
        return 1;
    }
    std::vector<double> ours;
    QVariantList log;
    for (int round = 0; round < Rounds; ++round) {
        service.reset();
        service.addAccount(QStringLiteral("ann"), QStringLiteral("pw"), Profiles, DomainsPerList);
        const double elapsed = syncOnce(service);
        if (elapsed < 0)
            return 1;
        ours.push_back(elapsed);
        log = service.log();
    }

    qint64 sent = 0;
    qint64 received = 0;
    int challenged = 0;
    QStringList bodies;
    for (const QVariant &entry : std::as_const(log)) {
        const QVariantMap post = entry.toMap();
        sent += post.value("body").toString().toUtf8().size();
        received += post.value("replyBytes").toLongLong();
        if (post.value("authorization").isNull())
            ++challenged;
        else
            bodies.append(post.value("body").toString());
    }

    // The peer: the same bodies, with the credentials given up front, one HTTPS connection each.
    QTemporaryDir scratch;
    QFile list(scratch.filePath(QStringLiteral("bodies.json")));
    list.open(QIODevice::WriteOnly);
    list.write(Velmor::Json::stringify(bodies).toUtf8());
    list.close();
    std::vector<double> peer;
    for (int round = 0; round < Rounds; ++round) {
        QProcess replay;
        replay.start(QStringLiteral("/usr/bin/python3"),
            { QStringLiteral(VELMOR_SOURCE_DIR "/bench/cabinet/replay_posts.py"), service.baseUrl(), service.caPath(),
                list.fileName() });
        replay.waitForFinished(300000);
        if (replay.exitCode() != 0) {
            std::fprintf(stderr, "replay failed: %s\n", replay.readAllStandardError().constData());
            return 1;
        }
        peer.push_back(replay.readAllStandardOutput().trimmed().toDouble());
    }

    std::printf("full sync of %d profiles, %d list entries (median of %d rounds)\n", Profiles,
        Profiles * 3 * DomainsPerList, Rounds);
    std::printf("  %lld POSTs (%d of them answered by the authentication challenge), %lld bytes sent, %lld bytes "
                "received\n",
        static_cast<long long>(log.size()), challenged, static_cast<long long>(sent), static_cast<long long>(received));
    const double oursMs = median(ours);
    const double peerMs = median(peer);
    std::printf("  account client %8.1f ms   python3 replay of the same POSTs %8.1f ms   ratio %.2f (ours / peer)\n",
        oursMs, peerMs, oursMs / peerMs);
    return 0;
}
