// What an apply costs beside the bare writes it makes: pointing 1, 16 and 64 protected adapters at the local proxy
// and giving them their own servers back, against the same registry and settings writes made directly, both on
// the simulated machine in the same run. Then 100 address changes that change nothing, and the writes and DNS
// client restarts they caused: there should be none.
#include "network/backend.h"
#include "network/dnscacheresetter.h"

#include "base/serverstate.h"
#include "platform/iphelper.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/servicemanager.h"
#include "platform/settingsstore.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <sys/stat.h>

using namespace Velmor;
using namespace Velmor::Platform;

namespace {

// Rounds of each kind, taken in turns so both meet the same load of the machine; the medians are compared.
const int rounds = 15;

class Server : public ServerState
{
public:
    QHostAddress upstream = QHostAddress(QStringLiteral("198.51.100.53"));
    bool filtering = false;

    QHostAddress activeProxyAddress() const override
    {
        return filtering ? QHostAddress(QHostAddress::LocalHost) : QHostAddress();
    }
    QHostAddress localDnsProxyAddress(bool) const override { return QHostAddress(QHostAddress::LocalHost); }
    quint16 localDnsProxyPort() const override { return 53; }
    const QHostAddress &upstreamProxyAddress() const override { return upstream; }
    quint16 upstreamProxyPort() const override { return 53; }
    int identificationType() const override { return 1; }
    bool useLocalDnsProxy() const override { return filtering; }
    bool isIdentified() const override { return true; }
    bool isGlobalFilteringEnabled() const override { return filtering; }
    quint32 profileToken() const override { return 0; }
    void notify() { Q_EMIT activeProxyChanged(); }
};

QString idOf(int i)
{
    return QStringLiteral("{B3A7E2C0-0000-4000-8000-%1}").arg(i, 12, 10, QLatin1Char('0'));
}

QString ownServer(int i)
{
    return QStringLiteral("10.%1.%2.53").arg(i / 200 + 1).arg(i % 200 + 1);
}

QByteArray machineText(int count)
{
    QJsonArray adapters;
    for (int i = 0; i < count; ++i) {
        adapters.append(QJsonObject { { QStringLiteral("id"), idOf(i) }, { QStringLiteral("index"), i + 1 },
            { QStringLiteral("name"), QStringLiteral("Ethernet %1").arg(i + 1) }, { QStringLiteral("type"), 6 },
            { QStringLiteral("addresses"), QJsonArray { QStringLiteral("192.168.%1.20").arg(i % 250) } } });
    }
    return QJsonDocument(QJsonObject { { QStringLiteral("adapters"), adapters } }).toJson();
}

// A machine root with count adapters on their own servers, all to be protected.
class Machine
{
public:
    explicit Machine(int count)
    {
        enter();
        writeFileAtomically(rootPath(QStringLiteral("machine.json")), machineText(count), 0644);
        QStringList ids;
        for (int i = 0; i < count; ++i) {
            Registry::createKey(IpHelper::interfaceKey(idOf(i)));
            Registry::setString(IpHelper::interfaceKey(idOf(i)), QStringLiteral("NameServer"), ownServer(i));
            ids.append(idOf(i));
        }
        QSettings settings;
        settings.setValue(QStringLiteral("protected-networks"), ids);
        settings.setValue(QStringLiteral("fallback-dns"), QStringLiteral("8.8.8.8"));
    }
    // The simulated machine is this one from now on.
    void enter()
    {
        qputenv("VELMOR_ROOT", QFile::encodeName(m_root.path()));
        useRootSettings();
    }

private:
    QTemporaryDir m_root;
};

// Protecting every adapter and giving each its servers back, through the backend.
class ApplyRound
{
public:
    explicit ApplyRound(int count)
        : m_machine(count)
        , m_backend(new Backend(&m_server))
    {
        m_backend->start();
    }
    ~ApplyRound() { m_backend->stop(); }

    qint64 run()
    {
        m_machine.enter();
        qint64 spent = 0;
        QElapsedTimer timer;
        for (bool on : { true, false }) {
            m_server.filtering = on;
            timer.start();
            m_server.notify();
            spent += timer.nsecsElapsed();
            // The DNS client restarts it asked for run on the pool; they are not part of the writes.
            DNSCacheResetter::waitForDone();
        }
        return spent;
    }

private:
    Machine m_machine;
    Server m_server;
    Backend *m_backend;
};

// The same writes, made directly: per adapter the applied address, flushed, then its "NameServer"; and back.
class BareRound
{
public:
    explicit BareRound(int count)
        : m_machine(count)
        , m_count(count)
    {
        for (int i = 0; i < count; ++i) {
            auto *group = new QSettings;
            group->beginGroup(QStringLiteral("interfaces/i%1").arg(i));
            group->setValue(QStringLiteral("guid"), idOf(i));
            group->setValue(QStringLiteral("originalDns"), ownServer(i));
            group->sync();
            m_groups.append(group);
        }
    }
    ~BareRound() { qDeleteAll(m_groups); }

