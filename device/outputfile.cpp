#include "device/outputfile.h"

#include "device/event.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int StandardOutput = 1;
// Room a pipe guarantees for one write once poll() says it is writable.
constexpr qint64 AtomicChunk = PIPE_BUF;
constexpr int FifoRetryMs = 50;

bool isStandardOutput(const QString& name)
{
    return name == QLatin1String("-");
}

bool statOf(const QString& name, struct stat* info)
{
    if (isStandardOutput(name))
        return ::fstat(StandardOutput, info) == 0;
    return ::stat(QFile::encodeName(name).constData(), info) == 0;
}

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

OutputFile::OutputFile(const QString& name) : m_name(name) {}

OutputFile::~OutputFile()
{
    close();
}

bool OutputFile::failWith(int error)
{
    m_errorCode = error;
    m_error = QString::fromLocal8Bit(std::strerror(error));
    return false;
}

bool OutputFile::open()
{
    close();
    if (isStandardOutput(m_name)) {
        m_fd = StandardOutput;
        m_ownsFd = false;
    } else {
        const QByteArray path = QFile::encodeName(m_name);
        struct stat info = {};
        if (::stat(path.constData(), &info) == 0 && S_ISFIFO(info.st_mode)) {
            // Opened without waiting, so that a cancel ends the wait for a reader.
            for (;;) {
                m_fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (m_fd >= 0 || errno != ENXIO)
                    break;
                if (m_cancel && m_cancel->isSignalled())
                    return failWith(ECANCELED);
                pollfd p{m_cancel ? m_cancel->handle() : -1, POLLIN, 0};
                ::poll(&p, 1, FifoRetryMs);
            }
            if (m_fd >= 0)
                ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
        } else {
            m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        }
        if (m_fd < 0)
            return failWith(errno);
        m_ownsFd = true;
    }
    struct stat info = {};
    // Standard output is used as it is: never cut, never written at a position, even a file.
    m_regular = m_ownsFd && ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode);
    m_cancelNoticedMs = -1;
    return true;
}

bool OutputFile::resize(qint64 size)
{
    if (!isOpen())
        return failWith(EBADF);
    if (!m_regular)
        return true;
    // A file already that size is left alone: ext4 writes a file cut to nothing out in full when
    // it is closed, so a new trace would make its run wait for the disk at the end.
    struct stat info = {};
    if (::fstat(m_fd, &info) == 0 && info.st_size == off_t(size))
        return true;
    return ::ftruncate(m_fd, off_t(size)) == 0 || failWith(errno);
}

// Waits until a pipe, FIFO or terminal takes more. True when it does; false on a failure or
// once the run has been cancelled and the reader stayed stuck for the grace time.
bool OutputFile::waitWritable()
{
    for (;;) {
        const bool cancelled = m_cancel && m_cancel->isSignalled();
        if (cancelled && m_cancelNoticedMs < 0)
            m_cancelNoticedMs = nowMs();
        pollfd fds[2] = {{m_fd, POLLOUT, 0},
                         {cancelled || !m_cancel ? -1 : m_cancel->handle(), POLLIN, 0}};
        int timeout = -1;
        if (cancelled) {
            timeout = int(m_cancelNoticedMs + CancelGraceMs - nowMs());
            if (timeout <= 0)
                return failWith(ECANCELED);
        }
        const int rc = ::poll(fds, 2, timeout);
        if (rc < 0 && errno != EINTR)
            return failWith(errno);
        if (rc > 0 && fds[0].revents)
            return true; // writable, or the write itself will say what went wrong
    }
}

qint64 OutputFile::write(const char* data, qint64 len)
{
    if (!isOpen()) {
        failWith(EBADF);
        return 0;
    }
    qint64 done = 0;
    while (done < len) {
        qint64 chunk = len - done;
        if (!m_regular) {
            if (!waitWritable())
                break;
            chunk = std::min(chunk, AtomicChunk);
        }
        const ssize_t n = ::write(m_fd, data + done, size_t(chunk));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        failWith(n == 0 ? ENOSPC : errno);
        break;
    }
    return done;
}

bool OutputFile::writeAt(qint64 offset, const char* data, qint64 len)
{
    if (!isOpen())
        return failWith(EBADF);
    qint64 done = 0;
    while (done < len) {
        const ssize_t n = ::pwrite(m_fd, data + done, size_t(len - done), off_t(offset + done));
        if (n > 0)
            done += n;
        else if (n == 0 || errno != EINTR)
            return failWith(n == 0 ? ENOSPC : errno);
    }
    return true;
}

bool OutputFile::remove()
{
    if (!isOpen() || !m_regular || !m_ownsFd)
        return false;
    close();
    return ::unlink(QFile::encodeName(m_name).constData()) == 0 || failWith(errno);
}

void OutputFile::close()
{
    if (m_fd >= 0 && m_ownsFd)
        ::close(m_fd);
    m_fd = -1;
    m_ownsFd = false;
}

// Where a file of that name would be created: its directory resolved, so that two spellings
// of a path that does not exist yet still compare equal.
QString placeOf(const QString& name)
{
    const QFileInfo info(name);
    const QString directory = QFileInfo(info.absolutePath()).canonicalFilePath();
    return directory.isEmpty() ? QString() : directory + QLatin1Char('/') + info.fileName();
}

bool isSameFile(const QString& first, const QString& second)
{
    if (first.isEmpty() || second.isEmpty())
        return false;
    struct stat a = {};
    struct stat b = {};
    const bool firstExists = statOf(first, &a);
    const bool secondExists = statOf(second, &b);
    if (firstExists && secondExists)
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    // Two names of one file still to be created: the second writer would overwrite the first.
    if (!firstExists && !secondExists && !isStandardOutput(first) && !isStandardOutput(second))
        return !placeOf(first).isEmpty() && placeOf(first) == placeOf(second);
    return false;
}
