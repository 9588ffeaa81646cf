#include "writers/tracefile.h"

#include "capture/chainhandler.h"
#include "writers/writertotals.h"

#include <algorithm>
#include <cstring>
#include <QObject>

namespace {

// Writes as much of data as the system takes and returns how much that was.
qint64 writeWhatFits(QFileDevice& file, const char* data, qint64 len)
{
    qint64 done = 0;
    while (done < len) {
        const qint64 written = file.write(data + done, len - done);
        if (written <= 0)
            break;
        done += written;
    }
    return done;
}

} // namespace

TraceFile::TraceFile(ChainHandler* owner, WriterTotals* totals, const QString& fileName,
                     const QByteArray& fileHeader)
    : m_owner(owner), m_totals(totals), m_fileName(fileName), m_fileHeader(fileHeader),
      m_failed(false), m_size(0), m_records(0), m_buffered(false), m_pendingSize(0),
      m_openRecord(-1)
{}

TraceFile::~TraceFile()
{
    // The owner has flushed: what is still collected here has nobody left to count it.
    if (m_file)
        m_file->close();
}

void TraceFile::setBuffered(bool on)
{
    m_buffered = on;
    if (on && m_pending.size() < BufferSize + 4096)
        m_pending.resize(BufferSize + 4096);
}

bool TraceFile::openOnce()
{
    if (m_file || m_failed)
        return usable();
    auto file = std::make_unique<QFile>(m_fileName);
    // Unbuffered in QFile: a write returns only once the system has the bytes, so a full disk
    // shows at the write that hit it.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        fail(QObject::tr("Cannot open file ") + m_fileName + QLatin1Char(':') +
             file->errorString());
        return false;
    }
    m_file = std::move(file);
    if (m_fileHeader.isEmpty())
        return true;
    if (writeWhatFits(*m_file, m_fileHeader.constData(), m_fileHeader.size()) !=
        m_fileHeader.size()) {
        const QString reason = m_file->errorString();
        m_file->resize(0);
        fail(QObject::tr("Cannot write file ") + m_fileName + QLatin1Char(':') + reason);
        return false;
    }
    m_size = m_fileHeader.size();
    return true;
}

char* TraceFile::beginRecord(qsizetype size)
{
    if (!usable())
        return nullptr;
    const qsizetype at = m_pendingSize;
    if (m_pending.size() < at + size)
        m_pending.resize(std::max(at + size, 2 * m_pending.size()));
    m_pendingSize = at + size;
    m_openRecord = size;
    return m_pending.data() + at;
}

void TraceFile::endRecord()
{
    if (m_openRecord < 0)
        return;
    m_openRecord = -1;
    m_recordEnds.push_back(m_pendingSize);
    ++m_records;
    if (!m_buffered || m_pendingSize >= BufferSize)
        flush();
}

bool TraceFile::write(const QByteArray& record)
{
    char* at = beginRecord(record.size());
    if (!at)
        return false;
    std::memcpy(at, record.constData(), size_t(record.size()));
    endRecord();
    return usable();
}

bool TraceFile::flush()
{
    if (m_pendingSize == 0)
        return usable();
    const qint64 total = m_pendingSize;
    const qint64 done = usable() ? writeWhatFits(*m_file, m_pending.constData(), total) : 0;
    // The records that reached the file whole.
    const auto whole = std::upper_bound(m_recordEnds.begin(), m_recordEnds.end(), done);
    const quint32 records = quint32(whole - m_recordEnds.begin());
    const qsizetype kept = records ? m_recordEnds[records - 1] : 0;
    const bool complete = done == total;
    if (!complete && usable()) {
        const QString reason = m_file->errorString();
        // Readers stumble over a record cut short; the file ends after the last whole one.
        m_file->resize(m_size + kept);
        fail(QObject::tr("Cannot write file ") + m_fileName + QLatin1Char(':') + reason);
    }
    m_size += kept;
    if (records && m_totals)
        m_totals->addRecords(*m_owner, records, quint32(kept));
    m_pendingSize = 0;
    m_recordEnds.clear();
    return complete;
}

bool TraceFile::overwriteStart(const QByteArray& bytes)
{
    flush();
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
    return writeWhatFits(file, data, len) == len;
}

void TraceFile::fail(const QString& what)
{
    m_failed = true;
    m_owner->postError(what);
}
