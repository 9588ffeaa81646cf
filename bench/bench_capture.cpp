// Throughput of the capture engine on realistic signalling traffic, held against libosmocore's
// HDLC decoder on the same octets: the deframer on its own, and a whole file replay through the
// acquisition thread to Raw and each binary trace type, in a process that does nothing else so that
// its peak resident memory can be read too. Not a test: it prints figures, and fails only if the
// findings differ from what the encoder put on the line.

#include "acquisition/datagatherer.h"
#include "acquisition/tracetypes.h"
#include "capture/bitextract.h"
#include "capture/faultytraffic.h"
#include "capture/hdlchandler.h"
#include "capture/messagehandler.h"
#include "capture/signallingtraffic.h"
#include "capture/stathandler.h"
#include "capture/streamencoder.h"
#include "writers/i4bhandler.h"
#include "writers/i7handler.h"
#include "writers/pcaphandler.h"
#include "writers/pcapnghandler.h"

extern "C" {
#include <osmocom/core/isdnhdlc.h>
}

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double Megabyte = 1024.0 * 1024.0;
constexpr int BlockSize = 4096;
// Each fault kind turns up about once in this many frames on a channel.
constexpr int FaultOneIn = 500;
// Ones in an idle run: an abort, well short of the deframer's buffer.
constexpr int IdleRunOnes = 400;
constexpr unsigned short PcapLinkType = 140;
constexpr quint32 RxSeed = 0x5EED0001;
constexpr quint32 SyncSeed = 0x5EED0002;
// A 64 kbit/s timeslot carries 8000 octets a second; the stream has two bytes per octet pair.
constexpr double LineOctetsPerSecond = 8000.0;
constexpr double LineStreamBytesPerSecond = 2 * LineOctetsPerSecond;
constexpr int MaxSizeMegabytes = 2048;
// Our deframer's bit buffer bounds a frame; libosmocore gets room for the same.
constexpr int OsmoFrameBufferSize = int(HdlcHandler::BitBufferSize / 8);

constexpr double TargetPairsOverOsmo = 15.0;
constexpr double TargetPcapReplayMegabytes = 300.0;
constexpr double TargetWriterSpreadPercent = 20.0;
constexpr double TargetReplayRssMegabytes = 64.0;

// Hidden options of the replay child.
const QString ReplayOptionName = QStringLiteral("replay");
const QString ReplayInOptionName = QStringLiteral("replay-in");
const QString ReplayOutOptionName = QStringLiteral("replay-out");

double seconds(Clock::time_point start, Clock::time_point stop)
{
    return std::chrono::duration<double>(stop - start).count();
}

// Processor time of the whole process: on a machine shared with other work it moves far less
// than the wall clock, so it is printed beside every rate.
double cpuSeconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}

// A trace type the replay writes, and how its file is laid out. Raw writes each channel's octets to
// a file of its own and no records.
struct TraceKind
{
    TraceTypes::Index traceType;
    const char* label;
    int fileHeader;           // -1: as the writer builds it for this run
    int recordOverhead;       // per frame, besides the frame octets
    bool headerInPostedBytes; // "N bytes written" counts the file header too
    int recordAlign = 1;      // records padded to a multiple of this
};

constexpr TraceKind TraceKinds[] = {
    {TraceTypes::Raw, "Raw", 0, 0, false},
    {TraceTypes::Pcap, "PCAP", PcapHandler::GlobalHeaderSize, PcapHandler::RecordHeaderSize, false},
    {TraceTypes::I4b, "I4B", 0, I4bHandler::RecordHeaderSize, false},
    {TraceTypes::I7, "I7", I7Handler::FileHeaderSize,
     I7Handler::RecordHeaderSize + I7Handler::ClosingBytes, true},
    // The section header's texts name the system, so its size is asked of the writer.
    {TraceTypes::Pcapng, "pcapng", -1, PcapngHandler::PacketBlockOverhead, false, 4},
};

constexpr unsigned char BenchRxTimeslot = 1;
constexpr unsigned char BenchSyncTimeslot = 16;

qint64 fileHeaderSize(const TraceKind& kind)
{
    if (kind.fileHeader >= 0)
        return kind.fileHeader;
    return PcapngHandler::fileHeader(PcapLinkType, BenchRxTimeslot, BenchSyncTimeslot).size();
}

const TraceKind* traceKind(const QString& option)
{
    for (const TraceKind& kind : TraceKinds) {
        if (option == QLatin1String(traceType(kind.traceType)->name))
            return &kind;
    }
    return nullptr;
}

// What the encoder put on one channel, to hold the decoders' findings against.
struct ChannelPlan
{
    quint64 frames = 0;
    quint64 frameOctets = 0;
    quint64 badFcsItems = 0;
    quint64 abortedItems = 0;
    quint64 idleItems = 0;
    quint64 extraBitItems = 0;
    quint64 badCrc = 0;
    quint64 erroredLength = 0;
    quint64 tooLarge = 0;
};

