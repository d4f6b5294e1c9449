// Times the wire codec against QJsonDocument on the largest message of the system: a "setDomains"
// notification that carries a 10,000-entry alias list. Both sides convert to and from the same QVariant tree.
#include "velmorwire/json.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QVariantList>
#include <QVariantMap>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Entries = 10000;
constexpr int Rounds = 41;

QVariant setDomainsNotification()
{
    QVariantList domains;
    domains.reserve(Entries);
    for (int i = 1; i <= Entries; ++i) {
        domains.append(QVariantMap { { "domain", QString("example-%1.com").arg(i) }, { "id", uint(100000 + i) },
            { "ip", QString("10.%1.%2.%3").arg(i >> 16).arg((i >> 8) & 255).arg(i & 255) } });
    }
    return QVariantMap { { "jsonrpc", "2.0" }, { "method", "setDomains" },
        { "params", QVariantList { 17u, 2, domains } } };
}

// The median of many rounds, in microseconds; the sink keeps the optimiser from dropping the work.
double medianMicroseconds(const std::function<qsizetype()> &work)
{
    std::vector<double> times;
    qsizetype sink = 0;
    for (int i = 0; i < Rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        sink += work();
        times.push_back(timer.nsecsElapsed() / 1000.0);
    }
    std::nth_element(times.begin(), times.begin() + Rounds / 2, times.end());
    if (sink < 0)
        std::puts("");
    return times[Rounds / 2];
}

void report(const char *what, double ours, double peer)
{
    std::printf("%-42s %9.0f us   QJsonDocument %9.0f us   ratio %.2f (time ours / QJsonDocument; below 1 is faster)\n",
        what, ours, peer, ours / peer);
}

qsizetype entryCount(const QVariant &notification)
{
    return notification.toMap().value("params").toList().value(2).toList().size();
}

} // namespace

int main()
{
    const QVariant notification = setDomainsNotification();
    const QString text = Velmor::Json::stringify(notification);
    const QByteArray utf8 = text.toUtf8();
    const QByteArray peerText = QJsonDocument::fromVariant(notification).toJson(QJsonDocument::Compact);
    if (entryCount(Velmor::Json::parse(text)) != Entries
        || entryCount(QJsonDocument::fromJson(utf8).toVariant()) != Entries) {
        std::fprintf(stderr, "the texts do not read back as %d entries\n", Entries);
        return 1;
    }
    std::printf("\"setDomains\" with %d entries: %lld bytes of JSON, median of %d rounds\n", Entries,
        static_cast<long long>(utf8.size()), Rounds);

    const double stringify = medianMicroseconds([&] { return Velmor::Json::stringify(notification).size(); });
    const double stringifyUtf8
        = medianMicroseconds([&] { return Velmor::Json::stringify(notification).toUtf8().size(); });
    const double peerStringify = medianMicroseconds(
        [&] { return QJsonDocument::fromVariant(notification).toJson(QJsonDocument::Compact).size(); });

    const double parse = medianMicroseconds([&] { return entryCount(Velmor::Json::parse(text)); });
    const double parseUtf8
        = medianMicroseconds([&] { return entryCount(Velmor::Json::parse(QString::fromUtf8(utf8))); });
    const double peerParse
        = medianMicroseconds([&] { return entryCount(QJsonDocument::fromJson(peerText).toVariant()); });

    report("stringify: QVariant -> QString", stringify, peerStringify);
    report("stringify: QVariant -> UTF-8 (as sent)", stringifyUtf8, peerStringify);
    report("parse: QString -> QVariant", parse, peerParse);
    report("parse: UTF-8 -> QVariant (as received)", parseUtf8, peerParse);
    return 0;
}