    qint64 run()
    {
        m_machine.enter();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < m_count; ++i) {
            m_groups.at(i)->setValue(QStringLiteral("appliedDns"), QStringLiteral("127.0.0.1"));
            m_groups.at(i)->sync();
            Registry::setString(
                IpHelper::interfaceKey(idOf(i)), QStringLiteral("NameServer"), QStringLiteral("127.0.0.1"));
        }
        for (int i = 0; i < m_count; ++i) {
            Registry::setString(IpHelper::interfaceKey(idOf(i)), QStringLiteral("NameServer"), ownServer(i));
            m_groups.at(i)->remove(QStringLiteral("appliedDns"));
            m_groups.at(i)->sync();
        }
        return timer.nsecsElapsed();
    }

private:
    Machine m_machine;
    int m_count;
    QList<QSettings *> m_groups;
};

double median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return double(values.at(values.size() / 2));
}

int registryWrites = 0;
int settingsWrites = 0;
int restarts = 0;

void countWrites(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (context.category && qstrcmp(context.category, "velmor.network.writes") == 0) {
        registryWrites += text.startsWith(QLatin1String("registry")) ? 1 : 0;
        settingsWrites += text.startsWith(QLatin1String("settings")) ? 1 : 0;
        restarts += text.startsWith(QLatin1String("restart Dnscache: stop")) ? 1 : 0;
    } else if (type != QtDebugMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
}

// Files of the registry and of the settings, by the identity a rewrite changes.
QMap<QString, QByteArray> snapshot()
{
    QMap<QString, QByteArray> files;
    for (const QString &folder : { rootPath(QStringLiteral("registry")), rootPath(QStringLiteral("settings")) }) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.endsWith(QLatin1String(".lock")))
                continue;
            struct stat info;
            if (::stat(QFile::encodeName(path).constData(), &info) == 0)
                files.insert(path,
                    QByteArray::number(qulonglong(info.st_ino)) + ' ' + QByteArray::number(info.st_mtim.tv_sec) + '.'
                        + QByteArray::number(info.st_mtim.tv_nsec));
        }
    }
    return files;
}

void idleAddressChanges()
{
    Machine machine(16);
    Server server;
    server.filtering = true;
    auto *backend = new Backend(&server);
    backend->start();
    server.notify();
    DNSCacheResetter::waitForDone();
    const QMap<QString, QByteArray> before = snapshot();
    const int historyBefore = int(ServiceManager::standInHistory(QStringLiteral("Dnscache")).size());

    const QtMessageHandler previous = qInstallMessageHandler(countWrites);
    QLoggingCategory::setFilterRules(QStringLiteral("velmor.network.writes.debug=true"));
    int changes = 0;
    QEventLoop loop;
    QObject::connect(backend, &Backend::configurationChanged, &loop, [&] {
        ++changes;
        loop.quit();
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    const QByteArray same = machineText(16);
    for (int i = 0; i < 100; ++i) {
        writeFileAtomically(rootPath(QStringLiteral("machine.json")), same, 0644);
        guard.start(10000);
        loop.exec();
    }
    DNSCacheResetter::waitForDone();
    QLoggingCategory::setFilterRules(QString());
    qInstallMessageHandler(previous);

    const QMap<QString, QByteArray> after = snapshot();
    int changedFiles = 0;
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        changedFiles += before.value(it.key()) != it.value() ? 1 : 0;
    changedFiles += int(before.size()) - int(after.size()) > 0 ? int(before.size() - after.size()) : 0;
    const int historyAfter = int(ServiceManager::standInHistory(QStringLiteral("Dnscache")).size());
    std::printf("100 address changes that change nothing (16 protected adapters): %d handled, %d registry writes, "
                "%d settings writes, %d DNS client restarts; %d registry or settings files rewritten, %d entries "
                "in the DNS client's history\n",
        changes, registryWrites, settingsWrites, restarts, changedFiles, historyAfter - historyBefore);
    backend->stop();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QCoreApplication::setApplicationName(QStringLiteral("Service"));
    for (int count : { 1, 16, 64 }) {
        ApplyRound applyRound(count);
        BareRound bareRound(count);
        QList<qint64> applies;
        QList<qint64> bares;
        for (int round = 0; round < rounds; ++round) {
            applies.append(applyRound.run());
            bares.append(bareRound.run());
        }
        const double apply = median(applies);
        const double bare = median(bares);
        std::printf("apply over %2d adapters, protect and give back: %.2f ms a round (median of "
                    "%d); the bare writes: %.2f ms; ratio %.2f\n",
            count, apply / 1e6, rounds, bare / 1e6, apply / bare);
    }
    idleAddressChanges();
    return 0;
}