ChannelPlan encodeChannel(ChannelEncoder& encoder, quint32 seed, qint64 octetTarget)
{
    SignallingTraffic traffic(seed);
    // Its own seed, so that the traffic itself is the same whatever the fault rate.
    FaultyTraffic faulty({FaultOneIn, FaultOneIn, FaultOneIn, 0, FaultOneIn, IdleRunOnes}, ~seed);
    encoder.setRecording(false);
    faulty.fill(encoder, traffic, quint64(octetTarget) * 8);
    ChannelPlan plan;
    plan.frames = faulty.count(FaultyTraffic::NoFault);
    plan.frameOctets = faulty.goodOctets();
    plan.badFcsItems = faulty.count(FaultyTraffic::BadFcs);
    plan.abortedItems = faulty.count(FaultyTraffic::Abort);
    plan.idleItems = faulty.count(FaultyTraffic::IdleRun);
    plan.extraBitItems = faulty.count(FaultyTraffic::ExtraBits);
    const DeframerOutcome& outcome = encoder.outcome();
    plan.badCrc = outcome.badCrc;
    plan.erroredLength = outcome.erroredLength;
    plan.tooLarge = outcome.tooLarge;
    return plan;
}

struct Workload
{
    ChannelPlan rx;
    ChannelPlan sync;
    QByteArray rxOctets;
    QByteArray stream;
};

Workload generate(qint64 octetsPerChannel)
{
    Workload work;
    QByteArray syncOctets;
    {
        ChannelEncoder rx;
        ChannelEncoder sync;
        work.rx = encodeChannel(rx, RxSeed, octetsPerChannel);
        work.sync = encodeChannel(sync, SyncSeed, octetsPerChannel);
        // As StreamFormat::captureData() pads them, but the RX octets are kept for the
        // decoder runs.
        const qint64 count = qint64((std::max(rx.bitCount(), sync.bitCount()) + 7) / 8);
        work.rxOctets = rx.octets(count);
        syncOctets = sync.octets(count);
    }
    work.stream = StreamFormat::interleave(work.rxOctets, syncOctets);
    return work;
}

// End of the deframer-only chain: counts and forgets.
class CountingSink : public ChainHandler
{
public:
    void process(QByteArray& /*data*/, int len) override
    {
        ++packets;
        frameOctets += quint64(len - 1); // without the channel tag
    }

    quint64 packets = 0;
    quint64 frameOctets = 0;
};

struct DecoderRun
{
    double seconds = 0;
    double cpuSeconds = 0;
    quint64 packets = 0;
    quint64 frameOctets = 0;
    quint64 badCrc = 0;
    quint64 erroredLength = 0; // libosmocore: framing errors
    quint64 tooLarge = 0;      // libosmocore: length errors
};

DecoderRun runDeframer(const QByteArray& octets, int unit, HdlcHandler::DeStuffing deStuffing)
{
    StatHandler stats;
    CountingSink sink;
    HdlcHandler deframer(0, deStuffing);
    deframer.setNext(&sink);
    deframer.setStatHandler(&stats);
    // Called as the splitter calls it, through the element's virtual process (the asm hides
    // the object's type from the compiler), on the octets where they lie, as libosmocore's
    // decoder is given them: copying two octets costs a library call, which would time the
    // harness rather than the deframer.
    ChainHandler* element = &deframer;
    asm("" : "+r"(element));
    const char* in = octets.constData();
    const qsizetype total = octets.size();

    const double cpuStart = cpuSeconds();
    const Clock::time_point start = Clock::now();
    for (qsizetype at = 0; at < total; at += unit) {
        const int n = int(std::min<qsizetype>(unit, total - at));
        QByteArray view = QByteArray::fromRawData(in + at, n);
        element->process(view, n);
    }
    const Clock::time_point stop = Clock::now();

    DecoderRun run;
    run.seconds = seconds(start, stop);
    run.cpuSeconds = cpuSeconds() - cpuStart;
    run.packets = sink.packets;
    run.frameOctets = sink.frameOctets;
    run.badCrc = stats.value(StatHandler::BadCrc);
    run.erroredLength = stats.value(StatHandler::ErroredLength);
    run.tooLarge = stats.value(StatHandler::TooLarge);
    return run;
}

// libosmocore's decoder on the same octets, fed as the deframer is. It takes the first line bit
// from the least significant bit of each octet, ours sits in the most significant one: hence the
// bit reversal. Each call returns at a frame's end, so one block may take several calls.
DecoderRun runOsmocore(const QByteArray& octets, int unit)
{
    osmo_isdnhdlc_vars vars;
    osmo_isdnhdlc_rcv_init(&vars, OSMO_HDLC_F_BITREVERSE);
    std::vector<uint8_t> frame(OsmoFrameBufferSize);
    const auto* in = reinterpret_cast<const uint8_t*>(octets.constData());
    const qsizetype total = octets.size();
    DecoderRun run;

    const double cpuStart = cpuSeconds();
    const Clock::time_point start = Clock::now();
    for (qsizetype at = 0; at < total; at += unit) {
        const uint8_t* src = in + at;
        int left = int(std::min<qsizetype>(unit, total - at));
        while (left > 0) {
            int count = 0;
            const int result =
                osmo_isdnhdlc_decode(&vars, src, left, &count, frame.data(), int(frame.size()));
            src += count;
            left -= count;
            if (result > 0) {
                ++run.packets;
                run.frameOctets += quint64(result);
            } else if (result == -OSMO_HDLC_CRC_ERROR) {
                ++run.badCrc;
            } else if (result == -OSMO_HDLC_FRAMING_ERROR) {
                ++run.erroredLength;
            } else if (result == -OSMO_HDLC_LENGTH_ERROR) {
                ++run.tooLarge;
            } else if (count == 0) {
                break; // cannot happen with input left; guards against spinning
            }
        }
    }
    const Clock::time_point stop = Clock::now();
    run.seconds = seconds(start, stop);
    run.cpuSeconds = cpuSeconds() - cpuStart;
    return run;
}

