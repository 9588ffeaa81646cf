#ifndef TRACEFILE_H
#define TRACEFILE_H

#include "device/outputfile.h"
#include "writers/filesequence.h"

#include <algorithm>
#include <QByteArray>
#include <QString>
#include <vector>

class ChainHandler;
class Event;
class HdlcHandler;
class WriterTotals;

// The output file of a trace writer. Opened (created or truncated) when the run sets up or the
// writer first needs it, and every failure reported once through the owning element: a failed
// open or write disables the file for the rest of the run. Records are counted into the writer's
// totals once they have reached the system; the file never ends inside a record.
//
// By default each record is written as it comes, so the file is whole up to the last frame
// during a live run. Buffered, records are collected and written BufferSize bytes at a time;
// the owner flushes before it reports its totals.
//
// The trace may go on in further files (FileSequence names them): always before its length
// field would overflow, and as the limits ask. A switch falls only between records: the file
// is written out, closed with its header complete, and the next opened with its own header.
class TraceFile
{
public:
    static constexpr qsizetype BufferSize = 64 * 1024;

    // fileHeader, if any, is written right after the file is created.
    TraceFile(ChainHandler* owner, WriterTotals* totals, const QString& fileName,
              const QByteArray& fileHeader);
    ~TraceFile();

    void setBuffered(bool on);
    // The channel whose clock names the files and measures their line time.
    void setClock(const HdlcHandler* clock) { m_clock = clock; }
    // Ring buffer and stop conditions; set before the file is opened.
    void setLimits(const FileLimits& limits);
    // Ends waits for a reader of a pipe or FIFO once the run is cancelled.
    void setCancelEvent(const Event* cancel) { m_file.setCancelEvent(cancel); }
    // A header field at offset that states the file's length as 32 bits, kept current after
    // every write so that a file left by a killed program is still whole; the file never grows
    // past what the field can state.
    void setLengthField(qsizetype offset, qint64 limit = 0xFFFFFFFF)
    {
        m_lengthField = offset;
        m_lengthLimit = limit;
    }
    // Opens the file and writes its header on the first call; true while the file is usable.
    bool openOnce()
    {
        if (exists() || m_failed)
            return usable();
        return openNext();
    }
    // Before a record of size bytes: goes on in a new file if one is due; false when the record
    // must not be written (the file is not usable, or a stop condition has been met).
    // beginRecord() asks it too; a writer whose record depends on the file asks first.
    bool makeRoom(qsizetype size);
    // Meets the stop condition on line time once it has run out, on a line without frames too.
    void checkLineTime();
    // The stop condition met ("packets:100"), once one is; nothing is written after it.
    QString stopReason() const { return m_stopReason; }
    // Room for one record of size bytes, to be filled and then ended with endRecord(); null when
    // the file is not usable.
    char* beginRecord(qsizetype size)
    {
        // A plain file has room whenever the length field can state it.
        const bool room =
            m_plain && (m_lengthField < 0 || m_size + m_pendingSize + size <= m_lengthLimit);
        if (!room && !makeRoom(size))
            return nullptr;
        const qsizetype at = m_pendingSize;
        if (m_pending.size() < at + size)
            m_pending.resize(std::max(at + size, 2 * m_pending.size()));
        m_pendingSize = at + size;
        m_openRecord = size;
        return m_pending.data() + at;
    }
    void endRecord()
    {
        if (m_openRecord < 0)
            return;
        m_openRecord = -1;
        m_recordEnds.push_back(m_pendingSize);
        ++m_records;
        ++m_fileRecords;
        // A plain file has no limit to meet, only its buffer to write out once full.
        if (!m_plain || m_pendingSize >= BufferSize)
            recordEnded();
    }
    // One record; true unless the file is not usable or its write failed.
    bool write(const QByteArray& record);
    // Writes the records collected so far; true if they all reached the system.
    bool flush();
    // Writes bytes over the start of the file (a header whose fields are known only at the end),
    // even after a failed write, and leaves the position at the end; true if it reached the
    // system.
    bool overwriteStart(const QByteArray& bytes);
    // Bytes of whole records (and the header) that reached the current file: its length.
    qint64 size() const { return m_size; }
    // Records taken so far in the run, and in the current file; written or still collected.
    quint64 records() const { return m_records; }
    quint64 fileRecords() const { return m_fileRecords; }
    // Files whose header reached the disk.
    int headersWritten() const { return m_headersWritten; }
    // Closes and deletes a regular file (a run that got no frame leaves none); true if it did.
    bool removeIfRegular() { return m_file.remove(); }

    // An open succeeded, whether or not a write failed since.
    bool exists() const { return m_opened; }
    bool usable() const { return exists() && !m_failed; }

private:
    void recordEnded();
    void updatePlain();
    void fail(const QString& what);
    bool updateLengthField();
    bool openNext();
    bool switchFile();
    bool stop(const QString& reason);
    quint64 lineMicroseconds() const;

    ChainHandler* m_owner;
    WriterTotals* m_totals;
    QString m_fileName;
    QByteArray m_fileHeader;
    OutputFile m_file;
    FileSequence m_sequence;
    FileLimits m_limits;
    const HdlcHandler* m_clock = nullptr; // not owned
    bool m_opened = false;
    bool m_failed;
    quint64 m_fileRecords = 0;
    quint64 m_fileStart = 0; // line time at which the current file began, microseconds
    int m_headersWritten = 0;
    QString m_stopReason;
    qint64 m_size; // bytes of whole records so far
    quint64 m_records;
    qsizetype m_lengthField = -1;
    qint64 m_lengthLimit = 0;
    bool m_buffered;
    // Records not yet written: the first m_pendingSize bytes of m_pending, which only grows, so
    // that a record costs no resize.
    QByteArray m_pending;
    qsizetype m_pendingSize;
    std::vector<qsizetype> m_recordEnds; // where each of them ends in m_pending
    qsizetype m_openRecord;              // size of the record begun, -1 if none
    // A replay's usual case, decided when it changes rather than for every record: the file is
    // usable and buffered, no limit is set and no stop has been met, so a record needs no check
    // but the length field's.
    bool m_plain = false;
};

#endif
