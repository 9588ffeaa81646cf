#include "chainrun.h"

#include "acquisition/datagatherer.h"
#include "acquisition/deframingpipeline.h"
#include "acquisition/tracetypes.h"
#include "capture/bitextract.h"
#include "capture/framehold.h"
#include "capture/headerhandler.h"
#include "capture/messagehandler.h"
#include "capture/skiphandler.h"
#include "capture/splithandler.h"
#include "capture/unitfeeder.h"
#include "chainoracle.h"
#include "device/outputfile.h"
#include "fuzzcheck.h"
#include "fuzzenvironment.h"
#include "testchains.h"
#include "testfiles.h"
#include "tracereaders.h"
#include "writers/i4bhandler.h"
#include "writers/i7handler.h"
#include "writers/loopbackhandler.h"
#include "writers/pcaphandler.h"
#include "writers/rawhandler.h"
#include "writers/toshibahandler.h"

#include <memory>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <vector>

ChainInput ChainInput::decode(const char* data, qsizetype size)
{
    ByteReader in(data, size);
    ChainInput input;
    input.writer = in.u8();
    input.minLength = in.le16();
    input.skip = in.u8() % 16;
    input.seconds = in.le32();
    input.microseconds = in.le32();
    input.cuts = Cuts::read(in, MaxCuts, MaxBlock, MaxBlock);
    input.stream = in.rest();
    return input;
}

QByteArray ChainInput::encode() const
{
    QByteArray out;
    out.append(char(writer));
    putLe16(out, minLength);
    out.append(char(skip));
    putLe32(out, seconds);
    putLe32(out, microseconds);
    cuts.write(out);
    return out + stream;
}

namespace {

// Carries the loopback address, but no interface of that name exists.
const QByteArray AbsentAdapter = "vzfuzz0";
constexpr unsigned short LoopbackLinkType = 140;

int traceTypeOf(WriterKind kind)
{
    switch (kind) {
    case WriterKind::RawTaps:
        return TraceTypes::Raw;
    case WriterKind::PcapNull:
    case WriterKind::PcapMtp2:
    case WriterKind::PcapIsdn:
        return TraceTypes::Pcap;
    case WriterKind::Toshiba:
        return TraceTypes::Toshiba;
    case WriterKind::I4b:
        return TraceTypes::I4b;
    case WriterKind::I7:
        return TraceTypes::I7;
    default:
        return TraceTypes::Loopback;
    }
}

unsigned short linkTypeOf(WriterKind kind)
{
    switch (kind) {
    case WriterKind::PcapNull:
        return 0;
    case WriterKind::PcapMtp2:
        return 140;
    case WriterKind::PcapIsdn:
        return 147;
    default:
        return LoopbackLinkType;
    }
}

LoopbackHandler::AdapterSource adaptersFor(WriterKind kind)
{
    if (kind == WriterKind::LoopbackNoList)
        return [](QList<NetworkAdapter>&) { return false; };
    const bool withLoopback = kind == WriterKind::LoopbackAbsent;
    return [withLoopback](QList<NetworkAdapter>& adapters) {
        adapters = {{"lo", QByteArray(6, '\0')},
                    {"short0", QByteArray::fromHex("02004c4f4f")},
                    {"other0", QByteArray::fromHex("02004c4f4f51")}};
        if (withLoopback)
            adapters.append({AbsentAdapter, QByteArray::fromHex("02004c4f4f50aa")});
        return true;
    };
}

// The writer of the kind; file is set to its trace file (null for the loopback).
ChainHandler* newWriter(WriterKind kind, HdlcHandler* rx, const QString& name, quint16 minLength,
                        TraceFile** file)
{
    const auto withFile = [file](auto* writer) {
        *file = &writer->traceFile();
        return writer;
    };
    *file = nullptr;
    switch (kind) {
    case WriterKind::PcapNull:
    case WriterKind::PcapMtp2:
    case WriterKind::PcapIsdn:
        return withFile(new PcapHandler(rx, name, linkTypeOf(kind), minLength));
    case WriterKind::Toshiba:
        return withFile(new ToshibaHandler(rx, name, minLength));
    case WriterKind::I4b:
        return withFile(new I4bHandler(rx, name, minLength));
    case WriterKind::I7:
        return withFile(new I7Handler(rx, name, minLength));
    default:
        return new LoopbackHandler(LoopbackLinkType, minLength, adaptersFor(kind));
    }
}

// The sizes a binary trace file goes through while the run goes on, from the packets delivered
// so far: one per record long enough to be written, after the file header.
class FileGrowth
{
public:
    FileGrowth(WriterKind kind, quint16 minLength) : m_kind(kind), m_minLength(minLength) {}

