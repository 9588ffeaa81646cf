// Throughput of the capture engine on realistic signalling traffic: the deframer on its own, and
// the whole chain from a capture file to a PCAP file. Not a test: it prints figures, and fails
// only if the chain's findings differ from what the encoder put on the line.

#include "capture/hdlchandler.h"
#include "capture/messagehandler.h"
#include "capture/signallingtraffic.h"
#include "capture/splithandler.h"
#include "capture/streamencoder.h"
#include "capture/unitfeeder.h"
#include "writers/pcaphandler.h"
#include "writers/stathandler.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double Megabyte = 1024.0 * 1024.0;
constexpr int BlockSize = 4096;
// Each fault kind turns up about once in this many items on a channel.
constexpr int FaultOneIn = 500;
constexpr unsigned short PcapLinkType = 140;
constexpr quint32 RxSeed = 0x5EED0001;
constexpr quint32 SyncSeed = 0x5EED0002;
// A 64 kbit/s timeslot carries 8000 octets a second; the stream has two bytes per octet pair.
constexpr double LineOctetsPerSecond = 8000.0;
constexpr double LineStreamBytesPerSecond = 2 * LineOctetsPerSecond;
// The PCAP writer's byte counts are 32 bits wide and its file runs to about 1.4 times the
// stream: larger runs would wrap them and fail the checks.
constexpr int MaxSizeMegabytes = 2048;

double seconds(Clock::time_point start, Clock::time_point stop)
{
    return std::chrono::duration<double>(stop - start).count();
}

// What the encoder put on one channel, to hold the deframer's findings against.
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
    // Separate generator, so the traffic itself is the same whatever the fault rate.
    QRandomGenerator faults(~seed);
    encoder.setRecording(false);
    ChannelPlan plan;
    const quint64 bitTarget = quint64(octetTarget) * 8;
    while (encoder.bitCount() < bitTarget) {
        const QByteArray frame = traffic.nextFrame();
        switch (faults.bounded(FaultOneIn)) {
        case 0:
            encoder.addFrameWithBadFcs(frame);
            ++plan.badFcsItems;
            break;
        case 1:
            encoder.addAbortedFrame(frame);
            ++plan.abortedItems;
            break;
        case 2:
            encoder.addIdleOnes(200 + int(faults.bounded(400)));
            ++plan.idleItems;
            break;
        case 3:
            encoder.addFrameWithExtraBits(frame, 1 + int(faults.bounded(7)));
            ++plan.extraBitItems;
            break;
        default:
            encoder.addFrame(frame);
            ++plan.frames;
            plan.frameOctets += quint64(frame.size());
            break;
        }
        // Every item already ends in a flag, which is the first of those between it and the next.
        encoder.addFlags(traffic.nextFlagCount() - 1);
    }
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
        // deframer runs.
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

struct DeframerRun
{
    double seconds = 0;
    quint64 packets = 0;
    quint64 frameOctets = 0;
    quint64 badCrc = 0;
    quint64 erroredLength = 0;
    quint64 tooLarge = 0;
};

DeframerRun runDeframer(const QByteArray& octets, int unit)
{
    StatHandler stats;
    CountingSink sink;
    HdlcHandler deframer(0);
    deframer.setNext(&sink);
    deframer.setStatHandler(&stats);
    // One reused buffer: the copy into it is noise next to bit-by-bit deframing, and it keeps
    // allocation out of a figure meant for the deframer alone.
    QByteArray buffer(unit, Qt::Uninitialized);
    const char* in = octets.constData();
    const qsizetype total = octets.size();

    const Clock::time_point start = Clock::now();
    for (qsizetype at = 0; at < total; at += unit) {
        const int n = int(std::min<qsizetype>(unit, total - at));
        std::memcpy(buffer.data(), in + at, size_t(n));
        deframer.process(buffer, n);
    }
    const Clock::time_point stop = Clock::now();

    DeframerRun run;
    run.seconds = seconds(start, stop);
    run.packets = sink.packets;
    run.frameOctets = sink.frameOctets;
    run.badCrc = stats.value(StatHandler::BadCrc);
    run.erroredLength = stats.value(StatHandler::ErroredLength);
    run.tooLarge = stats.value(StatHandler::TooLarge);
    return run;
}

