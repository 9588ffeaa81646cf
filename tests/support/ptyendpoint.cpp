#include "ptyendpoint.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <QFile>
#include <sys/ioctl.h>
#include <unistd.h>

PtyEndpoint::~PtyEndpoint()
{
    if (m_terminal >= 0)
        ::close(m_terminal);
}

bool PtyEndpoint::open()
{
    if (!m_pty.open())
        return false;
    m_terminal = ::open(QFile::encodeName(m_pty.terminalPath()).constData(),
                        O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return m_terminal >= 0;
}

void PtyEndpoint::hangUp()
{
    m_pty.close();
}

bool PtyEndpoint::write(const QByteArray& bytes, int timeoutMs)
{
    const int fd = m_pty.masterHandle();
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno != EAGAIN)
            return false;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
    }
    return true;
}

QByteArray PtyEndpoint::read(qint64 count, int timeoutMs)
{
    const int fd = m_pty.masterHandle();
    QByteArray result;
    char buffer[4096];
    while (result.size() < count) {
        const ssize_t n =
            ::read(fd, buffer, size_t(qMin<qint64>(sizeof buffer, count - result.size())));
        if (n > 0) {
            result.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno != EAGAIN)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            break;
    }
    return result;
}

bool PtyEndpoint::terminalSettings(termios& settings) const
{
    return ::tcgetattr(m_terminal, &settings) == 0;
}

bool PtyEndpoint::setTerminalSettings(const termios& settings)
{
    return ::tcsetattr(m_terminal, TCSANOW, &settings) == 0;
}

int PtyEndpoint::terminalInputQueued() const
{
    int queued = 0;
    return ::ioctl(m_terminal, FIONREAD, &queued) == 0 ? queued : -1;
}
