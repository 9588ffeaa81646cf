#include "device/console.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

bool isTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

void ignoreBrokenPipes()
{
    std::signal(SIGPIPE, SIG_IGN);
}

PipeWatch::~PipeWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PipeWatch::open(const QString& path, QString* error)
{
    const QByteArray name = path.toLocal8Bit();
    do
        m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        *error = path + QLatin1String(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return m_fd >= 0;
}

bool PipeWatch::readerGone() const
{
    if (m_fd < 0)
        return false;
    pollfd watched{m_fd, 0, 0};
    // A write end without a reader reports POLLERR; a regular file never does.
    return ::poll(&watched, 1, 0) == 1 && (watched.revents & (POLLERR | POLLHUP)) != 0;
}
