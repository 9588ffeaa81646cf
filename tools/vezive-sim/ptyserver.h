#ifndef PTYSERVER_H
#define PTYSERVER_H

#include "commandinterpreter.h"
#include "simoptions.h"

#include <csignal>
#include <memory>
#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

class CaptureStream;
class PseudoTerminal;
class SentLog;

// Plays the tester on the controlling side of a pseudo-terminal: answers commands, streams
// capture data paced like an E1 line (or as fast as the reader takes it), notices the
// receiver closing the terminal and waits for the next open.
class PtyServer
{
public:
    static constexpr qint64 ChunkBytes = 160; // 10 ms of line time
    static constexpr qint64 ChunkIntervalNs = 10000000;
    static constexpr qint64 BacklogLimit = 1600; // 100 ms the reader has not taken yet
    static constexpr qint64 FastChunkBytes = 4096;
    static constexpr int IdlePollMs = 20;
    static constexpr int CommandPollMs = 50;

    PtyServer(PseudoTerminal& terminal, const SimOptions& options,
              const QList<QByteArray>* rxFrames, const QList<QByteArray>* syncFrames, SentLog* log);
    ~PtyServer();

    // Serves until stop becomes non-zero (exit status 0), the hang-up fault has closed the line
    // (0), or the line fails (1, with error() set).
    int run(const volatile std::sig_atomic_t& stop);
    QString error() const { return m_error; }

private:
    void apply(const CommandInterpreter::Action& action);
    void stopStream();
    void startStream();
    void receiverGone();
    void produce();
    int waitTimeoutMs() const;
    bool readInput(bool& hungUp);
    bool writeOutput();
    bool readyToHangUp() const;
    void drainBeforeHangUp(const volatile std::sig_atomic_t& stop);

    PseudoTerminal& m_terminal;
    const SimOptions& m_options;
    const QList<QByteArray>* m_rxFrames;
    const QList<QByteArray>* m_syncFrames;
    SentLog* m_log;
    CommandInterpreter m_interpreter;
    std::unique_ptr<CaptureStream> m_stream;
    QByteArray m_reply;     // command answers and the echo: always ahead of stream bytes
    QByteArray m_streamOut; // stream bytes taken from m_stream, not yet written
    QElapsedTimer m_clock;
    qint64 m_anchorNs = 0; // the pacing schedule: anchorBytes were due at anchorNs
    qint64 m_anchorBytes = 0;
    qint64 m_nextChunkNs = 0;
    bool m_receiverPresent = true;
    QString m_error;
};

#endif
