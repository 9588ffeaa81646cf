#ifndef SERIALDEVICE_H
#define SERIALDEVICE_H

#include "device/event.h"

#include <memory>
#include <QIODevice>
#include <QString>

class IOBase;

// The serial port as a Qt device, so that the acquisition thread and the port test can use it
// through QIODevice and QTextStream. Used by one thread at a time; only cancel() may come from
// another.
class SerialDevice : public QIODevice
{
    Q_OBJECT
public:
    explicit SerialDevice(QObject* parent = nullptr);
    ~SerialDevice() override;

    void setPortName(const QString& name) { m_portName = name; }
    QString portName() const { return m_portName; }

    // The mode is ignored: the port is always opened read-write, raw, unbuffered.
    bool open(OpenMode mode) override;
    void close() override;
    bool flush();
    bool isSequential() const override { return true; }
    qint64 size() const override { return 0; }

    int getch();
    int putch(int c);
    int ungetch(int c);

    // The acquisition read: returns what arrived up to the first pause of more than 1 ms after
    // the first byte, or when maxlen bytes arrived; 0 after about maxlen ms of silence; -1 on
    // failure, with errorString() saying why.
    qint64 readWithLineTimeouts(char* data, qint64 maxlen);

    // The text of the last error; a null string while there has been none. Hides QIODevice's,
    // which never returns an empty text.
    QString errorString() const { return m_errorText; }

    // Ends a request blocked in another thread and makes every later one return at once.
    // Safe to call from any thread while the device exists.
    void cancel();
    bool isCancelled() const { return m_cancel.isSignalled(); }

protected:
    qint64 readData(char* data, qint64 maxlen) override;
    qint64 writeData(const char* data, qint64 len) override;

private:
    // errorText (and the base's error string) from a system error code.
    void setErrorFromSystem(int error);

    QString m_portName;
    std::unique_ptr<IOBase> m_port;
    QString m_errorText;
    bool m_opened;
    Event m_cancel;
};

#endif
