// The main window's rebuilds, each beside plain widgets filled with the same texts in the same run:
//  1. a 500-profile "setProfiles" until the profile box is rebuilt, beside a QComboBox cleared and filled with the
//     500 names and ids;
//  2. a 64-network "setNetworks" until the network list is rebuilt, beside a QListWidget cleared and filled with
//     the 64 names as checkable rows, the first in bold.
// Each is timed from the notification's text (parsed and dispatched as the link does) and from the model's setter,
// with the window showing the tab that holds the box or the list. The profiles also rebuild the tray's profile
// menu; a third figure leaves that out.
#include "benchdesktop.h"

#include "app/agent.h"
#include "app/systemtrayicon.h"
#include "mainwindow/mainwidget.h"
#include "model/cabinet.h"
#include "model/requesthandler.h"

#include "velmorwire/cabinetprofile.h"
#include "velmorwire/json.h"
#include "velmorwire/jsonrpc.h"
#include "velmorwire/network.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

const int rounds = 31;

double medianMicroseconds(const std::function<void()> &work)
{
    return BenchDesktop::medianMicroseconds(rounds, work);
}

using BenchDesktop::report;

QByteArray notification(const char *method, const QVariantList &params)
{
    return Velmor::Json::stringify(
        QVariantMap { { QStringLiteral("jsonrpc"), QStringLiteral("2.0") },
            { QStringLiteral("method"), QLatin1String(method) }, { QStringLiteral("params"), params } })
        .toUtf8();
}

// The window on its common settings page, showing the tab.
void showTab(Agent *agent, const char *tab)
{
    MainWidget *window = agent->mainWidget();
    auto stack = window->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    stack->setCurrentWidget(window->findChild<QWidget *>(QStringLiteral("commonSettingsPage")));
    window->findChild<QTabWidget *>(QStringLiteral("settingsTabWidget"))
        ->setCurrentWidget(window->findChild<QWidget *>(QLatin1String(tab)));
    QCoreApplication::processEvents();
}

void profiles(Agent *agent, Velmor::JsonRPC *engine)
{
    showTab(agent, "tabGeneralSettings");
    QVariantList list;
    for (uint id = 1; id <= 500; ++id) {
        list.append(QVariantMap { { QStringLiteral("id"), id }, { QStringLiteral("token"), 1000 + id },
            { QStringLiteral("name"), QStringLiteral("Profile %1").arg(id, 3, 10, QLatin1Char('0')) },
            { QStringLiteral("default"), id == 1 }, { QStringLiteral("is_schedule_enabled"), false } });
    }
    const QByteArray text = notification("setProfiles", { list, 250u });
    auto box = agent->mainWidget()->findChild<QComboBox *>(QStringLiteral("cmbProfile"));
    const double fromText = medianMicroseconds([&] {
        engine->incomingRequest(text);
        QCoreApplication::processEvents();
    });
    if (box->count() != 500 || box->currentText() != QLatin1String("Profile 250"))
        std::printf("setProfiles did not reach the window (%d rows)\n", int(box->count()));

    Velmor::CabinetProfiles parsed;
    parsed.fromVariant(list);
    const double fromModel = medianMicroseconds([&] {
        agent->cabinet()->setProfiles(parsed, 250);
        QCoreApplication::processEvents();
    });

    QObject::disconnect(agent->cabinet(), &Cabinet::profilesChanged, agent->trayIcon(), nullptr);
    const double windowOnly = medianMicroseconds([&] {
        agent->cabinet()->setProfiles(parsed, 250);
        QCoreApplication::processEvents();
    });

    QComboBox plain;
    plain.show();
    QStringList names;
    for (const QVariant &profile : std::as_const(list))
        names.append(profile.toMap().value(QStringLiteral("name")).toString());
    const double peer = medianMicroseconds([&] {
        plain.clear();
        for (int i = 0; i < names.size(); ++i)
            plain.addItem(names.at(i), uint(i + 1));
        plain.setCurrentIndex(249);
        QCoreApplication::processEvents();
    });
    report("setProfiles 500: text to rebuilt window", fromText, "QComboBox filled with the names", peer);
    report("setProfiles 500: model to rebuilt window", fromModel, "QComboBox filled with the names", peer);
    report("setProfiles 500: model to window, no tray menu", windowOnly, "QComboBox filled with the names", peer);
}

void networks(Agent *agent, Velmor::JsonRPC *engine)
{
    showTab(agent, "tabConnectionSettings");
    QVariantList list;
    for (int i = 0; i < 64; ++i) {
        list.append(QVariantMap { { QStringLiteral("id"), QStringLiteral("net%1").arg(i) },
            { QStringLiteral("name"), QStringLiteral("Connection %1").arg(i) },
            { QStringLiteral("protected"), i % 2 == 0 } });
    }
    const QVariantMap info { { QStringLiteral("defaultRouteId"), QStringLiteral("net0") },
        { QStringLiteral("networks"), list } };
    const QByteArray text = notification("setNetworks", { info });
    auto rows = agent->mainWidget()->findChild<QListWidget *>(QStringLiteral("lstNetworks"));
    const double fromText = medianMicroseconds([&] {
        engine->incomingRequest(text);
        QCoreApplication::processEvents();
    });
    if (rows->count() != 64 || !rows->item(0)->font().bold())
        std::printf("setNetworks did not reach the window (%d rows)\n", int(rows->count()));

    Velmor::NetworksInfo parsed;
    parsed.fromVariant(info);
    const double fromModel = medianMicroseconds([&] {
        agent->status()->setNetworks(parsed);
        QCoreApplication::processEvents();
    });

    QListWidget plain;
    plain.show();
    const double peer = medianMicroseconds([&] {
        plain.clear();
        for (int i = 0; i < list.size(); ++i) {
            auto row = new QListWidgetItem(list.at(i).toMap().value(QStringLiteral("name")).toString());
            row->setCheckState(i % 2 == 0 ? Qt::Checked : Qt::Unchecked);
            if (i == 0) {
                QFont font = row->font();
                font.setBold(true);
                row->setFont(font);
            }
            plain.addItem(row);
        }
        QCoreApplication::processEvents();
    });
    report("setNetworks 64: text to rebuilt window", fromText, "QListWidget filled with the names", peer);
    report("setNetworks 64: model to rebuilt window", fromModel, "QListWidget filled with the names", peer);
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir root;
    QTemporaryDir runtime;
    // No service: the window is fed here, as the link would feed it.
    BenchDesktop::prepareLaterStart(root.path(), runtime.path());

    QApplication app(argc, argv);
    Agent agent;
    agent.mainWidget()->show();
    QCoreApplication::processEvents();
    Velmor::JsonRPC engine;
    engine.setRequestHandler(agent.requestHandler());
    profiles(&agent, &engine);
    networks(&agent, &engine);
    return 0;
}
