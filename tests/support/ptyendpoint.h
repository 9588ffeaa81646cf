#ifndef PTYENDPOINT_H
#define PTYENDPOINT_H

#include "device/pseudoterminal.h"

#include <QByteArray>
#include <QString>
#include <termios.h>

// The tester's end of a pseudo-terminal pair for tests: writes and reads the controlling side
// with time limits, and looks at the terminal side as a user with stty would, through a second
// descriptor opened before any device takes the terminal exclusively.
class PtyEndpoint
{
public:
    PtyEndpoint() = default;
    ~PtyEndpoint();

    bool open();
    QString terminalPath() const { return m_pty.terminalPath(); }
    QString errorString() const { return m_pty.errorString(); }

    // Closes the controlling side: the terminal side sees a hang-up.
    void hangUp();

    // Writes all bytes; false on failure or when the line takes none for timeoutMs.
    bool write(const QByteArray& bytes, int timeoutMs = 10000);
    // Reads until count bytes arrived, the line failed or timeoutMs passed without a byte.
    QByteArray read(qint64 count, int timeoutMs = 10000);

    bool terminalSettings(termios& settings) const;
    bool setTerminalSettings(const termios& settings);
    // Bytes received by the terminal side and not yet read there; -1 on failure.
    int terminalInputQueued() const;

private:
    PseudoTerminal m_pty;
    int m_terminal = -1;

    PtyEndpoint(const PtyEndpoint&) = delete;
    PtyEndpoint& operator=(const PtyEndpoint&) = delete;
};

#endif
