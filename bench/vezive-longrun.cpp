// Long replays through vezive-capture: for each file trace type the real program replays a large
// generated stream while its resident memory and open descriptors are sampled from /proc, and
// its trace is compared byte for byte with one built in-process from the same stream fed in
// small random pieces (see PieceSizes). Both stamp from the same --start-time, so the traces
// must be identical, and so must the counters. Exit status 0 when every type stayed flat and
// identical, 1 when one did not, 2 for a usage or set-up error.

#include "acquisition/tracetypes.h"
#include "capture/faultytraffic.h"
#include "capture/hdlchandler.h"
#include "capture/messagehandler.h"
#include "capture/signallingtraffic.h"
#include "capture/splithandler.h"
#include "capture/stathandler.h"
#include "capture/streamencoder.h"
#include "capture/unitfeeder.h"
#include "device/outputfile.h"
#include "writers/rawhandler.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr double Megabyte = 1024.0 * 1024.0;
constexpr int MaxPiece = 4096;
constexpr int SampleIntervalMs = 100;
// Samples before this share of the run are warm-up: libraries loading, the trace opening.
constexpr double WarmUpShare = 0.10;
// Resident memory may wander this far above its warm-up level (allocator noise, the trace
// file's buffer being touched) without counting as growth.
constexpr qint64 RssMarginKb = 4096;
constexpr int FaultOneIn = 500;
constexpr int IdleRunOnes = 400;
constexpr qint64 ChunkOctets = 1 << 20;
constexpr quint32 RxSeed = 0x10C0001;
constexpr quint32 SyncSeed = 0x10C0002;
constexpr quint32 DefaultPieceSeed = 0x10C0003;
constexpr quint32 StartSeconds = 1700000000;
constexpr quint32 StartMicroseconds = 250000;
// PCAP traces are written with this link type, named as on vezive-capture's command line.
const char PcapLinkTypeName[] = "SS7/MTP2";

// One channel's traffic, carried across the chunks of a stream.
class ChannelSource
{
public:
    explicit ChannelSource(quint32 seed)
        : m_traffic(seed),
          m_faults({FaultOneIn, FaultOneIn, FaultOneIn, FaultOneIn, FaultOneIn, IdleRunOnes}, ~seed)
    {}

    // Items until the encoder holds at least octets octets; every item ends in a flag.
    void fill(ChannelEncoder& encoder, qint64 octets)
    {
        encoder.setRecording(false);
        m_faults.fill(encoder, m_traffic, quint64(octets) * 8);
    }

private:
    SignallingTraffic m_traffic;
    FaultyTraffic m_faults;
};

