// The desktop program's costs, each beside a peer measured in the same run:
//  1. a 10,000-entry "setDomains" from packet bytes to the model's whiteListUpdated, beside
//     Velmor::Json::parse of the same bytes (aim: at most 3 times);
//  2. a 50-profile initial push over a local TCP link to status state 7, beside parsing the same texts;
//  3. a new Agent to its first shown window, beside a bare QWidget with the application style sheet.
#include "benchdesktop.h"

#include "app/agent.h"
#include "app/appearance.h"
#include "mainwindow/mainwidget.h"
#include "model/cabinet.h"
#include "model/requesthandler.h"
#include "model/serviceconnector.h"

#include "velmorwire/ipcpacketreader.h"
#include "velmorwire/json.h"
#include "velmorwire/jsonrpc.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtEndian>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

using BenchDesktop::median;
using BenchDesktop::medianMicroseconds;
using BenchDesktop::report;

QByteArray packet(const QVariant &message)
{
    const QByteArray text = Velmor::Json::stringify(message).toUtf8();
    QByteArray bytes(5, Qt::Uninitialized);
    qToLittleEndian<qint32>(qint32(text.size() + 1), bytes.data());
    bytes[4] = 0;
    return bytes + text;
}

QVariant notification(const char *method, const QVariantList &params)
{
    return QVariantMap { { QStringLiteral("jsonrpc"), QStringLiteral("2.0") },
        { QStringLiteral("method"), QLatin1String(method) }, { QStringLiteral("params"), params } };
}

void domainsToModel(Agent *agent)
{
    QVariantList domains;
    for (int i = 1; i <= 10000; ++i) {
        domains.append(QVariantMap { { QStringLiteral("domain"), QStringLiteral("example-%1.com").arg(i) },
            { QStringLiteral("id"), uint(100000 + i) } });
    }
    const QByteArray bytes = packet(notification("setDomains", { 17u, 0, domains }));
    Velmor::JsonRPC engine;
    engine.setRequestHandler(agent->requestHandler());
    int updates = 0;
    QObject::connect(agent->cabinet(), &Cabinet::whiteListUpdated, agent, [&updates] { ++updates; });

    const double ours = medianMicroseconds(21, [&] {
        QBuffer device;
        device.open(QIODevice::ReadWrite);
        Velmor::IpcPacketReader reader(&device);
        QObject::connect(&reader, &Velmor::IpcPacketReader::packetReady, &engine,
            [&engine](const QByteArray &packet) { engine.incomingRequest(packet.mid(1)); });
        device.write(bytes);
        device.seek(0);
        Q_EMIT device.readyRead();
    });
    const QString text = QString::fromUtf8(bytes.mid(5));
    const double peer = medianMicroseconds(21, [&] { (void)Velmor::Json::parse(QString::fromUtf8(bytes.mid(5))); });
    if (updates != 21 || agent->cabinet()->cachedDomains(17, 0).size() != 10000)
        std::printf("setDomains did not reach the model (%d updates)\n", updates);
    report("setDomains 10,000 entries: bytes to model", ours, "Velmor::Json::parse of the bytes", peer);
}

