// Times the account cache's put and get of the largest document it keeps, a 10,000-entry alias list, against
// the plain way to keep it: the wire writer and an atomic file write, and a file read and the wire reader. The
// difference is what encryption, authentication and the item's own file handling cost.
#include "cabinet/jsoncache.h"

#include "platform/root.h"
#include "velmorwire/json.h"

#include <QFile>
#include <QTemporaryDir>
#include <QVariantList>
#include <QVariantMap>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr int Entries = 10000;

QVariant aliasList()
{
    QVariantList domains;
    domains.reserve(Entries);
    for (int i = 1; i <= Entries; ++i) {
        domains.append(QVariantMap { { "domain", QString("example-%1.com").arg(i) }, { "id", uint(100000 + i) },
            { "ip", QString("10.%1.%2.%3").arg(i >> 16).arg((i >> 8) & 255).arg(i & 255) } });
    }
    return domains;
}

struct Fixture
{
    QVariant document;
    QString plainPath;
    Velmor::JsonCache *cache = nullptr;
};
Fixture fixture;

void cachePut(benchmark::State &state)
{
    for (auto _ : state)
        fixture.cache->put("domains-101-alias", fixture.document);
}

void plainPut(benchmark::State &state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(Velmor::Platform::writeFileAtomically(
            fixture.plainPath, Velmor::Json::stringify(fixture.document).toUtf8(), Velmor::Platform::PrivateFileMode));
    }
}

void cacheGet(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture.cache->get("domains-101-alias"));
}

void plainGet(benchmark::State &state)
{
    for (auto _ : state) {
        QFile file(fixture.plainPath);
        file.open(QIODevice::ReadOnly);
        benchmark::DoNotOptimize(Velmor::Json::parse(QString::fromUtf8(file.readAll())));
    }
}

// The console output, and each run's time kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir root;
    qputenv("VELMOR_ROOT", QFile::encodeName(root.path()));
    fixture.document = aliasList();
    fixture.plainPath = root.filePath(QStringLiteral("plain.json"));
    Velmor::JsonCache cache(QStringLiteral("cabinet"));
    cache.setKey(QStringLiteral("ann"), QStringLiteral("pw"));
    fixture.cache = &cache;
    cache.put("domains-101-alias", fixture.document);
    Velmor::Platform::writeFileAtomically(
        fixture.plainPath, Velmor::Json::stringify(fixture.document).toUtf8(), Velmor::Platform::PrivateFileMode);
    if (cache.get("domains-101-alias").toList().size() != Entries) {
        std::fprintf(stderr, "the cache does not read back %d entries\n", Entries);
        return 1;
    }

    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("put/cache", cachePut)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("put/stringify+atomic write", plainPut)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("get/cache", cacheGet)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("get/read+parse", plainGet)->Unit(benchmark::kMicrosecond);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("a %d-entry alias list (%lld bytes of JSON), time ours / peer (aim: at most 1.5):\n", Entries,
        static_cast<long long>(Velmor::Json::stringify(fixture.document).toUtf8().size()));
    std::printf("  put  %.2f (against stringify + atomic file write)\n",
        reporter.times["put/cache"] / reporter.times["put/stringify+atomic write"]);
    std::printf(
        "  get  %.2f (against file read + parse)\n", reporter.times["get/cache"] / reporter.times["get/read+parse"]);
    return 0;
}
