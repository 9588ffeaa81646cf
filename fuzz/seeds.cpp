#include "seeds.h"

#include "capture/faultytraffic.h"
#include "capture/hdlchandler.h"
#include "capture/signallingtraffic.h"
#include "capture/streamencoder.h"
#include "chainrun.h"

namespace {

QByteArray patternFrame(int length, int seed)
{
    QByteArray frame;
    for (int i = 0; i < length; ++i)
        frame.append(char(seed * 37 + i * 11 + 3));
    return frame;
}

// About octets octets of signalling traffic, with faults drawn at random by plan.
ChannelEncoder signalling(quint32 seed, int octets, const FaultPlan& faults = {})
{
    SignallingTraffic traffic(seed);
    ChannelEncoder encoder;
    FaultyTraffic(faults, ~seed).fill(encoder, traffic, quint64(octets) * 8);
    return encoder;
}

// Every fault the deframer tells apart, each once, between good frames.
ChannelEncoder faults(bool withOverflow)
{
    ChannelEncoder encoder;
    encoder.addFrame(patternFrame(3, 1));
    encoder.addFrameWithBadFcs(patternFrame(12, 2));
    encoder.addFrame(QByteArray(1, char(0xFF)));
    encoder.addAbortedFrame(patternFrame(20, 3));
    encoder.addFrameWithExtraBits(patternFrame(7, 4), 3);
    encoder.addIdleOnes(4);  // errored length
    encoder.addIdleOnes(30); // an abort
    encoder.addFrame(QByteArray(9, char(0xFF)));
    encoder.addFlags(3);
    encoder.addRawBits(0x7E, 8);
    encoder.addRawBits(0x3F, 6); // a flag sharing its zero with the one before
    encoder.addFlags(1);
    if (withOverflow)
        encoder.addIdleOnes(int(HdlcHandler::BitBufferSize) + 20);
    encoder.addFrame(patternFrame(300, 5));
    encoder.addFrame(patternFrame(2, 6));
    return encoder;
}

// Bad FCS, aborts and extra bits, each about one frame in six.
const FaultPlan SomeFaults{6, 6, 0, 0, 6};

// Pairs of channels: the RX and Sync encoders of one stream.
QList<QByteArray> captureStreams(bool withOverflow)
{
    ChannelEncoder flagsOnly;
    flagsOnly.addFlags(20);
    return {StreamFormat::captureData(signalling(1, 400), signalling(2, 260)),
            StreamFormat::captureData(faults(false), signalling(3, 300, SomeFaults)),
            StreamFormat::captureData(signalling(4, 300, SomeFaults), faults(withOverflow)),
            StreamFormat::captureData(flagsOnly, signalling(5, 100))};
}

QList<Cuts> cutVariety()
{
    const QList<QList<int>> sizes{{4}, {1}, {4096}, {3, 7, 0, 1}, {9, 4000}, {2, 2, 5}};
    QList<Cuts> out;
    for (const QList<int>& s : sizes) {
        Cuts cuts;
        cuts.sizes = s;
        out.append(cuts);
    }
    return out;
}

QList<QByteArray> chainSeeds(bool port)
{
    const QList<QByteArray> streams = captureStreams(true);
    const QList<Cuts> cuts = cutVariety();
    const QByteArray echo = StreamFormat::request(1, 16);
    QList<QByteArray> seeds;
    int variant = 0;
    for (int writer = 0; writer < int(WriterKind::Count); ++writer) {
        for (int s = 0; s < streams.size(); ++s, ++variant) {
            // The long stream only with a few writers: it is slow to run.
            if (s == 2 && writer % 3 != 0)
                continue;
            ChainInput input;
            input.writer = quint8(writer);
            input.minLength = quint16(QList<int>{0, 0, 5, 14}[variant % 4]);
            input.skip = 6;
            input.seconds = 1700000000u + quint32(variant) * 3599u;
            input.microseconds = quint32(variant) * 99991u % 1000000u;
            input.cuts = cuts[variant % cuts.size()];
            input.stream = port ? echo + streams[s] : streams[s];
            seeds.append(input.encode());
        }
    }
    if (port) {
        ChainInput bad;
        bad.stream = "ATX01 02\n" + streams[0].left(64);
        bad.writer = quint8(WriterKind::PcapIsdn);
        seeds.append(bad.encode());
        ChainInput shortHeader;
        shortHeader.stream = "AT";
        seeds.append(shortHeader.encode());
    }
    // A clock that wraps its seconds.
    ChainInput wrap;
    wrap.writer = quint8(WriterKind::I7);
    wrap.seconds = 0xFFFFFFFFu;
    wrap.microseconds = 999900;
    wrap.stream = (port ? echo : QByteArray()) + streams[0];
    seeds.append(wrap.encode());
    return seeds;
}

QList<QByteArray> deframerSeeds()
{
    QList<QByteArray> channels{signalling(7, 650).octets(), faults(true).octets(),
                               signalling(8, 300, SomeFaults).octets(), QByteArray(600, char(0xFF)),
                               QByteArray(40, char(0x7E))};
    const QList<QList<int>> callSizes{{1}, {2}, {4096}, {0, 3}, {5, 1, 8192}, {17}};
    QList<QByteArray> seeds;
    for (int c = 0; c < channels.size(); ++c) {
        for (int k = 0; k < callSizes.size(); k += 2) {
            const int variant = c * int(callSizes.size()) + k;
            QByteArray seed(1, char(variant & 1));
            putLe32(seed, 1700000000u + quint32(variant));
            putLe32(seed, quint32(variant) * 124999u % 1000000u);
            Cuts cuts;
            cuts.sizes = callSizes[(k + c) % callSizes.size()];
            cuts.write(seed);
            seeds.append(seed + channels[c]);
        }
    }
    return seeds;
}

} // namespace

QStringList fuzzTargets()
{
    return {QStringLiteral("portchain"), QStringLiteral("filechain"), QStringLiteral("hdlcdiff")};
}

QList<QByteArray> fuzzSeeds(const QString& target)
{
    if (target == QLatin1String("portchain"))
        return chainSeeds(true);
    if (target == QLatin1String("filechain"))
        return chainSeeds(false);
    if (target == QLatin1String("hdlcdiff"))
        return deframerSeeds();
    return {};
}
