#include "acquisition/datagatherer.h"

#include "acquisition/deframingpipeline.h"
#include "acquisition/tracetypes.h"
#include "capture/chainhandler.h"
#include "capture/debuglog.h"
#include "capture/framehold.h"
#include "capture/hdlchandler.h"
#include "capture/headerhandler.h"
#include "capture/messagehandler.h"
#include "capture/skiphandler.h"
#include "capture/splithandler.h"
#include "capture/unitfeeder.h"
#include "device/outputfile.h"
#include "device/serialdevice.h"
#include "writers/rawhandler.h"
#include "writers/tracefile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QMutexLocker>

namespace {

const char EndOfFileText[] = "End of file reached";

template <typename File> void closeAndDelete(File*& file)
{
    if (!file)
        return;
    file->close();
    delete file;
    file = nullptr;
}

} // namespace

DataGatherer::DataGatherer(QObject* parent)
    : QThread(parent), m_port(nullptr), m_inputFile(nullptr), m_rxRawFile(nullptr),
      m_syncRawFile(nullptr), m_messageHandler(nullptr), m_statHandler(nullptr),
      m_splitter(nullptr), m_traceFile(nullptr), m_echoLength(0), m_cancelled(false)
{}

DataGatherer::~DataGatherer()
{
    // The owner destroys the object only after the thread has finished; this finds nothing
    // left unless run() never ran.
    release();
}

void DataGatherer::setMessageHandler(MessageHandler* handler)
{
    m_messageHandler = handler;
    for (ChainHandler* element : std::as_const(m_elements))
        element->setMessageHandler(handler);
}

void DataGatherer::setStatHandler(StatHandler* handler)
{
    m_statHandler = handler;
    for (ChainHandler* element : std::as_const(m_elements))
        element->setStatHandler(handler);
}

void DataGatherer::cancel()
{
    QMutexLocker locker(&m_controlLock);
    m_finalMessage = QObject::tr("Cancelled");
    m_cancelled = true;
    m_outputCancel.set();
    // A request stuck on the line (a silent tester, a write held by flow control) ends now
    // instead of at its own limit, or never.
    if (m_port)
        m_port->cancel();
}

bool DataGatherer::keepRunning()
{
    QMutexLocker locker(&m_controlLock);
    return !m_cancelled;
}

void DataGatherer::setFinalMessage(const QString& text)
{
    QMutexLocker locker(&m_controlLock);
    m_finalMessage = text;
}

QString DataGatherer::finalMessage()
{
    QMutexLocker locker(&m_controlLock);
    return m_finalMessage;
}

DataGatherer::Ending DataGatherer::ending()
{
    QMutexLocker locker(&m_controlLock);
    return m_ending;
}

QString DataGatherer::endingMessage()
{
    QMutexLocker locker(&m_controlLock);
    return m_endingMessage;
}

void DataGatherer::run()
{
    buildCommand();
    // A cancel that came during set-up stands: nothing is asked of the tester then.
    if (setUp() && keepRunning()) {
        sendCommand();
        readLoop();
    }
    const QString message = finalMessage();
    {
        QMutexLocker locker(&m_controlLock);
        m_endingMessage = message;
        if (m_fellSilent)
            m_ending = Ending::LineSilent;
        else if (m_stopConditionMet && message.isEmpty())
            m_ending = Ending::StopCondition;
        else if (message == QLatin1String(EndOfFileText))
            m_ending = Ending::EndOfFile;
        else if (m_cancelled && message == QObject::tr("Cancelled"))
            m_ending = Ending::Stopped;
        else
            m_ending = Ending::Error;
    }
    if (m_messageHandler && !message.isEmpty())
        m_messageHandler->postError(message);
    release();
}

void DataGatherer::buildCommand()
{
    m_request = QString::asprintf("ATU%02u %02u\n", unsigned(m_settings.rxTimeslot),
                                  unsigned(m_settings.syncTimeslot));
    m_echoLength = int(m_request.length()) - 3;
}

bool DataGatherer::setUp()
{
    if (!openSource())
        return false;
    qCDebug(veziveLog, "Cleaning...");
    destroyChain();
    if (!buildChain())
        return false;
    for (ChainHandler* element : std::as_const(m_elements)) {
        element->setMessageHandler(m_messageHandler);
        element->setStatHandler(m_statHandler);
    }
    // An output that cannot be opened is found before the source is read or the tester asked to
    // stream, and a pipe or FIFO learns the format at once from the file header.
    if (m_traceFile) {
        m_traceFile->setCancelEvent(&m_outputCancel);
        return m_traceFile->openOnce();
    }
    return true;
}

