#include "device/stopsignals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <QSocketNotifier>
#include <unistd.h>

namespace {

constexpr int Handled[] = {SIGINT, SIGTERM, SIGHUP};
int writeEnd = -1;

void onSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    // A full pipe loses only a repeat of a request already on its way.
    (void)!::write(writeEnd, &number, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent)
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    writeEnd = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::readPipe);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : Handled)
        ::sigaction(signalNumber, &action, nullptr);
}

StopSignals::~StopSignals()
{
    for (const int signalNumber : Handled)
        std::signal(signalNumber, SIG_DFL);
    writeEnd = -1;
    for (const int fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

void StopSignals::readPipe()
{
    unsigned char number = 0;
    while (::read(m_pipe[0], &number, 1) == 1)
        emit received(number);
}
