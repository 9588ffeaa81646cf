#ifndef TRACEFILE_H
#define TRACEFILE_H

#include <memory>
#include <QFile>
#include <QString>

class ChainHandler;

// Writes all len bytes. A write cut short by a filling disk sets no error; going on with the rest
// meets the system's refusal, so on false the file's errorString() says why.
bool writeAll(QFileDevice& file, const char* data, qint64 len);

// The output file of a trace writer. Opened (created or truncated) when the writer first needs
// it, written without buffering in the writer, and every failure reported once through the
// owning element: a failed open or write disables the file for the rest of the run.
class TraceFile
{
public:
    // fileHeader, if any, is written right after the file is created.
    TraceFile(ChainHandler* owner, const QString& fileName, const QByteArray& fileHeader);
    ~TraceFile();

    // Opens the file and writes its header on the first call; true while the file is usable.
    bool openOnce();
    // Writes all of bytes or reports the failure; true if everything reached the system.
    bool write(const QByteArray& bytes);
    // Writes bytes over the start of the file (a header whose fields are known only at the end),
    // even after a failed write, and leaves the position at the end; true if it reached the
    // system.
    bool overwriteStart(const QByteArray& bytes);
    // Bytes of whole writes so far: the file's length.
    qint64 size() const { return m_size; }

    // A file object exists: the open succeeded, whether or not a write failed since.
    bool exists() const { return m_file != nullptr; }
    bool usable() const { return m_file && !m_failed; }

private:
    void fail(const QString& what);

    ChainHandler* m_owner;
    QString m_fileName;
    QByteArray m_fileHeader;
    std::unique_ptr<QFile> m_file;
    bool m_failed;
    qint64 m_size; // bytes of whole writes so far
};

#endif