bool DataGatherer::openSource()
{
    if (m_settings.sourceType == RunSettings::PortSource) {
        auto* port = new SerialDevice;
        port->setPortName(m_settings.portName);
        {
            // cancel() reaches the device through m_port from another thread.
            QMutexLocker locker(&m_controlLock);
            m_port = port;
            if (m_cancelled)
                port->cancel();
        }
        port->open(QIODevice::ReadWrite | QIODevice::Unbuffered);
        if (!port->isOpen()) {
            // The system's reason (busy, missing, no access) as a log line: an error here would
            // make the window cancel the run and replace the final message.
            if (m_messageHandler && !port->errorString().isEmpty())
                m_messageHandler->postMessage(m_settings.portName + QLatin1String(": ") +
                                              port->errorString());
            setFinalMessage(QObject::tr("Port isn't initialized"));
            return false;
        }
        return true;
    }
    qCDebug(veziveLog, "creating QFile");
    m_inputFile = new QFile(m_settings.inputFileName);
    if (!m_inputFile->exists()) {
        setFinalMessage(QObject::tr("File doesn't exist"));
        return false;
    }
    qCDebug(veziveLog, "opening QFile");
    m_inputFile->open(QIODevice::ReadOnly);
    qCDebug(veziveLog, "open finished");
    if (!m_inputFile->isOpen()) {
        setFinalMessage(QObject::tr("Cannot open input file"));
        return false;
    }
    qCDebug(veziveLog, "opened");
    // A regular file that reads as ended before this size was cut short under the reader.
    m_inputSize = m_inputFile->size();
    return true;
}

bool DataGatherer::openRawFiles()
{
    m_rxRawFile = new OutputFile(m_settings.outputFileName);
    m_syncRawFile = new OutputFile(m_settings.syncFileName);
    // Both are opened before either is emptied: a Sync file that cannot be opened leaves the RX
    // file as it was.
    for (OutputFile* file : {m_rxRawFile, m_syncRawFile}) {
        file->setCancelEvent(&m_outputCancel);
        if (!file->open()) {
            setFinalMessage(file->fileName() + QLatin1String(": ") + file->errorString());
            return false;
        }
    }
    for (OutputFile* file : {m_rxRawFile, m_syncRawFile}) {
        if (!file->resize(0)) {
            setFinalMessage(file->fileName() + QLatin1String(": ") + file->errorString());
            return false;
        }
    }
    return true;
}

SplitHandler* DataGatherer::buildFront()
{
    auto* splitter = new SplitHandler;
    if (m_settings.sourceType == RunSettings::PortSource) {
        auto* header = new HeaderHandler;
        auto* skipper = new SkipHandler(unsigned(m_echoLength));
        header->setNext(skipper);
        skipper->setNext(splitter);
        m_elements.append(header);
        m_elements.append(skipper);
    }
    m_elements.append(splitter);
    m_splitter = splitter;
    return splitter;
}

bool DataGatherer::buildChain()
{
    const TraceType* type = traceType(m_settings.traceType);
    if (!type)
        return false;
    if (type->buildWriter) {
        buildDeframers(buildFront(), *type);
        return true;
    }
    // Raw: the channel files are opened before anything else is built.
    if (!openRawFiles())
        return false;
    buildTaps(buildFront());
    return true;
}

void DataGatherer::buildTaps(SplitHandler* splitter)
{
    auto* rxTap = new RawHandler(m_rxRawFile, QStringLiteral("Rx"));
    auto* syncTap = new RawHandler(m_syncRawFile, QStringLiteral("Sync"));
    m_elements.append(rxTap);
    m_elements.append(syncTap);
    splitter->setNext(rxTap);
    splitter->setSecondNext(syncTap);
}

void DataGatherer::buildDeframers(SplitHandler* splitter, const TraceType& type)
{
    const auto deStuffing = m_settings.deframerShifts ? HdlcHandler::DeStuffing::Shifts
                                                      : HdlcHandler::DeStuffing::Automatic;
    auto* rxDeframer = new HdlcHandler(0, deStuffing);
    auto* syncDeframer = new HdlcHandler(1, deStuffing);
    m_elements.append(rxDeframer);
    m_elements.append(syncDeframer);
    splitter->setNext(rxDeframer);
    splitter->setSecondNext(syncDeframer);
    if (m_settings.hasStartTime) {
        rxDeframer->setTimestamp(m_settings.startSeconds, m_settings.startMicroseconds);
        syncDeframer->setTimestamp(m_settings.startSeconds, m_settings.startMicroseconds);
    }

    // A replay deframes in batches, on helper threads and this one, and the writer stamps with a
    // deframer that stands in for the RX one. One that may stop at a stop condition goes read by
    // read instead: it ends at the read that met it, and the deframers' counters with it.
    const bool pipelined =
        m_settings.sourceType == RunSettings::FileSource && !m_settings.fileLimits.stops();
    HdlcHandler* clock = rxDeframer;
    if (pipelined) {
        clock = new HdlcHandler(0);
        clock->standAt(rxDeframer->clockStart(), rxDeframer->position());
        m_elements.append(clock);
    }
    const BuiltWriter writer = type.buildWriter({clock, m_settings.outputFileName,
                                                 m_settings.linkType, m_settings.minPacketLength,
                                                 m_settings.rxTimeslot, m_settings.syncTimeslot});
    m_elements.append(writer.element);
    if (pipelined) {
        m_pipeline = std::make_unique<DeframingPipeline>(splitter, rxDeframer, syncDeframer, clock,
                                                         writer.element, writer.file);
    } else {
        auto* syncHold = new FrameHold(syncDeframer);
        m_elements.insert(m_elements.size() - 1, syncHold);
        rxDeframer->setNext(writer.element);
        syncDeframer->setNext(syncHold);
        syncHold->setNext(writer.element);
        splitter->setSyncHold(syncHold);
    }
    // A replay file is read far faster than a line delivers, so its records are collected and
    // written in large pieces; a live line's are written as they come.
    m_traceFile = writer.file;
    if (m_traceFile) {
        m_traceFile->setBuffered(m_settings.sourceType == RunSettings::FileSource);
        m_traceFile->setLimits(m_settings.fileLimits);
    }
}

