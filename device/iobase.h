#ifndef IOBASE_H
#define IOBASE_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class Event;

// Read time-outs in milliseconds, as a serial port keeps them. All zero (the default): a read
// returns as soon as at least one byte is there. Otherwise a read ends when the requested
// length has arrived, when more than interval ms pass between two bytes once the first has
// arrived, or multiplier * length + constant ms after it began, whichever comes first.
struct ReadTimeouts
{
    unsigned interval = 0;
    unsigned multiplier = 0;
    unsigned constant = 0;
};

// The serial port: one exclusively opened terminal device, raw 8-bit, with single read and
// write requests that wait for their completion or for a cancel event.
class IOBase
{
public:
    // Result codes of write() and read().
    enum Result
    {
        Completed = 1,
        Failed = 0,
        CancelledByEvent = 2,
        WaitFailed = -1,
        NotOpen = -2,
        QueryFailed = -3,
        QueryPending = -4
    };

    explicit IOBase(const QByteArray& name);
    // Does not close the port: every owner calls close() first.
    virtual ~IOBase();

    virtual int write(const char* data, qint64 length, const Event& cancel);
    virtual int read(char* data, qint64 length, qint64& count, const Event& cancel);
    virtual bool open(const QString& name);
    virtual int close();
    // Waits until everything written has left; ends early when cancel is signalled.
    virtual int flush(const Event& cancel);

    bool isOpen() const { return m_handle >= 0; }
    ReadTimeouts readTimeouts() const { return m_timeouts; }
    void setReadTimeouts(const ReadTimeouts& timeouts) { m_timeouts = timeouts; }
    // The system's error code of the last failed operation (errno), 0 if none failed.
    int lastError() const { return m_lastError; }

private:
    int fail(int result, int error);

    int m_handle;
    QByteArray m_name;
    ReadTimeouts m_timeouts;
    int m_lastError;

    IOBase(const IOBase&) = delete;
    IOBase& operator=(const IOBase&) = delete;
};

#endif
