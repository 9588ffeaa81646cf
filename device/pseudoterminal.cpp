#include "device/pseudoterminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <QFile>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal() : m_master(-1) {}

PseudoTerminal::~PseudoTerminal()
{
    close();
}

void PseudoTerminal::setErrorFromSystem()
{
    m_errorText = QString::fromLocal8Bit(std::strerror(errno));
}

bool PseudoTerminal::open()
{
    close();
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0) {
        setErrorFromSystem();
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    char path[128];
    if (::ptsname_r(fd, path, sizeof path) != 0) {
        setErrorFromSystem();
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_master = fd;
    m_terminalPath = QString::fromLocal8Bit(path);
    return true;
}

void PseudoTerminal::close()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

bool PseudoTerminal::makeRaw()
{
    termios settings;
    // On the controlling side these calls act on the terminal side's settings, which decide
    // how the bytes we write reach the receiver.
    if (m_master < 0 || ::tcgetattr(m_master, &settings) != 0) {
        setErrorFromSystem();
        return false;
    }
    ::cfmakeraw(&settings);
    if (::tcsetattr(m_master, TCSANOW, &settings) != 0) {
        setErrorFromSystem();
        return false;
    }
    return true;
}

bool PseudoTerminal::peerIsOpen() const
{
    if (m_master < 0)
        return false;
    pollfd p{m_master, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0)
        return false;
    return !(p.revents & POLLHUP);
}

int PseudoTerminal::wait(bool forWriting, int timeoutMs)
{
    if (m_master < 0)
        return -1;
    pollfd p{m_master, short(POLLIN | (forWriting ? POLLOUT : 0)), 0};
    const int n = ::poll(&p, 1, timeoutMs);
    if (n < 0) {
        if (errno == EINTR)
            return Interrupted;
        setErrorFromSystem();
        return -1;
    }
    int found = 0;
    if (p.revents & POLLIN)
        found |= Readable;
    if (p.revents & POLLOUT)
        found |= Writable;
    if (p.revents & (POLLHUP | POLLERR))
        found |= HungUp;
    return found;
}

qint64 PseudoTerminal::read(char* data, qint64 maxlen)
{
    if (m_master < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::read(m_master, data, size_t(maxlen));
        if (n > 0)
            return n;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0;
        // A controlling side whose terminal side no one holds reads as EIO (or end of file).
        if (n == 0 || errno == EIO)
            return HangUp;
        setErrorFromSystem();
        return -1;
    }
}

qint64 PseudoTerminal::write(const char* data, qint64 len)
{
    if (m_master < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::write(m_master, data, size_t(len));
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        setErrorFromSystem();
        return -1;
    }
}

int PseudoTerminal::terminalInputQueued() const
{
    if (m_master < 0)
        return -1;
    const int fd = ::open(QFile::encodeName(m_terminalPath).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    int queued = 0;
    const bool ok = ::ioctl(fd, FIONREAD, &queued) == 0;
    ::close(fd);
    return ok ? queued : -1;
}