    bool tracked() const
    {
        return m_kind == WriterKind::I4b || m_kind == WriterKind::I7 ||
               traceTypeOf(m_kind) == TraceTypes::Pcap;
    }

    // Takes the packets delivered since the last call.
    void follow(const QList<StampedPacket>& delivered)
    {
        for (; m_seen < delivered.size(); ++m_seen) {
            const qint64 frame = delivered[m_seen].bytes.size() - 1;
            const bool pcap = traceTypeOf(m_kind) == TraceTypes::Pcap;
            // The PCAP file comes with the first frame, the others with the first one written.
            if (m_whole < 0 && (pcap || frame >= m_minLength))
                grow(pcap                       ? PcapHandler::GlobalHeaderSize
                     : m_kind == WriterKind::I7 ? I7Handler::FileHeaderSize
                                                : 0);
            if (frame < m_minLength)
                continue;
            if (pcap)
                grow(m_whole + PcapHandler::RecordHeaderSize + frame);
            else if (m_kind == WriterKind::I4b)
                grow(m_whole + I4bHandler::RecordHeaderSize + frame);
            else
                grow(m_whole + I7Handler::RecordHeaderSize + frame + I7Handler::ClosingBytes);
        }
    }

    // The size with every record so far written; -1 while the file must not exist.
    qint64 whole() const { return m_whole; }
    // Missing, empty or ending after the header or a whole record.
    bool isBoundary(qint64 size) const { return size <= 0 || m_boundaries.contains(size); }

private:
    void grow(qint64 size)
    {
        m_whole = size;
        m_boundaries.insert(size);
    }