void DataGatherer::sendCommand()
{
    if (!m_port)
        return;
    const QByteArray bytes = m_request.toLatin1();
    m_port->write(bytes.constData(), bytes.size());
    m_port->flush();
}

void DataGatherer::readLoop()
{
    if (m_elements.isEmpty())
        return;
    ChainHandler* head = m_elements.first();
    QByteArray buffer(ReadBlockSize, '\0');
    char* data = buffer.data();
    qint64 received = 0;
    while (keepRunning()) {
        qint64 n = 0;
        if (m_port) {
            n = m_port->readWithLineTimeouts(data, ReadBlockSize);
            if (n <= 0) {
                endPortRead(received);
                break;
            }
            received += n;
        } else {
            // The end is where a read comes back empty: atEnd() believes the size, which a
            // pipe or a /proc file does not have, and which a file cut short no longer has.
            n = m_inputFile->read(data, ReadBlockSize);
            if (n < 0) {
                // Ending without a word would pass a damaged replay off as a complete one.
                setFinalMessage(QCoreApplication::translate("QObject", "Cannot read file ") +
                                m_settings.inputFileName + QLatin1Char(':') +
                                m_inputFile->errorString());
                break;
            }
            if (n == 0) {
                if (m_inputFile->pos() < m_inputSize)
                    setFinalMessage(QCoreApplication::translate("QObject", "Cannot read file ") +
                                    m_settings.inputFileName + QLatin1Char(':') +
                                    QObject::tr("File got shorter while it was read"));
                else
                    setFinalMessage(QLatin1String(EndOfFileText));
                break;
            }
        }
        // A short read means the source has nothing more for now (a pipe, a file still being
        // written): what came so far goes out.
        const bool shortRead = n < ReadBlockSize;
        if (m_pipeline) {
            m_pipeline->add(data, int(n), shortRead);
            continue;
        }
        // A port's reads go unit by unit, as they always have; a replay's blocks go whole, to
        // the same effect.
        if (m_port)
            feedInUnits(head, data, int(n));
        else
            m_splitter->processBlock(data, int(n));
        if (m_traceFile && shortRead)
            m_traceFile->flush();
        if (stopConditionMet())
            break;
    }
    // Whatever was read is written, also when the run was stopped or a read failed.
    if (m_pipeline)
        m_pipeline->finish();
}

// The trace file refuses every record past a stop condition; the run ends at the read that met
// it, or, on a line without frames, once the line time has run out.
bool DataGatherer::stopConditionMet()
{
    if (!m_traceFile)
        return false;
    m_traceFile->checkLineTime();
    const QString reason = m_traceFile->stopReason();
    if (reason.isEmpty())
        return false;
    {
        QMutexLocker locker(&m_controlLock);
        m_stopConditionMet = true;
    }
    if (m_messageHandler)
        m_messageHandler->postMessage(QObject::tr("Stop condition reached: %1").arg(reason));
    return true;
}

void DataGatherer::endPortRead(qint64 received)
{
    const QString error = m_port->errorString();
    const bool stopped = m_port->isCancelled();
    const QString silence = QObject::tr("No data from the tester for %1 s").arg(SilenceSeconds);
    {
        QMutexLocker locker(&m_controlLock);
        // Neither a silent line nor the read that Stop itself ended may wipe out "Cancelled".
        if (m_cancelled && (error.isEmpty() || stopped))
            return;
        if (!error.isEmpty() || received == 0) {
            // A port that never gave a byte is no tester at all: that is an error.
            m_finalMessage =
                error.isEmpty() ? m_settings.portName + QLatin1String(": ") + silence : error;
            return;
        }
    }
    // A tester that streamed and then fell silent ends the run normally, saying so.
    {
        QMutexLocker locker(&m_controlLock);
        m_fellSilent = true;
    }
    if (m_messageHandler)
        m_messageHandler->postMessage(silence);
}

void DataGatherer::destroyChain()
{
    m_pipeline.reset();
    m_splitter = nullptr;
    m_traceFile = nullptr;
    for (ChainHandler* element : std::as_const(m_elements))
        delete element;
    m_elements.clear();
    closeAndDelete(m_rxRawFile);
    closeAndDelete(m_syncRawFile);
}

void DataGatherer::release()
{
    destroyChain();
    if (m_port) {
        m_port->close();
        SerialDevice* port = m_port;
        {
            QMutexLocker locker(&m_controlLock);
            m_port = nullptr;
        }
        delete port;
    }
    closeAndDelete(m_inputFile);
}
