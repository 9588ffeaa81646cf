#include "ptyserver.h"

#include "capturestream.h"
#include "device/pseudoterminal.h"
#include "sentlog.h"

#include <algorithm>
#include <QThread>

namespace {

constexpr qint64 NsPerStreamByte = 1000000000 / SimOptions::BytesPerSecond;
constexpr qint64 NsPerMs = 1000000;
// How long the receiver may take to read the last bytes before the line is closed on it.
constexpr qint64 HangUpDrainLimitMs = 60000;
// When the terminal side cannot be looked at, wait this long instead.
constexpr qint64 HangUpBlindWaitMs = 1000;
constexpr int HangUpEmptyChecks = 3;

} // namespace

PtyServer::PtyServer(PseudoTerminal& terminal, const SimOptions& options,
                     const QList<QByteArray>* rxFrames, const QList<QByteArray>* syncFrames,
                     SentLog* log)
    : m_terminal(terminal), m_options(options), m_rxFrames(rxFrames), m_syncFrames(syncFrames),
      m_log(log), m_interpreter(options.badEcho, options.atOnly)
{}

PtyServer::~PtyServer() = default;

int PtyServer::run(const volatile std::sig_atomic_t& stop)
{
    m_clock.start();
    while (!stop) {
        if (!m_terminal.peerIsOpen()) {
            receiverGone();
            QThread::msleep(IdlePollMs);
            continue;
        }
        m_receiverPresent = true;
        produce();
        if (readyToHangUp()) {
            drainBeforeHangUp(stop);
            m_terminal.close();
            return 0;
        }
        const bool haveOutput = !m_reply.isEmpty() || !m_streamOut.isEmpty();
        const int found = m_terminal.wait(haveOutput, waitTimeoutMs());
        if (found == PseudoTerminal::Interrupted || found == 0)
            continue;
        if (found < 0) {
            m_error = QStringLiteral("waiting on %1: %2")
                          .arg(m_terminal.terminalPath(), m_terminal.errorString());
            return 1;
        }
        if (found & (PseudoTerminal::Readable | PseudoTerminal::HungUp)) {
            bool hungUp = false;
            if (!readInput(hungUp))
                return 1;
            if (hungUp || (found & PseudoTerminal::HungUp))
                continue; // the next round sees the closed terminal
        }
        if ((found & PseudoTerminal::Writable) && !writeOutput())
            return 1;
    }
    return 0;
}

void PtyServer::apply(const CommandInterpreter::Action& action)
{
    using Action = CommandInterpreter::Action;
    stopStream();
    switch (action.kind) {
    case Action::Stop:
    case Action::Silence:
        break;
    case Action::Reply:
        m_reply += action.text;
        break;
    case Action::Stream:
        m_reply += action.text;
        startStream();
        break;
    }
}

void PtyServer::stopStream()
{
    m_stream.reset();
    m_streamOut.clear();
}

void PtyServer::startStream()
{
    m_stream = std::make_unique<CaptureStream>(m_options, m_rxFrames, m_syncFrames, m_log,
                                               m_options.streamLimit());
    m_anchorNs = m_clock.nsecsElapsed();
    m_anchorBytes = 0;
    m_nextChunkNs = m_anchorNs + ChunkIntervalNs;
}

// No one holds the terminal: whatever was going on ends, and what the receiver sent before it
// closed is dropped. A new receiver may open the terminal and write to it at any moment, so
// bytes are dropped only when the read after them still finds the terminal closed; bytes that
// end in an open terminal may be the new receiver's and are answered.
void PtyServer::receiverGone()
{
    if (m_receiverPresent) {
        stopStream();
        m_reply.clear();
        m_interpreter.reset();
        m_receiverPresent = false;
    }
    QByteArray pending;
    char buffer[4096];
    qint64 n;
    while ((n = m_terminal.read(buffer, sizeof buffer)) > 0)
        pending.append(buffer, n);
    if (n == 0 && !pending.isEmpty()) {
        // Answered as the new receiver's: should it be gone again, this is cleared too.
        m_receiverPresent = true;
        for (const CommandInterpreter::Action& action :
             m_interpreter.feed(pending.constData(), pending.size()))
            apply(action);
    }
}

