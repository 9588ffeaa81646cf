#ifndef OUTPUTFILE_H
#define OUTPUTFILE_H

#include <cerrno>
#include <QString>
#include <QtGlobal>

class Event;

// Where a run writes a trace or a channel: a regular file, a FIFO, a pipe, a terminal or
// standard output ("-", used as it is: appending where the shell appends, never reopened).
// Writes to anything but a regular file wait for room only while the run goes on: once the
// cancel event is set, a reader that takes nothing more for half a second fails the write, so a
// stalled pipe or a FIFO nobody opens never holds up the end of a run.
class OutputFile
{
public:
    static constexpr int CancelGraceMs = 500;

    explicit OutputFile(const QString& name);
    ~OutputFile();

    void setCancelEvent(const Event* cancel) { m_cancel = cancel; }
    QString fileName() const { return m_name; }
    // Another file for the next open().
    void setFileName(const QString& name) { m_name = name; }

    // Opens for writing, creating a missing file, without truncating: the caller empties it once
    // everything it needs is open. A FIFO is waited for until a reader opens it or the run is
    // cancelled.
    bool open();
    bool isOpen() const { return m_fd >= 0; }
    // A regular file of its own (not standard output): it has a size to cut and positions to
    // write at.
    bool isRegular() const { return m_regular; }
    // Cuts a regular file to size bytes; other outputs have nothing to cut.
    bool resize(qint64 size);
    // Writes as much of data as the system takes; less than len means errorString() says why.
    qint64 write(const char* data, qint64 len);
    bool writeAll(const char* data, qint64 len) { return write(data, len) == len; }
    // Writes over bytes already in a regular file, the position left where it was.
    bool writeAt(qint64 offset, const char* data, qint64 len);
    // Closes and deletes a regular file (never standard output or anything else).
    bool remove();
    void close();

    // The system's text of the last failure.
    QString errorString() const { return m_error; }
    // The last failure was the run's stop ending a wait, not a fault of the output.
    bool wasCancelled() const { return m_errorCode == ECANCELED; }

private:
    bool failWith(int error);
    bool waitWritable();

    QString m_name;
    int m_fd = -1;
    bool m_ownsFd = false;
    bool m_regular = false;
    const Event* m_cancel = nullptr;
    qint64 m_cancelNoticedMs = -1;
    QString m_error;
    int m_errorCode = 0;

    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
};

// True when both names are one file: the same device and inode for existing files (so links and
// different spellings of one path are caught), the same place for two names that do not exist
// yet. "-" is standard output as it is now.
bool isSameFile(const QString& first, const QString& second);

#endif
