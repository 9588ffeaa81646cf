#ifndef PSEUDOTERMINAL_H
#define PSEUDOTERMINAL_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The controlling side of a pseudo-terminal pair: what a tester on a serial line would hold.
// The other side (terminalPath()) is opened by the receiver as if it were the serial port.
class PseudoTerminal
{
public:
    // What wait() found; several may be set at once.
    enum WaitFlag
    {
        Readable = 1,
        Writable = 2,
        HungUp = 4
    };
    // Returned by wait() when a signal cut the wait short; by read() on a hang-up.
    static constexpr int Interrupted = -2;
    static constexpr qint64 HangUp = -2;

    PseudoTerminal();
    ~PseudoTerminal();

    // Allocates a new pair; false with errorString() set when the system refuses.
    bool open();
    void close();
    bool isOpen() const { return m_master >= 0; }

    // Switches the pair to raw 8-bit transfer (no echo, no line editing, no translation), so
    // that bytes pass unchanged even before the receiver sets the line up itself.
    bool makeRaw();

    // The file descriptor of the controlling side, non-blocking; -1 while closed.
    int masterHandle() const { return m_master; }
    // The path of the terminal side, for example /dev/pts/3.
    QString terminalPath() const { return m_terminalPath; }
    QString errorString() const { return m_errorText; }

    // True while some process has the terminal side open. A closed terminal side shows as a
    // hang-up on the controlling side. A terminal side never opened yet counts as open.
    bool peerIsOpen() const;

    // Waits at most timeoutMs (-1: no limit) until the controlling side has input (or the peer
    // hung up) or, when forWriting, can take output. Returns the WaitFlag bits found, 0 on
    // time-out, Interrupted when a signal arrived, -1 on failure.
    int wait(bool forWriting, int timeoutMs);
    // What the receiver wrote, without blocking: the byte count, 0 when nothing is there,
    // HangUp when no one has the terminal side open, -1 on failure.
    qint64 read(char* data, qint64 maxlen);
    // Without blocking: the bytes the line took (0 when it is full), -1 on failure.
    qint64 write(const char* data, qint64 len);
    // Bytes the terminal side has received and not read yet, looked up through a short-lived
    // descriptor of the terminal side; -1 when that cannot be opened (a receiver holds it
    // exclusively and we lack the privilege) or asked. Bytes still on their way inside the
    // kernel are not counted.
    int terminalInputQueued() const;

private:
    void setErrorFromSystem();

    int m_master;
    QString m_terminalPath;
    QString m_errorText;

    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
};

#endif