// Writes a stream of exactly bytes bytes, a chunk at a time so that memory stays small
// whatever the size. Chunks join on flags; the padding between them completes nothing.
bool generateStream(const QString& path, qint64 bytes, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    ChannelSource rx(RxSeed);
    ChannelSource sync(SyncSeed);
    qint64 written = 0;
    while (written < bytes) {
        ChannelEncoder rxLine;
        ChannelEncoder syncLine;
        rx.fill(rxLine, ChunkOctets);
        sync.fill(syncLine, ChunkOctets);
        QByteArray chunk = StreamFormat::captureData(rxLine, syncLine);
        chunk.truncate(qsizetype(std::min<qint64>(chunk.size(), bytes - written)));
        if (file.write(chunk) != chunk.size()) {
            *error = path + QStringLiteral(": ") + file.errorString();
            return false;
        }
        written += chunk.size();
    }
    if (!file.flush()) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

struct Sample
{
    qint64 ms;
    qint64 rssKb;
    qint64 hwmKb;
    int fds;
};

// The "Name:   1234 kB" lines of /proc/<pid>/status; -1 when absent (the process is gone or a
// zombie).
qint64 statusKb(const QByteArray& status, const QByteArray& name)
{
    for (const QByteArray& line : status.split('\n')) {
        if (!line.startsWith(name + ':'))
            continue;
        const QList<QByteArray> words = line.mid(name.size() + 1).simplified().split(' ');
        bool ok = false;
        const qint64 value = words.value(0).toLongLong(&ok);
        return ok ? value : -1;
    }
    return -1;
}

std::optional<Sample> sampleProcess(qint64 pid, qint64 ms)
{
    const QString base = QStringLiteral("/proc/%1/").arg(pid);
    QFile statusFile(base + QStringLiteral("status"));
    if (!statusFile.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray status = statusFile.readAll();
    Sample sample{ms, statusKb(status, "VmRSS"), statusKb(status, "VmHWM"), 0};
    // Descriptors show as symbolic links, many of them dangling (pipes, eventfds): System
    // keeps those in the list.
    const QDir fdDir(base + QStringLiteral("fd"));
    if (sample.rssKb < 0 || !fdDir.exists())
        return std::nullopt;
    sample.fds =
        int(fdDir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)
                .size());
    return sample;
}

constexpr int CounterCount = 5;
// The counters in StatHandler order, as vezive-capture prints them.
const char* const CounterNames[CounterCount] = {"Packets", "Bytes", "Errored length", "Bad CRC",
                                                "Too large"};
using Counters = std::array<quint64, CounterCount>;

QString countersText(const Counters& counters)
{
    QStringList parts;
    for (int i = 0; i < CounterCount; ++i)
        parts << QStringLiteral("%1 %2").arg(QLatin1String(CounterNames[i])).arg(counters[i]);
    return parts.join(QStringLiteral(", "));
}

struct CaptureRun
{
    bool ok = false;
    QString failure;
    double seconds = 0;
    std::vector<Sample> samples;
    Counters counters{};
};

CaptureRun runCapture(const QString& program, const QStringList& arguments, const QString& log)
{
    CaptureRun run;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(log);
    process.setStandardInputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForStarted(-1)) {
        run.failure = program + QStringLiteral(": ") + process.errorString();
        return run;
    }
    const qint64 pid = process.processId();
    // The wait paces the samples and ends as soon as the program does.
    for (;;) {
        if (const std::optional<Sample> sample = sampleProcess(pid, clock.elapsed()))
            run.samples.push_back(*sample);
        if (process.waitForFinished(SampleIntervalMs) || process.state() == QProcess::NotRunning)
            break;
    }
    run.seconds = double(clock.elapsed()) / 1000.0;

    QFile logFile(log);
    const QByteArray output = logFile.open(QIODevice::ReadOnly) ? logFile.readAll() : QByteArray();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        run.failure = QStringLiteral("vezive-capture ended with status %1: %2")
                          .arg(process.exitCode())
                          .arg(QString::fromLocal8Bit(output.right(500)));
        return run;
    }
    if (!output.contains("End of file reached")) {
        run.failure = QStringLiteral("vezive-capture did not reach the end of the stream");
        return run;
    }
    // At the end each counter has a line of its own.
    for (const QByteArray& line : output.split('\n')) {
        for (int i = 0; i < CounterCount; ++i) {
            const QByteArray prefix = QByteArray(CounterNames[i]) + ": ";
            bool ok = false;
            const quint32 value = line.mid(prefix.size()).toUInt(&ok);
            if (line.startsWith(prefix) && ok)
                run.counters[i] = value;
        }
    }
    run.ok = true;
    return run;
}

// Pieces of 1 to 4096 bytes, as a port delivers them, each ending on a multiple of four bytes or
// one byte past it. Frames of both channels are stamped with the RX clock, which at a Sync frame
// has already counted the RX octets of the same split call: a replay's 4-byte units make those
// calls two octets long, starting on even octets. A byte past a multiple of four is only held
// by the splitter, which keeps that grouping; a cut two or three bytes past one would move Sync
// stamps by 125 us and swap frames that close within the same two octets, as a port run does.
class PieceSizes
{
public:
    explicit PieceSizes(quint32 seed) : m_random(seed) {}

    int next()
    {
        qint64 end = 0;
        do {
            end = m_offset + 1 + qint64(m_random.bounded(MaxPiece));
            if (end % 4 > 1)
                end -= end % 4 - 1;
        } while (end <= m_offset);
        const int size = int(end - m_offset);
        m_offset = end;
        return size;
    }

private:
    QRandomGenerator m_random;
    qint64 m_offset = 0;
};

struct ReferenceRun
{
    bool ok = false;
    QString failure;
    double seconds = 0;
    Counters counters{};
};