void pushToProtected(Agent *agent)
{
    QVariantList profiles;
    for (uint id = 1; id <= 50; ++id) {
        profiles.append(QVariantMap { { QStringLiteral("id"), id }, { QStringLiteral("token"), 1000 + id },
            { QStringLiteral("name"), QStringLiteral("Profile %1").arg(id) }, { QStringLiteral("default"), id == 1 },
            { QStringLiteral("is_schedule_enabled"), false } });
    }
    const QVariantMap networks { { QStringLiteral("defaultRouteId"), QStringLiteral("eth0") },
        { QStringLiteral("networks"),
            QVariantList { QVariantMap { { QStringLiteral("id"), QStringLiteral("eth0") },
                { QStringLiteral("name"), QStringLiteral("Wired") }, { QStringLiteral("protected"), true } } } } };
    const QList<QVariant> messages = {
        notification(
            "setSettings", { QVariantMap { { QStringLiteral("localproxy-addr"), QStringLiteral("127.0.0.1") } } }),
        notification("setNetworks", { networks }),
        notification("setCredentials", { QStringLiteral("user"), QString("") }),
        notification("setSettingsLocked", { false }),
        notification("setGlobalFiltering", { true }),
        notification("setSystemInfo",
            { QVariantMap {
                { QStringLiteral("features"), QVariantList() }, { QStringLiteral("services"), QVariantMap() } } }),
        notification("setCategories", { QVariant(QVariantList()) }),
        notification("setUserInfo",
            { QVariantMap { { QStringLiteral("features"), QVariantMap() },
                { QStringLiteral("plan"),
                    QVariantMap { { QStringLiteral("code"), QStringLiteral("FREE") },
                        { QStringLiteral("name"), QStringLiteral("Free") } } },
                { QStringLiteral("tz"), 0 } } }),
        notification("setProfiles", { profiles, 1u }),
        notification("setProfileScheduleActivity", { 1u, true }),
        notification("setIdentification", { 1, 1u }),
    };
    QByteArray push;
    for (const QVariant &message : messages)
        push += packet(message);

    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    QList<QTcpSocket *> links;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server, &links, push] {
        while (QTcpSocket *link = server.nextPendingConnection()) {
            links.append(link);
            link->write(push);
        }
    });
    qputenv("VELMOR_IPC_PORT", QByteArray::number(server.serverPort()));
    ServiceConnector *connector = agent->connector();
    std::vector<double> times;
    for (int round = 0; round < 21; ++round) {
        // The service drops the link; the desktop notices, and the next attempt is timed.
        qDeleteAll(links);
        links.clear();
        QElapsedTimer wait;
        wait.start();
        while (connector->state() != ServiceConnector::Unconnected && wait.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        QElapsedTimer timer;
        timer.start();
        connector->timer_reconnectToService();
        while (agent->status()->state() != ServiceStatus::Protected && timer.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        times.push_back(timer.nsecsElapsed() / 1000.0);
        connector->reconnectTimer()->stop();
    }
    const double peer = medianMicroseconds(21, [&] {
        for (const QVariant &message : messages)
            (void)Velmor::Json::parse(Velmor::Json::stringify(message));
    });
    report("50-profile initial push to state 7", median(times), "Velmor::Json::parse of the texts", peer);
}

bool waitExposed(QWidget *widget)
{
    QElapsedTimer timer;
    timer.start();
    while (!(widget->windowHandle() && widget->windowHandle()->isExposed()) && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return widget->windowHandle() && widget->windowHandle()->isExposed();
}

void firstWindow()
{
    std::vector<double> agents;
    double first = 0;
    for (int round = 0; round < 11; ++round) {
        QElapsedTimer timer;
        timer.start();
        Agent agent;
        while (!agent.mainWidget()->isVisible() && timer.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        waitExposed(agent.mainWidget());
        agents.push_back(timer.nsecsElapsed() / 1000.0);
        if (round == 0)
            first = agents.back();
    }
    const double peer = medianMicroseconds(11, [] {
        QWidget widget;
        widget.setStyleSheet(applicationStyleSheet());
        widget.resize(360, 240);
        widget.show();
        waitExposed(&widget);
    });
    report("Agent to its shown window (median)", median(agents), "bare styled QWidget to shown", peer);
    report("Agent to its shown window (first, cold)", first, "bare styled QWidget to shown", peer);
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir root;
    QTemporaryDir runtime;
    BenchDesktop::prepareLaterStart(root.path(), runtime.path());

    QApplication app(argc, argv);

    firstWindow();
    Agent agent;
    QCoreApplication::processEvents();
    domainsToModel(&agent);
    pushToProtected(&agent);
    return 0;
}
