#include "device/iobase.h"

#include "device/event.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <QFile>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds from now until deadline for poll(), rounded up so that a wake-up never comes
// before the deadline; 0 once it has passed.
int msUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() <= 0 ? 0 : int(std::min<long long>(left.count(), INT_MAX));
}

// 8 data bits, no translation or interpretation of any byte, reads that wait for one byte; the
// speed, parity, stop bits and flow control stay as the user set them.
void makeRaw(termios& t)
{
    t.c_cflag &= ~tcflag_t(CSIZE);
    t.c_cflag |= CS8 | CREAD;
    t.c_iflag &=
        ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // With VMIN 0 a non-blocking read of an idle line returns 0, which reads as a hang-up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

} // namespace

IOBase::IOBase(const QByteArray& name) : m_handle(-1), m_name(name), m_lastError(0) {}

IOBase::~IOBase() = default;

int IOBase::fail(int result, int error)
{
    m_lastError = error;
    return result;
}

bool IOBase::open(const QString& name)
{
    Q_ASSERT(!isOpen());
    if (isOpen())
        close();

    const QByteArray path = QFile::encodeName(name);
    // Only a terminal is a port: a file or another device given by mistake would be written to.
    struct stat info
    {
    };
    if (::stat(path.constData(), &info) == 0 && !S_ISCHR(info.st_mode)) {
        fail(0, ENOTTY);
        return false;
    }
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fail(0, errno);
        return false;
    }
    if (!::isatty(fd)) {
        ::close(fd);
        fail(0, ENOTTY);
        return false;
    }
    // TIOCEXCL does not stop root; the lock keeps out every other opener that locks, root too.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        fail(0, error);
        return false;
    }
    ::ioctl(fd, TIOCEXCL);

    // A port that refuses the settings is used with whatever it has.
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        makeRaw(t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    // Bytes left from an earlier session must not be taken for the start of a new stream.
    ::tcflush(fd, TCIFLUSH);

    m_handle = fd;
    return true;
}

int IOBase::close()
{
    if (!isOpen())
        return 0;
    ::ioctl(m_handle, TIOCNXCL);
    ::close(m_handle);
    m_handle = -1;
    return 1;
}

int IOBase::write(const char* data, qint64 length, const Event& cancel)
{
    if (!isOpen())
        return fail(NotOpen, EBADF);

    qint64 done = 0;
    bool hungUp = false;
    while (done < length) {
        const ssize_t n = ::write(m_handle, data + done, size_t(length - done));
        if (n > 0) {
            done += n;
            hungUp = false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return fail(Failed, n == 0 ? EIO : errno);
        // The line reported a hang-up, yet the write still cannot go on: it never will.
        if (hungUp)
            return fail(Failed, EIO);

        pollfd fds[2] = {{m_handle, POLLOUT, 0}, {cancel.handle(), POLLIN, 0}};
        const int rc = ::poll(fds, 2, -1);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return fail(WaitFailed, errno);
        }
        if (fds[1].revents & POLLIN)
            return CancelledByEvent;
        if (fds[0].revents & POLLNVAL)
            return fail(Failed, EBADF);
        hungUp = (fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLOUT);
    }
    return Completed;
}

int IOBase::read(char* data, qint64 length, qint64& count, const Event& cancel)
{
    count = 0;
    if (!isOpen())
        return fail(NotOpen, EBADF);

    const auto start = Clock::now();
    const bool anyTimeout = m_timeouts.interval || m_timeouts.multiplier || m_timeouts.constant;
    const bool totalLimit = m_timeouts.multiplier || m_timeouts.constant;
    Clock::time_point totalDeadline = Clock::time_point::max();
    if (totalLimit) {
        // Capped at what poll() can wait in one go; a longer limit is no limit in practice.
        qint64 ms = m_timeouts.constant;
        if (m_timeouts.multiplier)
            ms += length > INT_MAX / qint64(m_timeouts.multiplier)
                      ? INT_MAX
                      : qint64(m_timeouts.multiplier) * length;
        ms = std::min<qint64>(ms, INT_MAX);
        totalDeadline = start + std::chrono::milliseconds(ms);
    }
    Clock::time_point lastByte = start;
    bool hungUp = false;

    for (;;) {
        if (count >= length)
            return Completed;

        const ssize_t n = ::read(m_handle, data + count, size_t(length - count));
        if (n > 0) {
            count += n;
            lastByte = Clock::now();
            hungUp = false;
            continue;
        }
        int error = 0;
        if (n == 0) {
            error = EIO; // a terminal whose other end has gone
        } else if (errno == EINTR) {
            continue;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            error = errno;
        } else if (hungUp) {
            error = EIO; // hang-up reported, yet nothing more to read
        }
        if (error) {
            // What already arrived is delivered; the next read reports the failure.
            if (count > 0)
                return Completed;
            return fail(Failed, error);
        }

        if (count > 0 && !anyTimeout)
            return Completed;
        Clock::time_point deadline = totalDeadline;
        if (count > 0 && m_timeouts.interval)
            deadline =
                std::min(deadline, lastByte + std::chrono::milliseconds(m_timeouts.interval));
        int waitMs = -1;
        if (deadline != Clock::time_point::max()) {
            waitMs = msUntil(deadline);
            if (waitMs == 0)
                return Completed;
        }

        pollfd fds[2] = {{m_handle, POLLIN, 0}, {cancel.handle(), POLLIN, 0}};
        const int rc = ::poll(fds, 2, waitMs);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return fail(WaitFailed, errno);
        }
        if (rc == 0)
            return Completed;
        if (fds[1].revents & POLLIN)
            return count > 0 ? Completed : CancelledByEvent;
        if (fds[0].revents & POLLNVAL)
            return count > 0 ? Completed : fail(Failed, EBADF);
        hungUp = (fds[0].revents & (POLLHUP | POLLERR)) && !(fds[0].revents & POLLIN);
    }
}

int IOBase::flush(const Event& cancel)
{
    if (!isOpen())
        return 0;
    // Polls the output queue rather than waiting in tcdrain(), which a line stopped by its
    // flow control would hold for ever.
    for (;;) {
        int queued = 0;
        if (::ioctl(m_handle, TIOCOUTQ, &queued) != 0 || queued == 0)
            return 1;
        pollfd p{cancel.handle(), POLLIN, 0};
        const int rc = ::poll(&p, 1, 5);
        if (rc > 0 && (p.revents & POLLIN))
            return 0;
        if (rc < 0 && errno != EINTR)
            return fail(0, errno);
    }
}