struct ChainRun
{
    double seconds = 0;
    qint64 bytesRead = 0;
    bool readFailed = false;
    quint64 packets = 0;
    quint64 pcapBytes = 0;
    quint64 badCrc = 0;
    quint64 erroredLength = 0;
    quint64 tooLarge = 0;
    qint64 pcapSize = -1;
    QStringList messages;
    QStringList errors;
};

ChainRun runFileChain(const QString& streamPath, const QString& pcapPath)
{
    ChainRun run;
    MessageHandler messages;
    StatHandler stats;

    const Clock::time_point start = Clock::now();
    {
        SplitHandler split;
        HdlcHandler rx(0);
        HdlcHandler sync(1);
        PcapHandler pcap(&rx, pcapPath, PcapLinkType, 0);
        split.setNext(&rx);
        split.setSecondNext(&sync);
        rx.setNext(&pcap);
        sync.setNext(&pcap);
        ChainHandler* const elements[] = {&split, &rx, &sync, &pcap};
        for (ChainHandler* element : elements) {
            element->setMessageHandler(&messages);
            element->setStatHandler(&stats);
        }

        QFile file(streamPath);
        if (!file.open(QIODevice::ReadOnly)) {
            run.readFailed = true;
        } else {
            QByteArray block(BlockSize, Qt::Uninitialized);
            for (;;) {
                const qint64 n = file.read(block.data(), BlockSize);
                if (n <= 0) {
                    run.readFailed = n < 0;
                    break;
                }
                feedInUnits(&split, block.constData(), int(n));
                run.bytesRead += n;
            }
        }
    } // the PCAP writer posts its totals and closes its file here
    const Clock::time_point stop = Clock::now();

    run.seconds = seconds(start, stop);
    run.packets = stats.value(StatHandler::Packets);
    run.pcapBytes = stats.value(StatHandler::Bytes);
    run.badCrc = stats.value(StatHandler::BadCrc);
    run.erroredLength = stats.value(StatHandler::ErroredLength);
    run.tooLarge = stats.value(StatHandler::TooLarge);
    run.pcapSize = QFileInfo(pcapPath).size();
    while (messages.hasMessages()) {
        const Message message = messages.takeMessage();
        (message.isError() ? run.errors : run.messages).append(message.text());
    }
    return run;
}