// One replay as the child process reports it, plus what the parent finds on disk.
struct ReplayRun
{
    bool childOk = false;
    QString childProblem;
    double seconds = 0;
    double cpuSeconds = 0;
    qint64 peakRssKilobytes = -1;
    quint64 packets = 0;
    quint64 statBytes = 0;
    quint64 badCrc = 0;
    quint64 erroredLength = 0;
    quint64 tooLarge = 0;
    QStringList errors;
    QStringList logLines;
    qint64 fileSize = -1;
    qint64 syncFileSize = -1;
};

QString syncPathFor(const QString& outPath)
{
    return outPath + QStringLiteral(".sync");
}

// "VmHWM:  12345 kB" from /proc/self/status: the peak resident set of this process.
qint64 peakRssKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    for (;;) {
        const QByteArray line = status.readLine();
        if (line.isEmpty())
            return -1;
        if (line.startsWith("VmHWM:")) {
            const QList<QByteArray> fields = line.mid(6).simplified().split(' ');
            bool ok = false;
            const qint64 value = fields.value(0).toLongLong(&ok);
            return ok ? value : -1;
        }
    }
}

// The child: one replay of a stream file through the acquisition thread, exactly as the
// programs run it, then its findings as "key value" lines on standard output.
int replayChild(const TraceKind& kind, const QString& inPath, const QString& outPath, bool shifts)
{
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    MessageHandler messages;
    StatHandler stats;
    DataGatherer gatherer;
    gatherer.setSourceType(RunSettings::FileSource);
    gatherer.setInputFileName(inPath);
    gatherer.setTraceType(kind.traceType);
    gatherer.setOutputFileName(outPath);
    gatherer.setSyncFileName(syncPathFor(outPath));
    gatherer.setLinkType(PcapLinkType);
    gatherer.setRxTimeslot(BenchRxTimeslot);
    gatherer.setSyncTimeslot(BenchSyncTimeslot);
    gatherer.setMinPacketLength(0);
    gatherer.setMessageHandler(&messages);
    gatherer.setStatHandler(&stats);
    gatherer.setDeframerShifts(shifts);

    const double cpuStart = cpuSeconds();
    const Clock::time_point start = Clock::now();
    gatherer.start(QThread::TimeCriticalPriority);
    gatherer.wait();
    const Clock::time_point stop = Clock::now();
    const double cpuStop = cpuSeconds();

    std::printf("seconds %.9f\n", seconds(start, stop));
    std::printf("cpu-seconds %.9f\n", cpuStop - cpuStart);
    std::printf("peak-rss-kb %lld\n", static_cast<long long>(peakRssKilobytes()));
    std::printf("packets %llu\n",
                static_cast<unsigned long long>(stats.value(StatHandler::Packets)));
    std::printf("bytes %llu\n", static_cast<unsigned long long>(stats.value(StatHandler::Bytes)));
    std::printf("bad-crc %llu\n",
                static_cast<unsigned long long>(stats.value(StatHandler::BadCrc)));
    std::printf("errored-length %llu\n",
                static_cast<unsigned long long>(stats.value(StatHandler::ErroredLength)));
    std::printf("too-large %llu\n",
                static_cast<unsigned long long>(stats.value(StatHandler::TooLarge)));
    while (messages.hasMessages()) {
        const Message message = messages.takeMessage();
        std::printf("%s %s\n", message.isError() ? "error" : "log", qPrintable(message.text()));
    }
    return 0;
}

