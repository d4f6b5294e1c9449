#ifndef VELMOR_BENCH_BENCHDESKTOP_H
#define VELMOR_BENCH_BENCHDESKTOP_H

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

// Shared by the desktop program's benchmarks.
namespace BenchDesktop {

inline double median(std::vector<double> times)
{
    std::nth_element(times.begin(), times.begin() + qsizetype(times.size() / 2), times.end());
    return times[times.size() / 2];
}

inline double medianMicroseconds(int rounds, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1000.0);
    }
    return median(times);
}

inline void report(const char *what, double ours, const char *peer, double theirs)
{
    std::printf("%-44s %10.0f us   %-34s %10.0f us   ratio %.2f\n", what, ours, peer, theirs, ours / theirs);
}

// A machine root on which the program has run before, and a runtime folder of its own, for a desktop without a
// service (the link's port is one nothing listens on). Call before the application object exists.
inline void prepareLaterStart(const QString &root, const QString &runtime)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VELMOR_ROOT", QFile::encodeName(root));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    qputenv("VELMOR_IPC_PORT", "1");
    QDir().mkpath(root + QLatin1String("/settings/Velmor"));
    QFile settings(root + QLatin1String("/settings/Velmor/Agent.ini"));
    if (settings.open(QIODevice::WriteOnly))
        settings.write("[General]\nfirststart=false\n");
}

} // namespace BenchDesktop

#endif // VELMOR_BENCH_BENCHDESKTOP_H