struct Measurement
{
    const char* name;
    const char* input;
    double lineBytesPerSecond;
    std::vector<double> rates; // MB/s, in run order
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void printMeasurement(const Measurement& m)
{
    const double mid = median(m.rates);
    std::printf("%-36s %-12s %12.1f %12.0f   ", m.name, m.input, mid,
                mid * Megabyte / m.lineBytesPerSecond);
    for (double rate : m.rates)
        std::printf(" %.1f", rate);
    std::printf("\n");
}

const char* verdict(bool ok)
{
    return ok ? "ok" : "MISMATCH";
}

QString megabytes(double bytes)
{
    return QString::number(bytes / Megabyte, 'f', 1) + QStringLiteral(" MB");
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vezive-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Capture engine throughput on generated signalling traffic."));
    parser.addHelpOption();
    const QCommandLineOption sizeOption(
        QStringLiteral("size"), QStringLiteral("Stream size in MB (2^20 bytes), default 64."),
        QStringLiteral("MB"), QStringLiteral("64"));
    const QCommandLineOption repeatOption(QStringLiteral("repeat"),
                                          QStringLiteral("Timed runs per measurement, default 3."),
                                          QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption keepOption(
        QStringLiteral("keep"),
        QStringLiteral("Write the stream and PCAP files here and keep them."),
        QStringLiteral("DIR"));
    parser.addOptions({sizeOption, repeatOption, keepOption});
    parser.process(app);

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
    if (parser.isSet(keepOption)) {
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
    const QString streamPath = QDir(dir).filePath(QStringLiteral("bench-stream.bin"));
    const QString pcapPath = QDir(dir).filePath(QStringLiteral("bench-capture.pcap"));

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

    std::printf("vezive-bench: capture engine throughput, MB = 2^20 bytes\n");
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
    std::printf("files     %s (%s)\n\n", qPrintable(dir),
                parser.isSet(keepOption) ? "kept" : "temporary");
    std::fflush(stdout);

    bool allOk = true;
    std::vector<QString> details;

    const ChannelPlan& rxPlan = work.rx;
    auto deframerMeasurement = [&](const char* name, int unit) {
        Measurement m{name, "RX octets", LineOctetsPerSecond, {}};
        DeframerRun last;
        bool ok = true;
        for (int i = 0; i < repeat; ++i) {
            last = runDeframer(work.rxOctets, unit);
            m.rates.push_back(double(channelOctets) / Megabyte / last.seconds);
            ok = ok && last.packets == rxPlan.frames && last.frameOctets == rxPlan.frameOctets &&
                 last.badCrc == rxPlan.badCrc && last.erroredLength == rxPlan.erroredLength &&
                 last.tooLarge == rxPlan.tooLarge;
        }
        allOk = allOk && ok;
        details.push_back(
            QStringLiteral("%1: %2 packets (%3 frame octets), bad FCS %4, errored length %5, too "
                           "large %6, per run; as encoded: %7")
                .arg(QString::fromLatin1(name))
                .arg(last.packets)
                .arg(last.frameOctets)
                .arg(last.badCrc)
                .arg(last.erroredLength)
                .arg(last.tooLarge)
                .arg(QString::fromLatin1(verdict(ok))));
        return m;
    };

    std::printf("%-36s %-12s %12s %12s    %s\n", "measurement", "input", "median MB/s",
                "x real time", "runs MB/s");
    const Measurement blocks = deframerMeasurement("deframer, 4096 octets per call", BlockSize);
    printMeasurement(blocks);
    std::fflush(stdout);
    const Measurement pairs = deframerMeasurement("deframer, 2 octets per call", 2);
    printMeasurement(pairs);
    std::fflush(stdout);

    {
        Measurement m{
            "file chain to PCAP, 4096-byte reads", "stream bytes", LineStreamBytesPerSecond, {}};
        const quint64 frames = work.rx.frames + work.sync.frames;
        const quint64 frameOctets = work.rx.frameOctets + work.sync.frameOctets;
        const quint64 recordBytes = frameOctets + frames * PcapHandler::RecordHeaderSize;
        const QStringList totals{QString::number(frames) + QStringLiteral(" packets written"),
                                 QString::number(recordBytes) + QStringLiteral(" bytes written")};
        ChainRun last;
        bool ok = true;
        for (int i = 0; i < repeat; ++i) {
            last = runFileChain(streamPath, pcapPath);
            m.rates.push_back(double(last.bytesRead) / Megabyte / last.seconds);
            ok = ok && !last.readFailed && last.bytesRead == streamBytes &&
                 last.packets == frames && last.pcapBytes == recordBytes &&
                 last.pcapSize == qint64(PcapHandler::GlobalHeaderSize + recordBytes) &&
                 last.badCrc == work.rx.badCrc + work.sync.badCrc &&
                 last.erroredLength == work.rx.erroredLength + work.sync.erroredLength &&
                 last.tooLarge == work.rx.tooLarge + work.sync.tooLarge && last.errors.isEmpty() &&
                 last.messages == totals;
        }
        allOk = allOk && ok;
        printMeasurement(m);
        details.push_back(
            QStringLiteral("PCAP chain: %1 packets written, PCAP file %2 bytes (%3), bad FCS %4, "
                           "errored length %5, too large %6, per run; posted at teardown: \"%7\"; "
                           "as encoded: %8")
                .arg(last.packets)
                .arg(last.pcapSize)
                .arg(megabytes(double(last.pcapSize)))
                .arg(last.badCrc)
                .arg(last.erroredLength)
                .arg(last.tooLarge)
                .arg(last.messages.join(QStringLiteral("\", \"")))
                .arg(QString::fromLatin1(verdict(ok))));
        for (const QString& error : last.errors)
            details.push_back(QStringLiteral("PCAP chain error: ") + error);
        if (last.readFailed)
            details.push_back(QStringLiteral("PCAP chain: reading ") + streamPath +
                              QStringLiteral(" failed"));
    }

    std::printf("\nx real time: median rate over one 64 kbit/s timeslot (8000 octets/s per "
                "channel, 16000 stream bytes/s). The stream file is read from the page cache.\n");
    for (const QString& line : details)
        std::printf("%s\n", qPrintable(line));
    return allOk ? 0 : 1;
}