ReplayRun runReplayChild(const TraceKind& kind, const QString& streamPath, const QString& outPath,
                         int timeoutMs, bool shifts)
{
    ReplayRun run;
    QFile::remove(outPath);
    QFile::remove(syncPathFor(outPath));
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{QStringLiteral("--") + ReplayOptionName,
                          QString::fromLatin1(traceType(kind.traceType)->name),
                          QStringLiteral("--") + ReplayInOptionName,
                          streamPath,
                          QStringLiteral("--") + ReplayOutOptionName,
                          outPath};
    if (shifts)
        arguments.append(QStringLiteral("--shifts"));
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForStarted(timeoutMs)) {
        run.childProblem = QStringLiteral("cannot start: ") + child.errorString();
        return run;
    }
    // Only a last guard against a hung replay; a healthy one ends far sooner.
    if (!child.waitForFinished(timeoutMs)) {
        child.kill();
        child.waitForFinished(-1);
        run.childProblem = QStringLiteral("did not end within %1 s").arg(timeoutMs / 1000);
        return run;
    }
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        run.childProblem = QStringLiteral("ended abnormally (exit code %1)").arg(child.exitCode());
        return run;
    }

    const QStringList lines =
        QString::fromLocal8Bit(child.readAllStandardOutput()).split(QLatin1Char('\n'));
    int fields = 0;
    for (const QString& line : lines) {
        const qsizetype space = line.indexOf(QLatin1Char(' '));
        if (space < 0)
            continue;
        const QString key = line.left(space);
        const QString value = line.mid(space + 1);
        if (key == QLatin1String("error")) {
            run.errors.append(value);
            continue;
        }
        if (key == QLatin1String("log")) {
            run.logLines.append(value);
            continue;
        }
        ++fields;
        if (key == QLatin1String("seconds"))
            run.seconds = value.toDouble();
        else if (key == QLatin1String("cpu-seconds"))
            run.cpuSeconds = value.toDouble();
        else if (key == QLatin1String("peak-rss-kb"))
            run.peakRssKilobytes = value.toLongLong();
        else if (key == QLatin1String("packets"))
            run.packets = value.toULongLong();
        else if (key == QLatin1String("bytes"))
            run.statBytes = value.toULongLong();
        else if (key == QLatin1String("bad-crc"))
            run.badCrc = value.toULongLong();
        else if (key == QLatin1String("errored-length"))
            run.erroredLength = value.toULongLong();
        else if (key == QLatin1String("too-large"))
            run.tooLarge = value.toULongLong();
        else
            --fields;
    }
    if (fields != 8 || run.seconds <= 0) {
        run.childProblem = QStringLiteral("reported %1 of 8 figures").arg(fields);
        return run;
    }
    run.fileSize = QFileInfo(outPath).size();
    const QFileInfo syncFile(syncPathFor(outPath));
    run.syncFileSize = syncFile.exists() ? syncFile.size() : -1;
    run.childOk = true;
    return run;
}

struct Measurement
{
    Measurement(const QString& name, const char* input, double lineBytesPerSecond)
        : name(name), input(input), lineBytesPerSecond(lineBytesPerSecond)
    {}

    QString name;
    const char* input;
    double lineBytesPerSecond;
    std::vector<double> rates;    // MB/s, in run order
    std::vector<double> cpuRates; // MB per processor second

    void add(double megabytes, double wallSeconds, double processorSeconds)
    {
        rates.push_back(megabytes / wallSeconds);
        // The process clock ticks coarsely: a tiny run may show none.
        cpuRates.push_back(processorSeconds > 0 ? megabytes / processorSeconds : 0);
    }
};

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void printMeasurement(const Measurement& m, double osmoBest)
{
    const double mid = median(m.rates);
    std::printf("%-38s %-12s %8.1f %8.1f %10.0f %9.2f   ", qPrintable(m.name), m.input, mid,
                median(m.cpuRates), mid * Megabyte / m.lineBytesPerSecond,
                osmoBest > 0 ? mid / osmoBest : 0.0);
    for (double rate : m.rates)
        std::printf(" %.1f", rate);
    std::printf("\n");
    std::fflush(stdout);
}

const char* verdict(bool ok)
{
    return ok ? "ok" : "MISMATCH";
}

const char* metOrNot(bool met)
{
    return met ? "met" : "not met";
}

QString megabytes(double bytes)
{
    return QString::number(bytes / Megabyte, 'f', 1) + QStringLiteral(" MB");
}

QString countsText(const DecoderRun& run)
{
    return QStringLiteral("%1 packets (%2 frame octets), bad FCS %3, errored length %4, too "
                          "large %5")
        .arg(run.packets)
        .arg(run.frameOctets)
        .arg(run.badCrc)
        .arg(run.erroredLength)
        .arg(run.tooLarge);
}

