#ifndef DATAGATHERER_H
#define DATAGATHERER_H

#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>

class ChainHandler;
class HdlcHandler;
class MessageHandler;
class QFile;
class SerialDevice;
class SplitHandler;
class StatHandler;
class TraceFile;

// The worker thread of one capture run: asks the tester for the two timeslots, opens the source
// (serial port or replay file), builds the chain for the trace type, pushes the source into it
// in 4-byte units until the source ends, fails or the run is cancelled, then posts its final
// message and releases everything.
class DataGatherer : public QThread
{
    Q_OBJECT
public:
    enum TraceType
    {
        Raw = 0,
        Pcap = 1,
        Toshiba = 2,
        I4b = 3,
        I7 = 4,
        Loopback = 5
    };
    enum SourceType
    {
        PortSource = 0,
        FileSource = 1
    };
    static constexpr int ReadBlockSize = 4096;

    explicit DataGatherer(QObject* parent = nullptr);
    ~DataGatherer() override;

    void setTraceType(int type) { m_traceType = type; }
    void setSourceType(int type) { m_sourceType = type; }
    void setPortName(const QString& name) { m_portName = name; }
    void setInputFileName(const QString& name) { m_inputFileName = name; }
    void setOutputFileName(const QString& name) { m_outputFileName = name; }
    void setSyncFileName(const QString& name) { m_syncFileName = name; }
    void setMinPacketLength(unsigned short length) { m_minPacketLength = length; }
    void setLinkType(unsigned short type) { m_linkType = type; }
    void setRxTimeslot(unsigned char timeslot) { m_rxTimeslot = timeslot; }
    void setSyncTimeslot(unsigned char timeslot) { m_syncTimeslot = timeslot; }
    // Both deframers de-stuff by shifts, as on a processor without a fast bit extract.
    void setDeframerShifts(bool shifts) { m_deframerShifts = shifts; }
    // Both channel clocks start here instead of at the wall clock of the first octet, so a
    // replay of the same stream gives the same trace.
    void setStartTime(quint32 seconds, quint32 microseconds)
    {
        m_hasStartTime = true;
        m_startSeconds = seconds;
        m_startMicroseconds = microseconds;
    }
    void setMessageHandler(MessageHandler* handler);
    void setStatHandler(StatHandler* handler);

    // May be called from any thread at any time, set-up included: the run ends at its next read
    // and posts "Cancelled".
    void cancel();

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
    ChainHandler* buildWriter(HdlcHandler* rxDeframer);
    template <typename Writer> ChainHandler* withTraceFile(Writer* writer);
    void sendCommand();
    void readLoop();
    void endPortRead();
    void destroyChain();
    void release();

    bool keepRunning();
    void setFinalMessage(const QString& text);
    QString finalMessage();

    int m_traceType;
    int m_sourceType;
    QString m_portName;
    QString m_inputFileName;
    QString m_outputFileName;
    QString m_syncFileName;
    QString m_request;
    unsigned short m_minPacketLength;
    unsigned short m_linkType;
    unsigned char m_rxTimeslot;
    unsigned char m_syncTimeslot;
    bool m_deframerShifts = false;
    SerialDevice* m_port; // set and cleared under m_controlLock: cancel() signals it
    QFile* m_inputFile;
    QFile* m_rxRawFile;
    QFile* m_syncRawFile;
    QList<ChainHandler*> m_elements;
    MessageHandler* m_messageHandler; // not owned
    StatHandler* m_statHandler;       // not owned
    TraceFile* m_traceFile;           // the writer's output file, if it has one
    int m_echoLength;
    bool m_hasStartTime;
    quint32 m_startSeconds;
    quint32 m_startMicroseconds;

    // Shared with cancel() on another thread. A cancel before the read loop starts (during
    // set-up, even before run()) stands, so there is no separate run flag to set.
    QMutex m_controlLock; // guards the two fields below
    bool m_cancelled;
    QString m_finalMessage;
};

#endif
