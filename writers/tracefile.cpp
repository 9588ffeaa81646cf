#include "writers/tracefile.h"

#include "capture/chainhandler.h"
#include "capture/hdlchandler.h"
#include "writers/littleendian.h"
#include "writers/writertotals.h"

#include <algorithm>
#include <cstring>
#include <QDateTime>
#include <QObject>

TraceFile::TraceFile(ChainHandler* owner, WriterTotals* totals, const QString& fileName,
                     const QByteArray& fileHeader)
    : m_owner(owner), m_totals(totals), m_fileName(fileName), m_fileHeader(fileHeader),
      m_file(fileName), m_sequence(fileName, false, 0), m_failed(false), m_size(0), m_records(0),
      m_buffered(false), m_pendingSize(0), m_openRecord(-1)
{}

// The owner has flushed: what is still collected here has nobody left to count it.
TraceFile::~TraceFile() = default;

void TraceFile::setBuffered(bool on)
{
    m_buffered = on;
    if (on && m_pending.size() < BufferSize + 4096)
        m_pending.resize(BufferSize + 4096);
    updatePlain();
}

void TraceFile::setLimits(const FileLimits& limits)
{
    m_limits = limits;
    m_sequence = FileSequence(m_fileName, limits.ringBuffer, limits.keepFiles);
    updatePlain();
}

void TraceFile::updatePlain()
{
    m_plain = usable() && m_buffered && m_stopReason.isEmpty() && !m_limits.any();
}

quint64 TraceFile::lineMicroseconds() const
{
    return m_clock ? m_clock->position() * HdlcHandler::MicrosecondsPerOctet : 0;
}

bool TraceFile::openNext()
{
    // Named after the line's clock once it runs (a replay's start time), else the wall clock.
    const quint32 seconds = m_clock && m_clock->clockStarted()
                                ? m_clock->timestamp().seconds
                                : quint32(QDateTime::currentSecsSinceEpoch());
    m_fileName = m_sequence.next(seconds);
    m_file.setFileName(m_fileName);
    m_size = 0;
    m_fileRecords = 0;
    m_fileStart = lineMicroseconds();
    // Emptied only once open: a name that cannot be opened keeps what it held.
    if (!m_file.open() || !m_file.resize(0)) {
        const QString reason = m_file.errorString();
        m_file.close();
        fail(QObject::tr("Cannot open file ") + m_fileName + QLatin1Char(':') + reason);
        return false;
    }
    m_opened = true;
    if (!m_fileHeader.isEmpty()) {
        if (!m_file.writeAll(m_fileHeader.constData(), m_fileHeader.size())) {
            const QString reason = m_file.errorString();
            m_file.resize(0);
            fail(QObject::tr("Cannot write file ") + m_fileName + QLatin1Char(':') + reason);
            return false;
        }
        m_size = m_fileHeader.size();
        ++m_headersWritten;
    }
    updatePlain();
    return true;
}

bool TraceFile::stop(const QString& reason)
{
    m_stopReason = reason;
    updatePlain();
    return false;
}

void TraceFile::checkLineTime()
{
    if (m_stopReason.isEmpty() && m_limits.stopSeconds &&
        lineMicroseconds() >= quint64(m_limits.stopSeconds) * 1000000u)
        stop(QStringLiteral("duration:%1").arg(m_limits.stopSeconds));
}

bool TraceFile::makeRoom(qsizetype size)
{
    if (!usable())
        return false;
    checkLineTime();
    if (!m_stopReason.isEmpty())
        return false;
    const qint64 fileSize = m_size + m_pendingSize;
    const bool full = m_lengthField >= 0 && fileSize + size > m_lengthLimit;
    if (full && m_fileRecords == 0) {
        flush();
        fail(QObject::tr("Cannot write file ") + m_fileName + QLatin1Char(':') +
             QObject::tr("its header cannot state a length past %1 bytes").arg(m_lengthLimit));
        return false;
    }
    // A file is never left without a record, whatever its header's size.
    const bool due =
        full || (m_fileRecords > 0 &&
                 ((m_limits.switchBytes && fileSize >= m_limits.switchBytes) ||
                  (m_limits.switchSeconds && lineMicroseconds() - m_fileStart >=
                                                 quint64(m_limits.switchSeconds) * 1000000u)));
    if (!due)
        return true;
    if (m_limits.stopFiles && m_sequence.started() >= m_limits.stopFiles)
        return stop(QStringLiteral("files:%1").arg(m_limits.stopFiles));
    return switchFile();
}

bool TraceFile::switchFile()
{
    // The records so far go to the file they belong to; its length field is then current.
    if (!flush())
        return false;
    m_file.close();
    if (!openNext())
        return false;
    m_owner->postMessage(QObject::tr("Switched to %1").arg(m_fileName));
    m_sequence.prune();
    return true;
}

// The limits and stops that a record's end may meet, and the buffer written out once full.
void TraceFile::recordEnded()
{
    if (m_limits.stopPackets && m_records >= m_limits.stopPackets)
        stop(QStringLiteral("packets:%1").arg(m_limits.stopPackets));
    else if (m_limits.stopBytes && m_size + m_pendingSize >= m_limits.stopBytes)
        stop(QStringLiteral("filesize:%1").arg(m_limits.stopBytes / 1000));
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
    const qint64 done = usable() ? m_file.write(m_pending.constData(), total) : 0;
    // The records that reached the file whole.
    const auto whole = std::upper_bound(m_recordEnds.begin(), m_recordEnds.end(), done);
    const quint64 records = quint64(whole - m_recordEnds.begin());
    const qsizetype kept = records ? m_recordEnds[records - 1] : 0;
    const bool complete = done == total;
    if (!complete && usable()) {
        const QString reason = m_file.errorString();
        // Readers stumble over a record cut short; the file ends after the last whole one.
        m_file.resize(m_size + kept);
        fail(QObject::tr("Cannot write file ") + m_fileName + QLatin1Char(':') + reason);
    }
    m_size += kept;
    if (records && m_totals)
        m_totals->addRecords(*m_owner, records, quint64(kept));
    m_pendingSize = 0;
    m_recordEnds.clear();
    if (kept)
        updateLengthField();
    return complete;
}

bool TraceFile::updateLengthField()
{
    if (m_lengthField < 0 || !m_file.isRegular())
        return true;
    char field[4];
    putLe32(field, quint32(m_size));
    return m_file.writeAt(m_lengthField, field, sizeof field);
}

bool TraceFile::overwriteStart(const QByteArray& bytes)
{
    flush();
    // Also after a failed write: the file was cut back to its last whole record, and a completed
    // header keeps that much readable.
    if (!exists() || bytes.size() > m_size)
        return false;
    if (!m_file.writeAt(0, bytes.constData(), bytes.size())) {
        if (!m_failed)
            fail(QObject::tr("Cannot write file ") + m_fileName + QLatin1Char(':') +
                 m_file.errorString());
        return false;
    }
    return true;
}

void TraceFile::fail(const QString& what)
{
    m_failed = true;
    updatePlain();
    // A stop that ended a wait for a reader is the run's end, said by "Cancelled"; this line
    // only tells what could not be written.
    if (m_file.wasCancelled())
        m_owner->postMessage(what);
    else
        m_owner->postError(what);
}
