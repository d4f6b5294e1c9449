// The filter settings editor's costs, each beside a peer measured in the same run:
//  1. a 10,000-entry "setDomains" black list, from the model's setter to the refilled list painted once, beside
//     QListWidget::addItems of the same texts painted once (aim: within 1.5 times);
//  2. one rebuild of a 250-category grid, from the model's setter to the grid painted once, beside the same grid
//     of plain check boxes.
#include "app/agent.h"
#include "filter/easylistedit.h"
#include "filter/filterdlg.h"
#include "model/cabinet.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const quint32 profileId = 17;

double medianMicroseconds(int rounds, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1000.0);
        QCoreApplication::processEvents();
    }
    std::nth_element(times.begin(), times.begin() + qsizetype(times.size() / 2), times.end());
    return times[times.size() / 2];
}

void report(const char *what, double ours, const char *peer, double theirs)
{
    std::printf("%-52s %10.0f us   %-40s %10.0f us   ratio %.2f\n", what, ours, peer, theirs, ours / theirs);
}

// The account: one scheduled profile in use, lists without limits.
void prepareModel(Cabinet *cabinet)
{
    Velmor::CabinetUserInfo info;
    info.planCode = QStringLiteral("FAMILY");
    info.planName = QStringLiteral("Family");
    info.features.insert(QStringLiteral("black_list_size"), -1);
    cabinet->setUserInfo(info);
    Velmor::CabinetProfiles profiles;
    profiles.insert(1, QSharedPointer<Velmor::CabinetProfile>::create(1, 101, QStringLiteral("Home"), true));
    profiles.insert(profileId, QSharedPointer<Velmor::CabinetProfile>::create(profileId, 117, QStringLiteral("Kids")));
    cabinet->setProfiles(profiles, profileId);
}

void blackList(FilterDlg *dialog, Cabinet *cabinet)
{
    Velmor::CabinetDomains domains;
    QStringList texts;
    for (int i = 1; i <= 10000; ++i) {
        Velmor::CabinetDomain entry;
        entry.id = quint32(100000 + i);
        entry.domain = QStringLiteral("blocked-%1.example").arg(i);
        domains.append(entry);
        texts.append(entry.domain);
    }
    auto *editor = qobject_cast<EasyListEdit *>(
        dialog->findChild<QWidget *>(QStringLiteral("domainsWidget"))->layout()->itemAt(1)->widget());
    auto *list = editor->findChild<QListWidget *>(QStringLiteral("lstDomains"));

    const double ours = medianMicroseconds(11, [&] {
        cabinet->setDomains(profileId, Velmor::CabinetDomain::Black, domains);
        list->doItemsLayout();
        (void)list->grab();
    });
    if (list->count() != 10000)
        std::printf("the black list holds %d rows\n", list->count());

    QListWidget plain;
    plain.setFont(list->font());
    plain.resize(list->size());
    plain.show();
    const double peer = medianMicroseconds(11, [&] {
        plain.clear();
        plain.addItems(texts);
        plain.doItemsLayout();
        (void)plain.grab();
    });
    report("setDomains 10,000 black entries: refill and paint", ours, "QListWidget::addItems and paint", peer);
}

Velmor::CabinetCategories categories()
{
    Velmor::CabinetCategories groups;
    quint32 id = 1;
    for (int g = 0; g < 25; ++g) {
        Velmor::CabinetCategoryGroup group;
        group.title = QStringLiteral("Group %1").arg(g + 1);
        for (int c = 0; c < 10; ++c, ++id) {
            Velmor::CabinetCategory category;
            category.id = id;
            category.title = QStringLiteral("Category %1").arg(id);
            category.description = c % 3 ? QStringLiteral("About category %1").arg(id) : QString();
            group.append(category);
        }
        groups.append(group);
    }
    return groups;
}

void categoryGrid(FilterDlg *dialog, Cabinet *cabinet)
{
    const Velmor::CabinetCategories groups = categories();
    Velmor::CabinetUserFilter filter;
    for (quint8 id = 1; id < 250; id += 7)
        filter.insert(id);
    cabinet->setUserFilter(profileId, filter);
    auto *area = dialog->findChild<QScrollArea *>(QStringLiteral("saCats"));

    const double ours = medianMicroseconds(5, [&] {
        cabinet->setCategories(groups);
        area->widget()->layout()->activate();
        (void)area->widget()->grab();
    });

    QScrollArea plain;
    plain.setWidgetResizable(true);
    plain.resize(area->size());
    plain.show();
    const double peer = medianMicroseconds(5, [&] {
        auto *grid = new QWidget;
        auto *layout = new QGridLayout(grid);
        int row = 0;
        for (const Velmor::CabinetCategoryGroup &group : groups) {
            layout->addWidget(new QLabel(group.title), row++, 0, 1, 2);
            for (qsizetype k = 0; k < group.size(); ++k) {
                auto *box = new QCheckBox(group.at(k).title);
                box->setChecked(filter.contains(quint8(group.at(k).id)));
                layout->addWidget(box, row, int(k % 2));
                if (k % 2 == 1)
                    ++row;
            }
        }
        plain.setWidget(grid);
        layout->activate();
        (void)grid->grab();
    });
    report("250-category grid: rebuild and paint", ours, "the same grid of plain QCheckBox", peer);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir root;
    QTemporaryDir runtime;
    qputenv("VELMOR_ROOT", QFile::encodeName(root.path()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    // No service: the model is fed through its setters, as the service's notifications would.
    qputenv("VELMOR_IPC_PORT", "1");
    QDir().mkpath(root.path() + QLatin1String("/settings/Velmor"));
    QFile settings(root.path() + QLatin1String("/settings/Velmor/Agent.ini"));
    if (settings.open(QIODevice::WriteOnly))
        settings.write("[General]\nfirststart=false\n");
    settings.close();

    QApplication app(argc, argv);
    Agent agent;
    prepareModel(agent.cabinet());
    auto *dialog = new FilterDlg(agent.cabinet(), nullptr);
    dialog->show();
    QCoreApplication::processEvents();

    blackList(dialog, agent.cabinet());
    categoryGrid(dialog, agent.cabinet());
    delete dialog;
    return 0;
}
