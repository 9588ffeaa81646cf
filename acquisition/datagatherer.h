#ifndef DATAGATHERER_H
#define DATAGATHERER_H

#include "acquisition/runsettings.h"
#include "device/event.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>

#include <memory>

class ChainHandler;
class DeframingPipeline;
class MessageHandler;
class OutputFile;
class QFile;
class SerialDevice;
class SplitHandler;
class StatHandler;
class TraceFile;
struct TraceType;

// The worker thread of one capture run: asks the tester for the two timeslots, opens the source
// (serial port or replay file), builds the chain the trace type's row describes, pushes the source
// into it until the source ends, fails or the run is cancelled, then posts its final message and
// releases everything. A port's reads go in 4-byte units; a replay's in whole blocks, to the same
// effect.
class DataGatherer : public QThread
{
    Q_OBJECT
public:
    static constexpr int ReadBlockSize = 4096;
    // A port read waits about a millisecond per byte asked for: this much silence ends a run.
    static constexpr int SilenceSeconds = (ReadBlockSize + 500) / 1000;

    explicit DataGatherer(QObject* parent = nullptr);
    ~DataGatherer() override;

    // Every option at once; the setters below change one each.
    void setSettings(const RunSettings& settings) { m_settings = settings; }

    void setTraceType(int type) { m_settings.traceType = type; }
    void setSourceType(int type) { m_settings.sourceType = type; }
    void setPortName(const QString& name) { m_settings.portName = name; }
    void setInputFileName(const QString& name) { m_settings.inputFileName = name; }
    void setOutputFileName(const QString& name) { m_settings.outputFileName = name; }
    void setSyncFileName(const QString& name) { m_settings.syncFileName = name; }
    void setMinPacketLength(unsigned short length) { m_settings.minPacketLength = length; }
    void setLinkType(unsigned short type) { m_settings.linkType = type; }
    void setRxTimeslot(unsigned char timeslot) { m_settings.rxTimeslot = timeslot; }
    void setSyncTimeslot(unsigned char timeslot) { m_settings.syncTimeslot = timeslot; }
    // Both deframers de-stuff by shifts, as on a processor without a fast bit extract.
    void setDeframerShifts(bool shifts) { m_settings.deframerShifts = shifts; }
    void setStartTime(quint32 seconds, quint32 microseconds)
    {
        m_settings.hasStartTime = true;
        m_settings.startSeconds = seconds;
        m_settings.startMicroseconds = microseconds;
    }
    void setMessageHandler(MessageHandler* handler);
    void setStatHandler(StatHandler* handler);

    // May be called from any thread at any time, set-up included: the run ends at its next read
    // and posts "Cancelled".
    void cancel();

    // How a finished run ended, and its final message as posted (with Error, why).
    enum class Ending
    {
        EndOfFile,
        Stopped,
        StopCondition, // one of the file limits' stop conditions
        LineSilent,
        Error
    };
    Ending ending();
    QString endingMessage();

    // The timeslot request and the length of its echo after "ATU", once run() has built them.
    QString request() const { return m_request; }
    int echoLength() const { return m_echoLength; }

protected:
    void run() override;

private:
    void buildCommand();
    bool setUp();
    bool openSource();
    bool openRawFiles();
    SplitHandler* buildFront();
    bool buildChain();
    void buildTaps(SplitHandler* splitter);
    void buildDeframers(SplitHandler* splitter, const TraceType& type);
    void sendCommand();
    void readLoop();
    void endPortRead(qint64 received);
    bool stopConditionMet();
    void destroyChain();
    void release();

    bool keepRunning();
    void setFinalMessage(const QString& text);
    QString finalMessage();

    RunSettings m_settings;
    QString m_request;
    SerialDevice* m_port; // set and cleared under m_controlLock: cancel() signals it
    QFile* m_inputFile;
    qint64 m_inputSize = 0; // of the replay file when it was opened
    OutputFile* m_rxRawFile;
    OutputFile* m_syncRawFile;
    QList<ChainHandler*> m_elements;
    MessageHandler* m_messageHandler;              // not owned
    StatHandler* m_statHandler;                    // not owned
    SplitHandler* m_splitter;                      // a replay's blocks go to it whole
    TraceFile* m_traceFile;                        // the writer's output file, if it has one
    std::unique_ptr<DeframingPipeline> m_pipeline; // a replay's, unless it may stop early
    int m_echoLength;
    // Set by cancel(): ends a wait for a reader of a FIFO or pipe that the output goes to.
    Event m_outputCancel;

    // Shared with cancel() on another thread. A cancel before the read loop starts (during
    // set-up, even before run()) stands, so there is no separate run flag to set.
    QMutex m_controlLock; // guards the fields below
    bool m_cancelled;
    QString m_finalMessage;
    bool m_fellSilent = false; // the tester streamed, then stopped
    bool m_stopConditionMet = false;
    Ending m_ending = Ending::Error;
    QString m_endingMessage; // a cancel() after the end changes the final message, not this
};

#endif
