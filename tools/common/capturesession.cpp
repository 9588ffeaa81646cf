#include "capturesession.h"

#include "acquisition/datagatherer.h"
#include "consolereport.h"

#include <QCoreApplication>
#include <QTimerEvent>

CaptureSession::CaptureSession(const RunSettings& settings, ConsoleReport* report, QObject* parent)
    : QObject(parent), m_settings(settings), m_report(report), m_stopRequested(false),
      m_errorEnded(false), m_finished(false)
{}

CaptureSession::~CaptureSession()
{
    if (m_gatherer) {
        m_gatherer->cancel();
        m_gatherer->wait();
    }
}

void CaptureSession::start()
{
    m_stats.reset();
    m_gatherer = std::make_unique<DataGatherer>();
    DataGatherer& g = *m_gatherer;
    g.setSettings(m_settings);
    g.setMessageHandler(&m_messages);
    g.setStatHandler(&m_stats);
    m_messages.clear();
    g.start(QThread::TimeCriticalPriority);
    m_messageTimer.start(MessagePollMs, this);
    m_counterTimer.start(CounterPollMs, this);
}

void CaptureSession::stop()
{
    if (!m_gatherer || m_stopRequested)
        return;
    m_stopRequested = true;
    m_gatherer->cancel();
}

void CaptureSession::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_counterTimer.timerId()) {
        showCounters(false);
        return;
    }
    if (event->timerId() != m_messageTimer.timerId() || !m_gatherer)
        return;
    const bool ended = m_gatherer->isFinished();
    // Whatever the thread posted before it ended is all there is: show every line of it.
    takeMessages();
    if (!ended)
        return;
    m_messageTimer.stop();
    m_counterTimer.stop();
    m_gatherer.reset();
    showCounters(true);
    m_finished = true;
    emit finished(exitCode());
}

void CaptureSession::takeMessages()
{
    const QString endOfFile = QStringLiteral("End of file reached");
    const QString cancelled = QCoreApplication::translate("QObject", "Cancelled");
    while (m_messages.hasMessages()) {
        const Message message = m_messages.takeMessage();
        if (!message.formatter())
            continue;
        const QString text = message.formatter()->format(message.data(), message.length());
        m_report->logMessage(text);
        if (!message.isError())
            continue;
        const bool userStop = m_stopRequested && !m_errorEnded && text == cancelled;
        if (text != endOfFile && !userStop)
            m_errorEnded = true;
        // As the window does: an error ends the run.
        if (m_gatherer && !m_gatherer->isFinished())
            m_gatherer->cancel();
    }
}

void CaptureSession::showCounters(bool totals)
{
    quint64 values[ConsoleReport::CounterCount];
    for (int i = 0; i < ConsoleReport::CounterCount; ++i)
        values[i] = m_stats.value(i + 1);
    if (totals)
        m_report->showTotals(values);
    else
        m_report->showCounters(values);
}
