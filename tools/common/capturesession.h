#ifndef CAPTURESESSION_H
#define CAPTURESESSION_H

#include "acquisition/runsettings.h"
#include "capture/messagehandler.h"
#include "capture/stathandler.h"

#include <memory>
#include <QBasicTimer>
#include <QObject>

class ConsoleReport;
class DataGatherer;

// One capture run without a window: hands the options to the acquisition thread as the window
// does, passes on its log lines and counters, stops the run on an error message or on request,
// and ends with every queued message shown and the totals.
class CaptureSession : public QObject
{
    Q_OBJECT
public:
    static constexpr int MessagePollMs = 50;
    static constexpr int CounterPollMs = 1000;

    CaptureSession(const RunSettings& settings, ConsoleReport* report, QObject* parent = nullptr);
    ~CaptureSession() override;

    void start();
    // As the Stop button: the run ends at its next read and says "Cancelled".
    void stop();
    bool isFinished() const { return m_finished; }
    // 0 ended by itself or stopped, 1 ended by an error message.
    int exitCode() const { return m_errorEnded ? 1 : 0; }

signals:
    void finished(int exitCode);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void takeMessages();
    void showCounters(bool totals);

    RunSettings m_settings;
    ConsoleReport* m_report; // not owned
    MessageHandler m_messages;
    StatHandler m_stats;
    std::unique_ptr<DataGatherer> m_gatherer;
    QBasicTimer m_messageTimer;
    QBasicTimer m_counterTimer;
    bool m_stopRequested;
    bool m_errorEnded;
    bool m_finished;
};

#endif