    WriterKind m_kind;
    qint64 m_minLength;
    qsizetype m_seen = 0;
    qint64 m_whole = -1;
    QSet<qint64> m_boundaries;
};

qint64 sizeOnDisk(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() ? info.size() : -1;
}

QString settingsFile()
{
    return FuzzEnvironment::path(QStringLiteral("%1/%2.conf")
                                     .arg(QLatin1String(LoopbackHandler::SettingsOrganisation),
                                          QLatin1String(LoopbackHandler::SettingsApplication)));
}

struct Outcome
{
    QStringList messages;
    quint64 counts[StatHandler::CounterCount] = {};
    QString output;
    QString syncOutput;
};

Outcome collect(MessageHandler& messages, StatHandler& stats, const QString& output,
                const QString& syncOutput)
{
    Outcome outcome;
    outcome.messages = drainMessages(messages);
    for (int i = 0; i < StatHandler::CounterCount; ++i)
        outcome.counts[i] = stats.value(i);
    outcome.output = output;
    outcome.syncOutput = syncOutput;
    return outcome;
}

// Checks one writer's file and returns the two totals lines it must have posted (none when it
// must not have made a file). Sets bytesStat to what the "Bytes" counter must show.
QStringList checkTraceFile(WriterKind kind, const QList<StampedPacket>& delivered,
                           const QList<StampedPacket>& written, const QString& path,
                           quint64* bytesStat)
{
    const bool fileWanted = kind == WriterKind::Toshiba || traceTypeOf(kind) == TraceTypes::Pcap
                                ? !delivered.isEmpty()
                                : !written.isEmpty();
    FUZZ_REQUIRE(QFile::exists(path) == fileWanted,
                 QStringLiteral("file made: %1, packets delivered %2, long enough %3")
                     .arg(QFile::exists(path))
                     .arg(delivered.size())
                     .arg(written.size()));
    *bytesStat = 0;
    if (!fileWanted)
        return {};
    const QByteArray bytes = fileContents(path);
    QList<QByteArray> packets;
    QList<ChannelClock> stamps;
    for (const StampedPacket& packet : written) {
        packets.append(packet.bytes);
        stamps.append(packet.stamp);
    }
    const QString mismatch =
        traceMismatch(traceTypeOf(kind), bytes, packets, stamps, linkTypeOf(kind));
    FUZZ_REQUIRE(mismatch.isEmpty(), mismatch);
    const qsizetype size = bytes.size();
    qsizetype recordBytes = size;
    qsizetype totalBytes = size;
    if (kind == WriterKind::Toshiba) {
        recordBytes = size - qsizetype(qstrlen(ToshibaHandler::FileHeader));
    } else if (kind == WriterKind::I7) {
        recordBytes = size - I7Handler::FileHeaderSize;
    } else if (kind != WriterKind::I4b) {
        recordBytes = size - PcapHandler::GlobalHeaderSize;
        totalBytes = recordBytes; // its totals leave the file header out
    }
    *bytesStat = quint64(recordBytes);
    return totalsPosted(quint32(written.size()), quint32(totalBytes));
}

void checkOutcome(WriterKind kind, quint16 minLength, const ChainExpectation& expected,
                  const Outcome& outcome, QStringList want)
{
    QList<StampedPacket> written;
    for (const StampedPacket& packet : expected.packets) {
        if (packet.bytes.size() - 1 >= minLength)
            written.append(packet);
    }
    quint64 bytesStat = 0;
    quint32 packetsStat = 0;
    QStringList messages = outcome.messages;

    if (kind == WriterKind::RawTaps) {
        const QByteArray rx = fileContents(outcome.output);
        const QByteArray sync = fileContents(outcome.syncOutput);
        FUZZ_REQUIRE(rx == expected.rxOctets,
                     QStringLiteral("RX file %1, expected %2")
                         .arg(hexSample(rx), hexSample(expected.rxOctets)));
        FUZZ_REQUIRE(sync == expected.syncOctets,
                     QStringLiteral("Sync file %1, expected %2")
                         .arg(hexSample(sync), hexSample(expected.syncOctets)));
        want << QStringLiteral("Rx: %1 bytes written").arg(rx.size())
             << QStringLiteral("Sync: %1 bytes written").arg(sync.size());
        bytesStat = quint64(rx.size() + sync.size());
    } else if (traceTypeOf(kind) == TraceTypes::Loopback) {
        // Nothing is ever sent: the adapter is never found or cannot be opened. Only a found
        // adapter is recorded in the settings.
        const bool recorded = !expected.packets.isEmpty() && kind == WriterKind::LoopbackAbsent;
        FUZZ_REQUIRE(QFile::exists(settingsFile()) == recorded, settingsFile());
        if (recorded) {
            want << QStringLiteral("Loopback adapter found!");
            FUZZ_REQUIRE(messages.size() == want.size() + 1 && messages.last().size() > 2 &&
                             messages.last().startsWith(QLatin1String("E:")),
                         messages.join(QLatin1Char('|')));
            messages.removeLast();
            const QByteArray store = fileContents(settingsFile());
            const QByteArray expectedStore =
                "[WinPcap]\nAdapterName=\\\\Device\\\\NPF_" + AbsentAdapter +
                "\nLinkType=" + QByteArray::number(LoopbackLinkType) + '\n';
            FUZZ_REQUIRE(store == expectedStore, QString::fromLocal8Bit(store));
        } else if (!expected.packets.isEmpty()) {
            want << QStringLiteral("E:Loopback adapter not found!");
        }
    } else {
        want += checkTraceFile(kind, expected.packets, written, outcome.output, &bytesStat);
        packetsStat = quint32(written.size());
    }

    FUZZ_REQUIRE(messages == want,
                 QStringLiteral("messages [%1], expected [%2]")
                     .arg(messages.join(QLatin1Char('|')), want.join(QLatin1Char('|'))));
    FUZZ_REQUIRE(outcome.counts[StatHandler::Packets] == packetsStat &&
                     outcome.counts[StatHandler::Bytes] == quint64(bytesStat),
                 QStringLiteral("packets %1 bytes %2, expected %3 and %4")
                     .arg(outcome.counts[StatHandler::Packets])
                     .arg(outcome.counts[StatHandler::Bytes])
                     .arg(packetsStat)
                     .arg(bytesStat));
    for (int i = StatHandler::ErroredLength; i <= StatHandler::TooLarge; ++i)
        FUZZ_REQUIRE(outcome.counts[i] == expected.counts[i],
                     QStringLiteral("counter %1 is %2, expected %3")
                         .arg(i)
                         .arg(outcome.counts[i])
                         .arg(expected.counts[i]));
}

void checkDelivered(const QList<StampedPacket>& delivered, const ChainExpectation& expected)
{
    FUZZ_REQUIRE(delivered.size() == expected.packets.size(),
                 QStringLiteral("%1 packets delivered, expected %2")
                     .arg(delivered.size())
                     .arg(expected.packets.size()));
    for (int i = 0; i < delivered.size(); ++i) {
        const StampedPacket& got = delivered[i];
        const StampedPacket& want = expected.packets[i];
        FUZZ_REQUIRE(got.bytes == want.bytes && got.stamp.seconds == want.stamp.seconds &&
                         got.stamp.microseconds == want.stamp.microseconds,
                     QStringLiteral("packet %1: %2 at %3.%4, expected %5 at %6.%7")
                         .arg(i)
                         .arg(hexSample(got.bytes))
                         .arg(got.stamp.seconds)
                         .arg(got.stamp.microseconds)
                         .arg(hexSample(want.bytes))
                         .arg(want.stamp.seconds)
                         .arg(want.stamp.microseconds));
    }
}

const QString HeaderError = QStringLiteral("E:Error reading ATU header. Invalid data. Halting.");

// The acquisition thread's body on the calling thread: the same set-up, read loop and release.
class InlineGatherer : public DataGatherer
{
public:
    void runHere() { run(); }
};

// A replay goes unit by unit as the reference, in whole blocks as a run that may stop early
// feeds it, or through the deframing pipeline in batches of a few reads as any other replay; the
// reference de-stuffs by shifts, the others by bit extract where the processor has the
// instruction at all.
enum class ChainSource
{
    Port,
    File,
    FileBlocks,
    Pipeline
};

struct ChainRun
{
    QList<int> blocks; // the calls into the head: read blocks for a file
    QList<StampedPacket> delivered;
    Outcome outcome;
};

// Builds the chain as the acquisition thread does, with the deframers' clocks set from the
// input and a tee before the writer, feeds the stream and destroys the chain.
ChainRun runElements(const ChainInput& input, ChainSource source)
{
    const WriterKind kind = input.kind();
    const QString suffix = QString::number(int(source));
    const QString output = FuzzEnvironment::path(QStringLiteral("chain-out") + suffix);
    const QString syncOutput = FuzzEnvironment::path(QStringLiteral("chain-sync") + suffix);
    QFile::remove(output);
    QFile::remove(syncOutput);
    QFile::remove(settingsFile());
    const ChannelClock start{input.seconds, input.microseconds};

    MessageHandler messages;
    StatHandler stats;
    // In chain order, destroyed in that order as the acquisition thread does.
    std::vector<std::unique_ptr<ChainHandler>> elements;
    const auto add = [&elements](auto* element) {
        elements.emplace_back(element);
        return element;
    };
    std::unique_ptr<OutputFile> rxFile;
    std::unique_ptr<OutputFile> syncFile;
    std::unique_ptr<DeframingPipeline> pipeline;

    ChainHandler* head = nullptr;
    auto* splitter = new SplitHandler;
    if (source == ChainSource::Port) {
        auto* header = add(new HeaderHandler);
        auto* skipper = add(new SkipHandler(input.skip));
        header->setNext(skipper);
        skipper->setNext(splitter);
        head = header;
    } else {
        head = splitter;
    }
    add(splitter);
    StampedSink* tee = nullptr;
    TraceFile* traceFile = nullptr;
    if (kind == WriterKind::RawTaps) {
        rxFile = std::make_unique<OutputFile>(output);
        syncFile = std::make_unique<OutputFile>(syncOutput);
        FUZZ_REQUIRE(rxFile->open() && rxFile->resize(0) && syncFile->open() && syncFile->resize(0),
                     output);
        splitter->setNext(add(new RawHandler(rxFile.get(), QStringLiteral("Rx"))));
        splitter->setSecondNext(add(new RawHandler(syncFile.get(), QStringLiteral("Sync"))));
    } else {
        using DeStuffing = HdlcHandler::DeStuffing;
        const bool blocks = source == ChainSource::FileBlocks || source == ChainSource::Pipeline;
        const DeStuffing deStuffing = !blocks           ? DeStuffing::Automatic
                                      : hasBitExtract() ? DeStuffing::BitExtract
                                                        : DeStuffing::Shifts;
        auto* rx =
            add(new HdlcHandler(0, source == ChainSource::File ? DeStuffing::Shifts : deStuffing));
        auto* sync =
            add(new HdlcHandler(1, source == ChainSource::File ? DeStuffing::Shifts : deStuffing));
        rx->setTimestamp(start.seconds, start.microseconds);
        sync->setTimestamp(start.seconds, start.microseconds);
        // Through the threads the writer stamps with a stand-in for the RX deframer.
        HdlcHandler* clock = rx;
        if (source == ChainSource::Pipeline) {
            clock = add(new HdlcHandler(0));
            clock->standAt(rx->clockStart(), rx->position());
        }
        tee = add(new StampedSink([clock] { return clock->timestamp(); }));
        auto* writer = add(newWriter(kind, clock, output, input.minLength, &traceFile));
        tee->setNext(writer);
        if (source == ChainSource::Pipeline) {
            // Batches of a few reads, or of one, so that reads meet batch ends anywhere; the
            // calling thread deframing alone, or with one or two helpers.
            const int batchOctets = 1 + int(input.stream.size() % 151);
            const int helpers = int(input.stream.size() / 151 % 3);
            pipeline = std::make_unique<DeframingPipeline>(splitter, rx, sync, clock, tee,
                                                           traceFile, batchOctets, helpers);
        } else {
            auto* hold = add(new FrameHold(sync));
            splitter->setNext(rx);
            splitter->setSecondNext(sync);
            splitter->setSyncHold(hold);
            rx->setNext(tee);
            sync->setNext(hold);
            hold->setNext(tee);
        }
    }
    for (const auto& element : elements) {
        element->setMessageHandler(&messages);
        element->setStatHandler(&stats);
    }

    // A replay's records are collected and written at every short read, as the acquisition
    // thread has it; a port run's go out one by one.
    const bool buffered = source != ChainSource::Port && traceFile;
    if (buffered)
        traceFile->setBuffered(true);
    FileGrowth growth(kind, input.minLength);

    const QList<int> blocks = input.cuts.blocks(input.stream.size());
    qsizetype at = 0;
    for (int size : blocks) {
        QByteArray block = input.stream.mid(at, size);
        if (source == ChainSource::Port)
            head->process(block, size);
        else if (source == ChainSource::File)
            feedInUnits(head, block.constData(), size);
        else if (pipeline)
            pipeline->add(block.constData(), size, size < ChainInput::MaxBlock);
        else
            splitter->processBlock(block.constData(), size);
        at += size;
        const bool flushed = buffered && size < ChainInput::MaxBlock;
        if (flushed)
            traceFile->flush();
        if (!growth.tracked())
            continue;
        growth.follow(tee->packets);
        const qint64 onDisk = sizeOnDisk(output);
        if (buffered && !flushed)
            FUZZ_REQUIRE(growth.isBoundary(onDisk),
                         QStringLiteral("%1 bytes on disk after %2 stream bytes, inside a record")
                             .arg(onDisk)
                             .arg(at));
        else
            FUZZ_REQUIRE(onDisk == growth.whole(),
                         QStringLiteral("%1 bytes on disk after %2 stream bytes, expected %3")
                             .arg(onDisk)
                             .arg(at)
                             .arg(growth.whole()));
    }

    if (pipeline)
        pipeline->finish();
    ChainRun run;
    run.blocks = blocks;
    run.delivered = tee ? tee->packets : QList<StampedPacket>();
    for (auto& element : elements)
        element.reset();
    if (rxFile) {
        rxFile->close();
        syncFile->close();
    }
    run.outcome = collect(messages, stats, output, syncOutput);
    return run;
}

// The acquisition thread over the stream as a replay file; false for the loopback, which it
// would send through the real adapters.
bool runGathererOnce(const ChainInput& input, Outcome* outcome)
{
    const WriterKind kind = input.kind();
    if (traceTypeOf(kind) == TraceTypes::Loopback)
        return false;
    const QString replay = FuzzEnvironment::path(QStringLiteral("replay.stream"));
    const QString output = FuzzEnvironment::path(QStringLiteral("gatherer-out"));
    const QString syncOutput = FuzzEnvironment::path(QStringLiteral("gatherer-sync"));
    QFile::remove(output);
    QFile::remove(syncOutput);
    FUZZ_REQUIRE(writeFile(replay, input.stream), replay);

    MessageHandler messages;
    StatHandler stats;
    {
        InlineGatherer gatherer;
        gatherer.setSourceType(RunSettings::FileSource);
        gatherer.setInputFileName(replay);
        gatherer.setTraceType(traceTypeOf(kind));
        gatherer.setOutputFileName(output);
        gatherer.setSyncFileName(syncOutput);
        gatherer.setMinPacketLength(input.minLength);
        gatherer.setLinkType(linkTypeOf(kind));
        gatherer.setStartTime(input.seconds, input.microseconds);
        gatherer.setMessageHandler(&messages);
        gatherer.setStatHandler(&stats);
        gatherer.runHere();
    }
    *outcome = collect(messages, stats, output, syncOutput);
    return true;
}

} // namespace

