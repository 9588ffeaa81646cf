#ifndef TRACEFILE_H
#define TRACEFILE_H

#include <memory>
#include <QFile>
#include <QString>
#include <vector>

class ChainHandler;
class WriterTotals;

// Writes all len bytes. A write cut short by a filling disk sets no error; going on with the rest
// meets the system's refusal, so on false the file's errorString() says why.
bool writeAll(QFileDevice& file, const char* data, qint64 len);

// The output file of a trace writer. Opened (created or truncated) when the writer first needs
// it, and every failure reported once through the owning element: a failed open or write
// disables the file for the rest of the run. Records are counted into the writer's totals once
// they have reached the system; the file never ends inside a record.
//
// By default each record is written as it comes, so the file is whole up to the last frame
// during a live run. Buffered, records are collected and written BufferSize bytes at a time;
// the owner flushes before it reports its totals.
class TraceFile
{
public:
    static constexpr qsizetype BufferSize = 64 * 1024;

    // fileHeader, if any, is written right after the file is created.
    TraceFile(ChainHandler* owner, WriterTotals* totals, const QString& fileName,
              const QByteArray& fileHeader);
    ~TraceFile();

    void setBuffered(bool on);
    // Opens the file and writes its header on the first call; true while the file is usable.
    bool openOnce();
    // Room for one record of size bytes, to be filled and then ended with endRecord(); null when
    // the file is not usable.
    char* beginRecord(qsizetype size);
    void endRecord();
    // One record; true unless the file is not usable or its write failed.
    bool write(const QByteArray& record);
    // Writes the records collected so far; true if they all reached the system.
    bool flush();
    // Writes bytes over the start of the file (a header whose fields are known only at the end),
    // even after a failed write, and leaves the position at the end; true if it reached the
    // system.
    bool overwriteStart(const QByteArray& bytes);
    // Bytes of whole records (and the header) that reached the file: its length.
    qint64 size() const { return m_size; }
    // Records taken so far, written or still collected.
    quint32 records() const { return m_records; }

    // A file object exists: the open succeeded, whether or not a write failed since.
    bool exists() const { return m_file != nullptr; }
    bool usable() const { return m_file && !m_failed; }

private:
    void fail(const QString& what);

    ChainHandler* m_owner;
    WriterTotals* m_totals;
    QString m_fileName;
    QByteArray m_fileHeader;
    std::unique_ptr<QFile> m_file;
    bool m_failed;
    qint64 m_size; // bytes of whole records so far
    quint32 m_records;
    bool m_buffered;
    // Records not yet written: the first m_pendingSize bytes of m_pending, which only grows, so
    // that a record costs no resize.
    QByteArray m_pending;
    qsizetype m_pendingSize;
    std::vector<qsizetype> m_recordEnds; // where each of them ends in m_pending
    qsizetype m_openRecord;              // size of the record begun, -1 if none
};

#endif
