#ifndef FILESIZELIMIT_H
#define FILESIZELIMIT_H

#include <csignal>
#include <QtGlobal>
#include <sys/resource.h>

// A disk that fills at a chosen size: while it lives, no file of this process grows beyond
// bytes, and writes past the limit fail with EFBIG instead of raising SIGXFSZ. It applies to the
// test log as well, so nothing may be logged while it lives. A negative size sets no limit.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes) : m_active(bytes >= 0)
    {
        if (!m_active)
            return;
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = rlim_t(bytes);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        if (!m_active)
            return;
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    bool m_active;
    rlimit m_saved{};
    void (*m_oldHandler)(int) = SIG_DFL;
};

#endif