bool matchesPlan(const DecoderRun& run, const ChannelPlan& plan)
{
    return run.packets == plan.frames && run.frameOctets == plan.frameOctets &&
           run.badCrc == plan.badCrc && run.erroredLength == plan.erroredLength &&
           run.tooLarge == plan.tooLarge;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vezive-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Capture engine throughput on generated signalling traffic, against "
                       "libosmocore's HDLC decoder."));
    parser.addHelpOption();
    const QCommandLineOption sizeOption(
        QStringLiteral("size"), QStringLiteral("Stream size in MB (2^20 bytes), default 64."),
        QStringLiteral("MB"), QStringLiteral("64"));
    const QCommandLineOption repeatOption(QStringLiteral("repeat"),
                                          QStringLiteral("Timed runs per measurement, default 5."),
                                          QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption keepOption(
        QStringLiteral("keep"),
        QStringLiteral("Write the stream and trace files here and keep them."),
        QStringLiteral("DIR"));
    const QCommandLineOption shiftsOption(
        QStringLiteral("shifts"),
        QStringLiteral("De-stuff frames with shifts even where the processor has a fast bit "
                       "extract instruction, as one without it does."));
    QCommandLineOption replayOption(ReplayOptionName, QString(), QStringLiteral("TYPE"));
    QCommandLineOption replayInOption(ReplayInOptionName, QString(), QStringLiteral("FILE"));
    QCommandLineOption replayOutOption(ReplayOutOptionName, QString(), QStringLiteral("FILE"));
    for (QCommandLineOption* hidden : {&replayOption, &replayInOption, &replayOutOption})
        hidden->setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({sizeOption, repeatOption, keepOption, shiftsOption, replayOption,
                       replayInOption, replayOutOption});
    parser.process(app);
    const bool shifts = parser.isSet(shiftsOption);
    const auto deStuffing =
        shifts ? HdlcHandler::DeStuffing::Shifts : HdlcHandler::DeStuffing::Automatic;

    if (parser.isSet(replayOption)) {
        const TraceKind* kind = traceKind(parser.value(replayOption));
        if (!kind || !parser.isSet(replayInOption) || !parser.isSet(replayOutOption)) {
            std::fprintf(
                stderr,
                "--replay needs raw, pcap, i4b, i7 or pcapng, --replay-in and --replay-out\n");
            return 2;
        }
        return replayChild(*kind, parser.value(replayInOption), parser.value(replayOutOption),
                           shifts);
    }

    bool sizeOk = false;
    bool repeatOk = false;
    const int sizeMegabytes = parser.value(sizeOption).toInt(&sizeOk);
    const int repeat = parser.value(repeatOption).toInt(&repeatOk);
    if (!sizeOk || sizeMegabytes < 1 || sizeMegabytes > MaxSizeMegabytes) {
        std::fprintf(stderr, "--size must be 1 to %d\n", MaxSizeMegabytes);
        return 2;
    }
    if (!repeatOk || repeat < 1) {
        std::fprintf(stderr, "--repeat must be at least 1\n");
        return 2;
    }

    QTemporaryDir temporary;
    QString dir;
    const bool keep = parser.isSet(keepOption);
    if (keep) {
        dir = parser.value(keepOption);
        if (!QDir().mkpath(dir)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(dir));
            return 2;
        }
    } else {
        if (!temporary.isValid()) {
            std::fprintf(stderr, "cannot create a temporary directory\n");
            return 2;
        }
        dir = temporary.path();
    }
    dir = QFileInfo(dir).absoluteFilePath();
    const QString streamPath = QDir(dir).filePath(QStringLiteral("bench-stream.bin"));

    // Generation: not timed as part of any figure.
    const qint64 octetsPerChannel = qint64(sizeMegabytes) * qint64(Megabyte) / 2;
    const Clock::time_point generateStart = Clock::now();
    Workload work = generate(octetsPerChannel);
    const double generateSeconds = seconds(generateStart, Clock::now());
    const qint64 channelOctets = work.rxOctets.size();
    const qint64 streamBytes = work.stream.size();
    {
        QFile file(streamPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(work.stream) != streamBytes || !file.flush()) {
            std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(streamPath),
                         qPrintable(file.errorString()));
            return 2;
        }
    }
    work.stream = QByteArray();

    const quint64 frames = work.rx.frames + work.sync.frames;
    const quint64 frameOctets = work.rx.frameOctets + work.sync.frameOctets;
    // The writers' totals are 32 bits wide: a run whose files outgrow them cannot be checked.
    for (const TraceKind& kind : TraceKinds) {
        if (kind.traceType == TraceTypes::Raw)
            continue;
        const quint64 fileSize = fileHeaderSize(kind) + frameOctets +
                                 frames * quint64(kind.recordOverhead + kind.recordAlign - 1);
        if (fileSize > std::numeric_limits<quint32>::max()) {
            std::fprintf(stderr,
                         "--size %d makes a %s file of %s, past the writers' 32-bit "
                         "totals: choose a smaller size\n",
                         sizeMegabytes, kind.label, qPrintable(megabytes(double(fileSize))));
            return 2;
        }
    }

    std::printf("vezive-bench: capture engine throughput, MB = 2^20 bytes, medians of %d runs\n",
                repeat);
    std::printf("measures  on the same generated data: libosmocore's osmo_isdnhdlc_decode and "
                "our HdlcHandler on the RX channel's octets,\n"
                "          each fed 4096 and 2 octets per call; and a replay of the stream file "
                "through DataGatherer (4096-byte reads;\n"
                "          deframed in batches of reads by a helper thread for each spare "
                "processor, up to two,\n"
                "          and by the writing thread when it would wait) to Raw (both files), "
                "PCAP, I4B, I7 and pcapng,\n"
                "          file reading included, each in a child "
                "process that does only the replay and reports\n"
                "          its peak resident memory (VmHWM)\n");
    std::printf("targets   deframer at 2 octets per call >= %.0fx libosmocore (its faster feed); "
                "replay to PCAP >= %.0f MB/s of stream;\n"
                "          Raw at least as fast as PCAP, the other trace types within %.0f%% of "
                "it; replay peak RSS < %.0f MB\n",
                TargetPairsOverOsmo, TargetPcapReplayMegabytes, TargetWriterSpreadPercent,
                TargetReplayRssMegabytes);
    std::printf("destuff   %s\n", !shifts && fastBitExtract()
                                      ? "with the processor's bit extract instruction (BMI2 PEXT)"
                                      : "with shifts (no fast bit extract here, or --shifts)");
    std::printf("traffic   SS7 signalling units, each fault kind about 1 item in %d, seeds %#x "
                "(RX) %#x (Sync), generated in %.1f s (not timed)\n",
                FaultOneIn, RxSeed, SyncSeed, generateSeconds);
    std::printf("sizes     %lld octets per channel (%s), stream %lld bytes (%s), "
                "2 stream bytes per octet pair\n",
                static_cast<long long>(channelOctets), qPrintable(megabytes(channelOctets)),
                static_cast<long long>(streamBytes), qPrintable(megabytes(streamBytes)));
    auto printPlan = [](const char* name, const ChannelPlan& plan) {
        std::printf("%-9s %llu good frames (%llu octets), faults: %llu bad FCS, %llu aborted, "
                    "%llu idle runs, %llu extra bits\n",
                    name, static_cast<unsigned long long>(plan.frames),
                    static_cast<unsigned long long>(plan.frameOctets),
                    static_cast<unsigned long long>(plan.badFcsItems),
                    static_cast<unsigned long long>(plan.abortedItems),
                    static_cast<unsigned long long>(plan.idleItems),
                    static_cast<unsigned long long>(plan.extraBitItems));
    };
    printPlan("RX", work.rx);
    printPlan("Sync", work.sync);
    std::printf("files     %s (%s)\n\n", qPrintable(dir), keep ? "kept" : "temporary");
    std::fflush(stdout);

    bool allOk = true;
    QStringList details;

    // Every figure is also given as a ratio to libosmocore's faster feed. The four decoder
    // measurements take turns, round by round, so that a machine that slows down for a while
    // slows all of them alike. libosmocore's counts must not depend on how the octets are fed,
    // or the feeding loop is wrong.
    DecoderRun osmoLast;
    bool osmoFeedsAgree = true;
    auto osmoRun = [&](Measurement& m, int unit) {
        const DecoderRun run = runOsmocore(work.rxOctets, unit);
        m.add(double(channelOctets) / Megabyte, run.seconds, run.cpuSeconds);
        if (osmoLast.seconds > 0)
            osmoFeedsAgree =
                osmoFeedsAgree && run.packets == osmoLast.packets &&
                run.frameOctets == osmoLast.frameOctets && run.badCrc == osmoLast.badCrc &&
                run.erroredLength == osmoLast.erroredLength && run.tooLarge == osmoLast.tooLarge;
        osmoLast = run;
    };
    struct DeframerFigures
    {
        explicit DeframerFigures(const char* name)
            : measurement(QString::fromLatin1(name), "RX octets", LineOctetsPerSecond)
        {}
        Measurement measurement;
        DecoderRun last;
        bool ok = true;
    };
    auto deframerRun = [&](DeframerFigures& figures, int unit) {
        figures.last = runDeframer(work.rxOctets, unit, deStuffing);
        figures.measurement.add(double(channelOctets) / Megabyte, figures.last.seconds,
                                figures.last.cpuSeconds);
        figures.ok = figures.ok && matchesPlan(figures.last, work.rx);
    };
    Measurement osmoBlocks(QStringLiteral("libosmocore, 4096 octets per call"), "RX octets",
                           LineOctetsPerSecond);
    Measurement osmoPairs(QStringLiteral("libosmocore, 2 octets per call"), "RX octets",
                          LineOctetsPerSecond);
    DeframerFigures blocks("deframer, 4096 octets per call");
    DeframerFigures pairFigures("deframer, 2 octets per call");
    // One round first, not timed: the first runs of a process come out slower than the rest.
    runOsmocore(work.rxOctets, BlockSize);
    runOsmocore(work.rxOctets, 2);
    runDeframer(work.rxOctets, BlockSize, deStuffing);
    runDeframer(work.rxOctets, 2, deStuffing);
    for (int i = 0; i < repeat; ++i) {
        osmoRun(osmoBlocks, BlockSize);
        osmoRun(osmoPairs, 2);
        deframerRun(blocks, BlockSize);
        deframerRun(pairFigures, 2);
    }
    const double osmoBest = std::max(median(osmoBlocks.rates), median(osmoPairs.rates));

    std::printf("%-38s %-12s %8s %8s %10s %9s    %s\n", "measurement", "input", "MB/s", "CPU MB/s",
                "x realtime", "x osmo", "runs MB/s");
    printMeasurement(osmoBlocks, osmoBest);
    printMeasurement(osmoPairs, osmoBest);
    for (const DeframerFigures* figures : {&blocks, &pairFigures}) {
        allOk = allOk && figures->ok;
        details.append(QStringLiteral("%1: %2, per run; as encoded: %3")
                           .arg(figures->measurement.name, countsText(figures->last),
                                QString::fromLatin1(verdict(figures->ok))));
        printMeasurement(figures->measurement, osmoBest);
    }
    const Measurement& pairs = pairFigures.measurement;

    {
        // libosmocore drops the stray bits of some frames with extra bits before their closing
        // flag and takes the frame as good, where ours counts an errored length; otherwise the
        // two must find the same good frames.
        const quint64 fewest = work.rx.frames;
        const quint64 most = work.rx.frames + work.rx.extraBitItems;
        const bool ok = osmoFeedsAgree && osmoLast.packets >= fewest && osmoLast.packets <= most;
        allOk = allOk && ok;
        details.append(
            QStringLiteral("libosmocore: %1 good frames (%2 frame octets), CRC errors %3, framing "
                           "errors %4, length errors %5, per run and feed (%6); good frames %7 "
                           "to %8 expected (our deframer's, plus those with extra bits): %9")
                .arg(osmoLast.packets)
                .arg(osmoLast.frameOctets)
                .arg(osmoLast.badCrc)
                .arg(osmoLast.erroredLength)
                .arg(osmoLast.tooLarge)
                .arg(QString::fromLatin1(osmoFeedsAgree ? "the same" : "NOT the same"))
                .arg(fewest)
                .arg(most)
                .arg(QString::fromLatin1(verdict(ok))));
    }

    // Generous: a healthy replay runs many times faster than one second per MB.
    const int replayTimeoutMs = 60000 + 1000 * sizeMegabytes;
    double pcapReplayRate = 0;
    double pcapReplayCpuRate = 0;
    double rawReplayRate = 0;
    double slowestWriterRate = 0; // of the trace types with records, PCAP included
    QString slowestWriter;
    qint64 worstRssKilobytes = 0;
    QStringList rssTexts;
    for (const TraceKind& kind : TraceKinds) {
        const QString outPath = QDir(dir).filePath(
            QStringLiteral("bench-replay.") + QLatin1String(traceType(kind.traceType)->extension));
        Measurement m(QStringLiteral("replay to %1 (DataGatherer, file)").arg(kind.label),
                      "stream bytes", LineStreamBytesPerSecond);
        const bool raw = kind.traceType == TraceTypes::Raw;
        // Raw: the channel octets in a file each, both counted as bytes, no packets.
        const quint64 packets = raw ? 0 : frames;
        const quint64 unpadded =
            raw ? 2 * quint64(channelOctets) : frameOctets + frames * quint64(kind.recordOverhead);
        const quint64 mostPadding = frames * quint64(kind.recordAlign - 1);
        const quint64 header = raw ? 0 : quint64(fileHeaderSize(kind));
        // Padded records: the padding follows the frame lengths, which the plan does not keep,
        // so a run's own total stands once it lies within what padding can add.
        const auto recordsFor = [&](const ReplayRun& run) {
            const bool padded = mostPadding > 0 && run.statBytes >= unpadded &&
                                run.statBytes <= unpadded + mostPadding;
            return padded ? run.statBytes : unpadded;
        };
        const qint64 syncFileSize = raw ? channelOctets : -1;
        const auto fileSizeFor = [&](quint64 records) {
            return raw ? channelOctets : qint64(header + records);
        };
        const auto expectedLogFor = [&](quint64 records) {
            const quint64 postedBytes = records + (kind.headerInPostedBytes ? header : 0);
            return raw ? QStringList{QStringLiteral("Rx: %1 bytes written").arg(channelOctets),
                                     QStringLiteral("Sync: %1 bytes written").arg(channelOctets)}
                       : QStringList{QString::number(frames) + QStringLiteral(" packets written"),
                                     QString::number(postedBytes) +
                                         QStringLiteral(" bytes written")};
        };
        const quint64 badCrc = raw ? 0 : work.rx.badCrc + work.sync.badCrc;
        const quint64 erroredLength = raw ? 0 : work.rx.erroredLength + work.sync.erroredLength;
        const quint64 tooLarge = raw ? 0 : work.rx.tooLarge + work.sync.tooLarge;
        const QStringList expectedErrors{QStringLiteral("End of file reached")};
        ReplayRun last;
        bool ok = true;
        qint64 kindRss = 0;
        for (int i = 0; i < repeat && ok; ++i) {
            last = runReplayChild(kind, streamPath, outPath, replayTimeoutMs, shifts);
            if (!last.childOk) {
                ok = false;
                break;
            }
            m.add(double(streamBytes) / Megabyte, last.seconds, last.cpuSeconds);
            kindRss = std::max(kindRss, last.peakRssKilobytes);
            const quint64 records = recordsFor(last);
            ok = last.packets == packets && last.statBytes == records &&
                 last.fileSize == fileSizeFor(records) && last.syncFileSize == syncFileSize &&
                 last.badCrc == badCrc && last.erroredLength == erroredLength &&
                 last.tooLarge == tooLarge && last.errors == expectedErrors &&
                 last.logLines == expectedLogFor(records) && last.peakRssKilobytes > 0;
        }
        const quint64 records = recordsFor(last);
        const qint64 fileSize = fileSizeFor(records);
        const QStringList expectedLog = expectedLogFor(records);
        if (!keep) {
            QFile::remove(outPath);
            QFile::remove(syncPathFor(outPath));
        }
        allOk = allOk && ok;
        if (!m.rates.empty())
            printMeasurement(m, osmoBest);
        if (kind.traceType == TraceTypes::Pcap) {
            pcapReplayRate = median(m.rates);
            pcapReplayCpuRate = median(m.cpuRates);
        }
        if (raw) {
            rawReplayRate = median(m.rates);
        } else if (slowestWriter.isEmpty() || median(m.rates) < slowestWriterRate) {
            slowestWriterRate = median(m.rates);
            slowestWriter = QString::fromLatin1(kind.label);
        }
        worstRssKilobytes = std::max(worstRssKilobytes, kindRss);
        rssTexts.append(QStringLiteral("%1 %2").arg(kind.label, megabytes(kindRss * 1024.0)));

        if (!last.childOk) {
            details.append(QStringLiteral("replay to %1: the replay process %2: MISMATCH")
                               .arg(kind.label, last.childProblem));
            continue;
        }
        details.append(
            QStringLiteral("replay to %1: %2 packets, statistics %3 bytes, file %4 bytes (%5), "
                           "bad FCS %6, errored length %7, too large %8, per run; posted: "
                           "\"%9\"; as encoded: %10")
                .arg(QString::fromLatin1(kind.label))
                .arg(last.packets)
                .arg(last.statBytes)
                .arg(raw ? QStringLiteral("%1 + %2").arg(last.fileSize).arg(last.syncFileSize)
                         : QString::number(last.fileSize))
                .arg(megabytes(double(last.fileSize)))
                .arg(last.badCrc)
                .arg(last.erroredLength)
                .arg(last.tooLarge)
                .arg((last.errors + last.logLines).join(QStringLiteral("\", \"")))
                .arg(QString::fromLatin1(verdict(ok))));
        if (!ok)
            details.append(
                QStringLiteral("replay to %1 expected: %2 packets, statistics %3 bytes, file %4 "
                               "bytes, bad FCS %5, errored length %6, too large %7; posted: \"%8\"")
                    .arg(QString::fromLatin1(kind.label))
                    .arg(packets)
                    .arg(records)
                    .arg(raw ? QStringLiteral("%1 + %2").arg(fileSize).arg(syncFileSize)
                             : QString::number(fileSize))
                    .arg(badCrc)
                    .arg(erroredLength)
                    .arg(tooLarge)
                    .arg((expectedErrors + expectedLog).join(QStringLiteral("\", \""))));
    }

    std::printf("%-38s %-12s %8s   %s\n", "replay peak RSS (VmHWM), worst run", "",
                qPrintable(megabytes(worstRssKilobytes * 1024.0)),
                qPrintable(rssTexts.join(QStringLiteral(", "))));

    // The verdicts go by the wall clock; the processor-time figures beside them show how much
    // of a shortfall other work on the machine may account for.
    const double pairsOverOsmo = osmoBest > 0 ? median(pairs.rates) / osmoBest : 0;
    const double osmoBestCpu = std::max(median(osmoBlocks.cpuRates), median(osmoPairs.cpuRates));
    const double pairsOverOsmoCpu = osmoBestCpu > 0 ? median(pairs.cpuRates) / osmoBestCpu : 0;
    const double worstRssMegabytes = worstRssKilobytes * 1024.0 / Megabyte;
    std::printf("\ntargets\n");
    std::printf("  deframer at 2 octets per call >= %.0fx libosmocore: %.2fx (%.2fx by processor "
                "time), %s\n",
                TargetPairsOverOsmo, pairsOverOsmo, pairsOverOsmoCpu,
                metOrNot(pairsOverOsmo >= TargetPairsOverOsmo));
    std::printf("  replay to PCAP >= %.0f MB/s of stream: %.1f MB/s (%.1f by processor time), %s\n",
                TargetPcapReplayMegabytes, pcapReplayRate, pcapReplayCpuRate,
                metOrNot(pcapReplayRate >= TargetPcapReplayMegabytes));
    std::printf("  replay to Raw >= replay to PCAP: %.1f MB/s against %.1f, %s\n", rawReplayRate,
                pcapReplayRate, metOrNot(rawReplayRate >= pcapReplayRate));
    std::printf(
        "  every replay with records within %.0f%% of PCAP: slowest %s %.1f MB/s, %s\n",
        TargetWriterSpreadPercent, qPrintable(slowestWriter), slowestWriterRate,
        metOrNot(slowestWriterRate >= pcapReplayRate * (1 - TargetWriterSpreadPercent / 100)));
    std::printf("  replay peak RSS < %.0f MB: %.1f MB, %s\n", TargetReplayRssMegabytes,
                worstRssMegabytes,
                metOrNot(worstRssKilobytes > 0 && worstRssMegabytes < TargetReplayRssMegabytes));

    std::printf("\nMB/s: median over the wall clock; CPU MB/s: median over the process's processor "
                "time (all threads of a replay).\n"
                "x realtime: MB/s over one 64 kbit/s timeslot (8000 octets/s per channel, 16000 "
                "stream bytes/s).\n"
                "x osmo: MB/s over libosmocore's faster feed; a replay's stream bytes are the "
                "octets of both channels.\n"
                "The stream file is read from the page cache; a replay is timed from the "
                "thread's start to its end, trace files closed.\n");
    for (const QString& line : std::as_const(details))
        std::printf("%s\n", qPrintable(line));
    return allOk ? 0 : 1;
}
