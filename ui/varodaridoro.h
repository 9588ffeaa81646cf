#ifndef VARODARIDORO_H
#define VARODARIDORO_H

#include "device/porttestthread.h"
#include "forms.h"

#include <QList>

class DataGatherer;
class FileChoose;
class helpwidgetImpl;
class LoopbackImpl;
class MessageHandler;
class PcapImpl;
class PortTest;
class ProgressDialogImpl;
class QCloseEvent;
class QComboBox;
class QLineEdit;
class QTimerEvent;
class QVBoxLayout;
class RawImpl;
class StatHandler;
struct OptionProblem;
struct RunSettings;

// The main window: turns the user's choices into capture runs. It shows the source and trace
// option panels that the two combo boxes select, checks the options and starts a run, polls the
// run once a second for its counters and log lines, stops it on request or on an error from the
// chain, runs the port test, and keeps its options in the settings between sessions.
class VarodariDoro : public sereaderWidget, public PortTestOwner
{
    Q_OBJECT
public:
    static constexpr int PollIntervalMs = 1000;
    static constexpr int MessagesPerTick = 4;
    static constexpr int MaxLogLines = 10000;

    explicit VarodariDoro(QWidget* parent = nullptr, const char* name = nullptr,
                          Qt::WindowFlags f = {});
    ~VarodariDoro() override;

    // One tick of the run's poll; the window's timer calls it once a second while a run lasts.
    void poll();
    bool isPolling() const { return m_pollTimer != 0; }

    // The controller's parts, public like the form's widgets so that everything the window is
    // made of can be reached by the names it uses.
    PortWidget* portPanel;
    FileWidget* filePanel;
    RawImpl* rawPanel;
    PcapImpl* pcapPanel;
    Toshiba* toshibaPanel;
    I4b* i4bPanel;
    I7* i7Panel;
    LoopbackImpl* loopbackPanel;
    PcapImpl* pcapngPanel;      // PCAP's panel: the same three options
    helpwidgetImpl* helpWindow; // owned; a window of its own
    QList<QWidget*> panels;
    QVBoxLayout* dataLayout;
    QVBoxLayout* sourceLayout;
    DataGatherer* gatherer; // owned; the current run's thread, none when idle
    MessageHandler* messageHandler;
    StatHandler* statHandler;
    ProgressDialogImpl* progressDialog;

public slots:
    void logMessage(const QString& msg) override;
    void raiseError(const QString& title, const QString& msg);
    void showHelp();
    void showFrame(int index);
    void sourceChanged(int index);
    void testClicked();
    void testClicked(bool showSuccess);
    void startClicked();
    void clearClicked();
    void chainError(const QString& msg);
    void stop();
    // Ends the program without asking: a run is stopped first, its trace completed and its
    // totals logged (a termination signal, a logout).
    void shutDown();

protected:
    void timerEvent(QTimerEvent* event) override;
    // During a run: asks whether to stop it and quit, and quits once it has ended.
    void closeEvent(QCloseEvent* event) override;

private:
    // The option fields of one trace type's panel, null where the type has no such option.
    struct TraceFields
    {
        QWidget* panel;
        FileChoose* file; // Raw: the RX file
        FileChoose* syncFile;
        QComboBox* linkType;
        QLineEdit* minPacketLength;
    };

    bool validate();
    QWidget* fieldOf(const OptionProblem& problem) const;
    RunSettings runSettings() const;
    void showCounters();
    void takeMessages(bool all);
    void endRun();
    void reportEnding();
    void setOptionsEnabled(bool enabled);
    void orderTabs();
    static QString fileKey(const TraceFields& fields);
    void showProgress();
    void loadSettings();
    void saveSettings();
    // The fields of a trace type, in the trace-type table's order; null outside it.
    const TraceFields* traceFields(int traceType) const;

    QList<TraceFields> m_traceFields;
    int m_pollTimer;
    PortTest* m_portTest;
    QStringList m_runErrors; // the error messages of the current run, in order
    bool m_quitAfterRun;
};

#endif
