#ifndef PORTTESTTHREAD_H
#define PORTTESTTHREAD_H

#include <QDeadlineTimer>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>

class SerialDevice;

// What the port test needs of its owner: a log to append lines to. The owner's log belongs to
// the owner's thread, so the test thread never calls it; the lines are handed over by
// deliverLog() on the owner's thread.
class PortTestOwner
{
public:
    virtual void logMessage(const QString& line) = 0;

protected:
    ~PortTestOwner() = default;
};

// Checks that a tester answers on a serial port: sends 0x03 and "AT", then "ATI", and logs the
// identification lines of the answer. The status text says where the dialogue stopped: null
// when it went through.
class PortTestThread : public QThread
{
    Q_OBJECT
public:
    static constexpr int TimeLimitMs = 10000;
    static constexpr int CommandPauseMs = 100;

    explicit PortTestThread(PortTestOwner* owner, QObject* parent = nullptr);
    ~PortTestThread() override;

    void setPortName(const QString& name) { m_portName = name; }
    QString status();
    void setStatus(const QString& text);

    // Ends the dialogue from another thread: a request blocked on the port returns, the thread
    // closes the port and finishes, and the status stays at the step it had reached.
    void cancel();
    // Hands the lines logged so far to the owner, in order. Called on the owner's thread.
    void deliverLog();

    // The owner's side of a test, for a caller that may block: start, wait up to the time limit
    // (cancelling the dialogue if it overruns), then conclude(). True when the tester answered.
    static bool runTest(PortTestOwner* owner, const QString& portName, bool showSuccess,
                        int timeLimitMs = TimeLimitMs);
    // Once the thread has finished: logs its lines, then the result line. inTime is false when
    // the time limit ended the dialogue.
    bool conclude(bool inTime, bool showSuccess);

protected:
    void run() override;

private:
    bool dialogue(SerialDevice& device);
    void log(const QString& line);
    bool stopped(SerialDevice& device);

    PortTestOwner* m_owner; // not owned
    QString m_portName;
    QString m_statusText;
    QMutex m_statusLock; // guards m_statusText, m_lines, m_device and m_cancelled
    QStringList m_lines;
    SerialDevice* m_device; // the dialogue's device while it exists
    bool m_cancelled;
    bool m_failed; // a request failed on the test thread
};

#endif
