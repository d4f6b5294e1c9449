#include "terminationsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace Velmor {
namespace Platform {

namespace {

int pipeFds[2] = { -1, -1 };

// Runs in signal context: only the async-signal-safe write() of the signal number.
void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
    Q_ASSERT(pipeFds[0] < 0);
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("cannot watch termination signals: %s", strerror(errno));
        return;
    }
    m_notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::notifier_activated);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    delete m_notifier;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void TerminationSignals::notifier_activated()
{
    unsigned char byte = 0;
    while (::read(pipeFds[0], &byte, 1) == 1)
        Q_EMIT received(byte);
}

} // namespace Platform
} // namespace Velmor