// The chain a replay builds, fed in random pieces.
ReferenceRun runReference(const QString& stream, const TraceType& type, const QString& out,
                          const QString& syncOut, quint32 pieceSeed)
{
    ReferenceRun run;
    QElapsedTimer clock;
    clock.start();
    MessageHandler messages;
    StatHandler stats;
    {
        OutputFile rxFile(out);
        OutputFile syncFile(syncOut);
        SplitHandler split;
        HdlcHandler rx(0);
        HdlcHandler sync(1);
        std::unique_ptr<ChainHandler> rxEnd;
        std::unique_ptr<ChainHandler> syncEnd;
        if (!type.buildWriter) {
            if (!rxFile.open() || !rxFile.resize(0) || !syncFile.open() || !syncFile.resize(0)) {
                run.failure = QStringLiteral("cannot create the reference raw files");
                return run;
            }
            rxEnd = std::make_unique<RawHandler>(&rxFile, QStringLiteral("Rx"));
            syncEnd = std::make_unique<RawHandler>(&syncFile, QStringLiteral("Sync"));
            split.setNext(rxEnd.get());
            split.setSecondNext(syncEnd.get());
        } else {
            rx.setTimestamp(StartSeconds, StartMicroseconds);
            sync.setTimestamp(StartSeconds, StartMicroseconds);
            rxEnd.reset(
                type.buildWriter({&rx, out, quint16(linkTypeNumber(PcapLinkTypeName)), 0, 1, 16})
                    .element);
            split.setNext(&rx);
            split.setSecondNext(&sync);
            rx.setNext(rxEnd.get());
            sync.setNext(rxEnd.get());
        }
        for (ChainHandler* element :
             {static_cast<ChainHandler*>(&split), static_cast<ChainHandler*>(&rx),
              static_cast<ChainHandler*>(&sync), rxEnd.get(), syncEnd.get()}) {
            if (element) {
                element->setMessageHandler(&messages);
                element->setStatHandler(&stats);
            }
        }

        QFile input(stream);
        if (!input.open(QIODevice::ReadOnly)) {
            run.failure = stream + QStringLiteral(": ") + input.errorString();
            return run;
        }
        PieceSizes pieces(pieceSeed);
        std::vector<char> buffer(MaxPiece);
        for (;;) {
            const qint64 n = input.read(buffer.data(), pieces.next());
            if (n < 0) {
                run.failure = stream + QStringLiteral(": ") + input.errorString();
                return run;
            }
            if (n == 0)
                break;
            feedInUnits(&split, buffer.data(), int(n));
        }
    } // the writer and the taps close their files here
    while (messages.hasMessages()) {
        const Message message = messages.takeMessage();
        if (message.isError()) {
            run.failure = QStringLiteral("reference chain: ") + message.text();
            return run;
        }
    }
    for (int i = 0; i < CounterCount; ++i)
        run.counters[i] = stats.value(i + 1);
    run.seconds = double(clock.elapsed()) / 1000.0;
    run.ok = true;
    return run;
}

// Empty when the files are equal, else where they first differ.
QString compareFiles(const QString& a, const QString& b)
{
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot open %1 or %2").arg(a, b);
    if (first.size() != second.size())
        return QStringLiteral("%1 is %2 bytes, %3 is %4")
            .arg(a)
            .arg(first.size())
            .arg(b)
            .arg(second.size());
    constexpr qint64 Block = 1 << 20;
    for (qint64 at = 0;; at += Block) {
        const QByteArray x = first.read(Block);
        const QByteArray y = second.read(Block);
        if (x != y) {
            qint64 i = 0;
            while (i < x.size() && i < y.size() && x[i] == y[i])
                ++i;
            return QStringLiteral("%1 and %2 differ at byte %3").arg(a, b).arg(at + i);
        }
        if (x.isEmpty())
            return QString();
    }
}