void runPortChain(const ChainInput& input)
{
    const ChainRun run = runElements(input, ChainSource::Port);
    const ChannelClock start{input.seconds, input.microseconds};
    const ChainExpectation expected =
        expectPortChain(input.stream, input.skip, run.blocks, start, input.deframes());
    checkDelivered(run.delivered, expected);
    checkOutcome(input.kind(), input.minLength, expected, run.outcome,
                 expected.headerError ? QStringList{HeaderError} : QStringList());
}

void runFileChains(const ChainInput& input)
{
    const ChainOracle oracle(input.stream, input.deframes());
    const ChannelClock start{input.seconds, input.microseconds};

    const ChainRun run = runElements(input, ChainSource::File);
    const ChainExpectation expected = oracle.expect(ChainOracle::inUnits(run.blocks), start);
    checkDelivered(run.delivered, expected);
    checkOutcome(input.kind(), input.minLength, expected, run.outcome, {});
    // Whole blocks, and batches through the threads, must give the very files the units gave.
    for (const ChainSource source : {ChainSource::FileBlocks, ChainSource::Pipeline}) {
        const ChainRun other = runElements(input, source);
        checkDelivered(other.delivered, expected);
        checkOutcome(input.kind(), input.minLength, expected, other.outcome, {});
        FUZZ_REQUIRE(
            fileContents(other.outcome.output) == fileContents(run.outcome.output) &&
                fileContents(other.outcome.syncOutput) == fileContents(run.outcome.syncOutput),
            source == ChainSource::Pipeline
                ? QStringLiteral("batches through the threads wrote other files than units")
                : QStringLiteral("whole blocks wrote other files than units"));
    }

    Outcome outcome;
    if (!runGathererOnce(input, &outcome))
        return;
    Cuts reads;
    reads.sizes = {DataGatherer::ReadBlockSize};
    const ChainExpectation fromReads =
        oracle.expect(ChainOracle::inUnits(reads.blocks(input.stream.size())), start);
    checkOutcome(input.kind(), input.minLength, fromReads, outcome,
                 {QStringLiteral("E:End of file reached")});
}