void PtyServer::produce()
{
    if (!m_stream || m_stream->exhausted())
        return;
    if (m_options.fast) {
        if (m_streamOut.size() < FastChunkBytes)
            m_streamOut += m_stream->take(FastChunkBytes - m_streamOut.size());
        return;
    }
    const qint64 now = m_clock.nsecsElapsed();
    if (now < m_nextChunkNs)
        return;
    m_nextChunkNs = std::max(m_nextChunkNs + ChunkIntervalNs, now + 1);
    if (m_streamOut.size() >= BacklogLimit) {
        // The reader lags: keep the line's pace from here on instead of bursting later.
        m_anchorNs = now;
        m_anchorBytes = m_stream->taken();
        return;
    }
    const qint64 due = m_anchorBytes + (now - m_anchorNs) / NsPerStreamByte;
    if (due > m_stream->taken())
        m_streamOut += m_stream->take(due - m_stream->taken());
}

int PtyServer::waitTimeoutMs() const
{
    if (m_stream && !m_stream->exhausted() && !m_options.fast) {
        const qint64 ns = m_nextChunkNs - m_clock.nsecsElapsed();
        return int(std::clamp<qint64>((ns + NsPerMs - 1) / NsPerMs, 0, CommandPollMs));
    }
    return CommandPollMs;
}

bool PtyServer::readInput(bool& hungUp)
{
    char buffer[1024];
    for (;;) {
        const qint64 n = m_terminal.read(buffer, sizeof buffer);
        if (n == 0)
            return true;
        if (n == PseudoTerminal::HangUp) {
            hungUp = true;
            return true;
        }
        if (n < 0) {
            m_error = QStringLiteral("reading %1: %2")
                          .arg(m_terminal.terminalPath(), m_terminal.errorString());
            return false;
        }
        for (const CommandInterpreter::Action& action : m_interpreter.feed(buffer, n))
            apply(action);
    }
}

bool PtyServer::writeOutput()
{
    auto failed = [this]() {
        if (!m_terminal.peerIsOpen())
            return false; // the receiver closed meanwhile; the next round handles it
        m_error = QStringLiteral("writing %1: %2")
                      .arg(m_terminal.terminalPath(), m_terminal.errorString());
        return true;
    };
    if (!m_reply.isEmpty()) {
        const qint64 n = m_terminal.write(m_reply.constData(), m_reply.size());
        if (n < 0)
            return !failed();
        m_reply.remove(0, n);
        if (!m_reply.isEmpty())
            return true;
    }
    if (!m_streamOut.isEmpty()) {
        const qint64 n = m_terminal.write(m_streamOut.constData(), m_streamOut.size());
        if (n < 0)
            return !failed();
        m_streamOut.remove(0, n);
        if (!m_stream->confirm(n)) {
            m_error = m_log->error();
            return false;
        }
    }
    return true;
}

bool PtyServer::readyToHangUp() const
{
    return m_stream && m_options.hangsUpAtLimit() && m_stream->exhausted() &&
           m_streamOut.isEmpty() && m_reply.isEmpty();
}

// Closing the controlling side discards what the terminal side has not read yet, so the
// receiver is first given the time to read every byte that was written.
void PtyServer::drainBeforeHangUp(const volatile std::sig_atomic_t& stop)
{
    QElapsedTimer waited;
    waited.start();
    int emptyChecks = 0;
    while (!stop && waited.elapsed() < HangUpDrainLimitMs && m_terminal.peerIsOpen()) {
        const int queued = m_terminal.terminalInputQueued();
        if (queued < 0 && waited.elapsed() >= HangUpBlindWaitMs)
            return;
        // Bytes can still be on their way into the queue just after it was emptied; several
        // empty looks in a row make sure they are not.
        emptyChecks = queued == 0 ? emptyChecks + 1 : 0;
        if (emptyChecks >= HangUpEmptyChecks)
            return;
        QThread::msleep(IdlePollMs);
    }
}