double mb(qint64 kb)
{
    return double(kb) / 1024.0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vezive-longrun"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Replays a large stream through vezive-capture for each file trace type, watching its "
        "memory and descriptors, and compares each trace with one built from small pieces."));
    parser.addHelpOption();
    const QCommandLineOption sizeOption(
        QStringLiteral("size"), QStringLiteral("Generated stream size in MB (2^20), default 1100."),
        QStringLiteral("MB"), QStringLiteral("1100"));
    const QCommandLineOption streamOption(QStringLiteral("stream"),
                                          QStringLiteral("Replay this stream file instead."),
                                          QStringLiteral("FILE"));
    QStringList fileTypes;
    for (const TraceType& type : traceTypes()) {
        if (type.writesFile)
            fileTypes.append(QLatin1String(type.name));
    }
    const QCommandLineOption typesOption(QStringLiteral("types"),
                                         QStringLiteral("Trace types, comma-separated, default ") +
                                             fileTypes.join(QLatin1Char(',')) + QLatin1Char('.'),
                                         QStringLiteral("LIST"), fileTypes.join(QLatin1Char(',')));
    const QCommandLineOption captureOption(QStringLiteral("capture"),
                                           QStringLiteral("The vezive-capture program to run."),
                                           QStringLiteral("PATH"), QStringLiteral(VEZIVE_CAPTURE));
    const QCommandLineOption dirOption(
        QStringLiteral("dir"),
        QStringLiteral("Work in this directory and keep the files (default: a temporary one)."),
        QStringLiteral("DIR"));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"), QStringLiteral("Seed of the piece sizes of the reference run."),
        QStringLiteral("N"), QString::number(DefaultPieceSeed));
    parser.addOptions(
        {sizeOption, streamOption, typesOption, captureOption, dirOption, seedOption});
    parser.process(app);

    bool sizeOk = false;
    bool seedOk = false;
    const qint64 sizeMegabytes = parser.value(sizeOption).toLongLong(&sizeOk);
    const quint32 pieceSeed = parser.value(seedOption).toUInt(&seedOk);
    if (!sizeOk || sizeMegabytes < 1) {
        std::fprintf(stderr, "--size must be at least 1\n");
        return 2;
    }
    if (!seedOk) {
        std::fprintf(stderr, "--seed must be a number\n");
        return 2;
    }
    std::vector<const TraceType*> types;
    for (const QString& name : parser.value(typesOption).split(QLatin1Char(','))) {
        const TraceType* type = traceTypeNamed(name);
        if (!type || !type->writesFile) {
            std::fprintf(stderr, "unknown file trace type %s\n", qPrintable(name));
            return 2;
        }
        types.push_back(type);
    }

    const bool keep = parser.isSet(dirOption);
    std::optional<QTemporaryDir> temporary;
    if (!keep)
        temporary.emplace();
    const QString dirPath = keep ? parser.value(dirOption) : temporary->path();
    if ((keep && !QDir().mkpath(dirPath)) || (!keep && !temporary->isValid())) {
        std::fprintf(stderr, "cannot create the work directory\n");
        return 2;
    }
    const QDir dir(dirPath);

    QString stream = parser.value(streamOption);
    if (stream.isEmpty()) {
        stream = dir.filePath(QStringLiteral("longrun-stream.bin"));
        std::printf("generating %s ... ", qPrintable(stream));
        std::fflush(stdout);
        QElapsedTimer clock;
        clock.start();
        QString error;
        if (!generateStream(stream, sizeMegabytes * qint64(Megabyte), &error)) {
            std::fprintf(stderr, "\n%s\n", qPrintable(error));
            return 2;
        }
        std::printf("%.1f s\n", double(clock.elapsed()) / 1000.0);
    }
    const qint64 streamBytes = QFileInfo(stream).size();
    if (streamBytes <= 0) {
        std::fprintf(stderr, "%s: missing or empty\n", qPrintable(stream));
        return 2;
    }
    const QString startTime =
        QStringLiteral("%1.%2").arg(StartSeconds).arg(StartMicroseconds, 6, 10, QLatin1Char('0'));
    std::printf("stream %s, %.1f MB; start time %s; reference pieces of 1..%d bytes ending at "
                "4k or 4k+1, seed %u\n",
                qPrintable(stream), double(streamBytes) / Megabyte, qPrintable(startTime), MaxPiece,
                pieceSeed);
    std::printf("%-8s %9s %8s %7s %10s %10s %10s %8s %9s\n", "type", "stream MB", "seconds", "MB/s",
                "peak RSS", "RSS 10%", "RSS end", "fds", "identical");
    std::fflush(stdout);

    bool allOk = true;
    QStringList problems;
    for (const TraceType* typeRow : types) {
        const TraceType& type = *typeRow;
        const QString name = QString::fromLatin1(type.name);
        const QString out = dir.filePath(QStringLiteral("capture.") + name);
        const QString syncOut = dir.filePath(QStringLiteral("capture-sync.") + name);
        const QString refOut = dir.filePath(QStringLiteral("reference.") + name);
        const QString refSyncOut = dir.filePath(QStringLiteral("reference-sync.") + name);
        QStringList arguments{
            QStringLiteral("--file"),       stream,    QStringLiteral("--trace"), name,
            QStringLiteral("--start-time"), startTime, QStringLiteral("--out"),   out};
        if (type.writesSyncFile)
            arguments << QStringLiteral("--sync-out") << syncOut;
        if (type.usesLinkType)
            arguments << QStringLiteral("--link-type") << QLatin1String(PcapLinkTypeName);

        const CaptureRun capture =
            runCapture(parser.value(captureOption), arguments,
                       dir.filePath(QStringLiteral("capture-") + name + QStringLiteral(".log")));
        QStringList typeProblems;
        if (!capture.ok)
            typeProblems << capture.failure;

        // Growth is judged against the first sample after warm-up.
        const std::vector<Sample>& samples = capture.samples;
        qint64 peakKb = 0;
        int fdMin = samples.empty() ? 0 : samples.front().fds;
        int fdMax = fdMin;
        for (const Sample& s : samples) {
            peakKb = std::max({peakKb, s.rssKb, s.hwmKb});
            fdMin = std::min(fdMin, s.fds);
            fdMax = std::max(fdMax, s.fds);
        }
        const qint64 warmUpMs = qint64(capture.seconds * 1000.0 * WarmUpShare);
        const auto warm = std::find_if(samples.begin(), samples.end(),
                                       [&](const Sample& s) { return s.ms >= warmUpMs; });
        const qint64 rssWarmKb = warm != samples.end() ? warm->rssKb : -1;
        const qint64 rssEndKb = samples.empty() ? -1 : samples.back().rssKb;
        if (warm == samples.end()) {
            typeProblems << QStringLiteral("%1 samples: too short a run to judge growth, take a "
                                           "larger --size")
                                .arg(samples.size());
        } else {
            for (auto s = warm; s != samples.end(); ++s) {
                if (s->rssKb > warm->rssKb + RssMarginKb) {
                    typeProblems << QStringLiteral("resident memory grew from %1 kB to %2 kB")
                                        .arg(warm->rssKb)
                                        .arg(s->rssKb);
                    break;
                }
            }
            for (auto s = warm; s != samples.end(); ++s) {
                if (s->fds > warm->fds) {
                    typeProblems << QStringLiteral("open descriptors grew from %1 to %2")
                                        .arg(warm->fds)
                                        .arg(s->fds);
                    break;
                }
            }
        }

        bool identical = false;
        if (capture.ok) {
            const ReferenceRun reference =
                runReference(stream, type, refOut, refSyncOut, pieceSeed);
            if (!reference.ok) {
                typeProblems << reference.failure;
            } else {
                QString difference = compareFiles(out, refOut);
                if (difference.isEmpty() && type.writesSyncFile)
                    difference = compareFiles(syncOut, refSyncOut);
                identical = difference.isEmpty();
                if (!identical)
                    typeProblems << difference;
                if (capture.counters != reference.counters)
                    typeProblems << QStringLiteral("counters differ: vezive-capture %1; "
                                                   "reference %2")
                                        .arg(countersText(capture.counters),
                                             countersText(reference.counters));
            }
        }

        std::printf("%-8s %9.1f %8.1f %7.1f %7.1f MB %7.1f MB %7.1f MB %4d..%-3d %9s\n", type.name,
                    double(streamBytes) / Megabyte, capture.seconds,
                    capture.seconds > 0 ? double(streamBytes) / Megabyte / capture.seconds : 0.0,
                    mb(peakKb), mb(rssWarmKb), mb(rssEndKb), fdMin, fdMax,
                    identical ? "yes" : "no");
        std::fflush(stdout);
        for (const QString& problem : typeProblems)
            problems << name + QStringLiteral(": ") + problem;
        allOk = allOk && typeProblems.isEmpty();
        if (!keep) {
            for (const QString& file : {out, syncOut, refOut, refSyncOut})
                QFile::remove(file);
        }
    }

    std::printf("\nseconds and MB/s: the vezive-capture run, start to exit. RSS: VmRSS of the "
                "run, peak the highest VmRSS/VmHWM seen, sampled every %d ms; fds: entries of "
                "/proc/PID/fd, lowest..highest. Growth is measured from the first sample after "
                "%.0f%% of the run (margin %lld kB).\n",
                SampleIntervalMs, WarmUpShare * 100, static_cast<long long>(RssMarginKb));
    for (const QString& problem : problems)
        std::printf("FAILED %s\n", qPrintable(problem));
    return allOk ? 0 : 1;
}
