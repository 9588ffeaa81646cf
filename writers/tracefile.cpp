#include "writers/tracefile.h"

#include "capture/chainhandler.h"

#include <QObject>

TraceFile::TraceFile(ChainHandler* owner, const QString& fileName, const QByteArray& fileHeader)
    : m_owner(owner), m_fileName(fileName), m_fileHeader(fileHeader), m_failed(false), m_size(0)
{}

TraceFile::~TraceFile()
{
    if (m_file)
        m_file->close();
}

bool TraceFile::openOnce()
{
    if (m_file || m_failed)
        return usable();
    auto file = std::make_unique<QFile>(m_fileName);
    // Unbuffered: a write returns only once the system has the bytes, so a full disk shows at
    // the record that hit it.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        fail(QObject::tr("Cannot open file ") + m_fileName + QLatin1Char(':') +
             file->errorString());
        return false;
    }
    m_file = std::move(file);
    return m_fileHeader.isEmpty() || write(m_fileHeader);
}

bool TraceFile::write(const QByteArray& bytes)
{
    if (!usable())
        return false;
    if (!writeAll(*m_file, bytes.constData(), bytes.size())) {
        const QString reason = m_file->errorString();
        // Readers stumble over a record cut short; the file ends after the last whole one.
        m_file->resize(m_size);
        fail(QObject::tr("Cannot write file ") + m_fileName + QLatin1Char(':') + reason);
        return false;
    }
    m_size += bytes.size();
    return true;
}

bool TraceFile::overwriteStart(const QByteArray& bytes)
{
    // Also after a failed write: the file was cut back to its last whole record, and a completed
    // header keeps that much readable.
    if (!m_file || bytes.size() > m_size)
        return false;
    if (!m_file->seek(0) || !writeAll(*m_file, bytes.constData(), bytes.size())) {
        if (!m_failed)
            fail(QObject::tr("Cannot write file ") + m_fileName + QLatin1Char(':') +
                 m_file->errorString());
        return false;
    }
    return m_file->seek(m_size);
}

bool writeAll(QFileDevice& file, const char* data, qint64 len)
{
    qint64 done = 0;
    while (done < len) {
        const qint64 written = file.write(data + done, len - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

void TraceFile::fail(const QString& what)
{
    m_failed = true;
    m_owner->postError(what);
}
