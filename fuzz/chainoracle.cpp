#include "chainoracle.h"

#include "bitserialdeframer.h"
#include "testchains.h"

#include <algorithm>

void StampedSink::process(QByteArray& data, int len)
{
    packets.append({QByteArray(data.constData(), len), m_clock()});
    passOn(data, len);
}

namespace {

constexpr quint32 MicrosecondsPerOctet = 125;

// The clock a deframer started at start shows after octets octets, wrapping its seconds as the
// deframer's 32-bit field does.
ChannelClock clockAfter(ChannelClock start, qsizetype octets)
{
    const quint64 microseconds =
        quint64(start.microseconds) + quint64(octets) * MicrosecondsPerOctet;
    return {quint32(start.seconds + quint32(microseconds / 1000000)),
            quint32(microseconds % 1000000)};
}

} // namespace

ChainOracle::ChainOracle(const QByteArray& capture, bool deframe)
{
    const ChannelOctets octets = channelOctets(capture);
    m_base.rxOctets = octets.rx;
    m_base.syncOctets = octets.sync;
    if (!deframe)
        return;

    StatHandler stats;
    const QByteArray* channels[2] = {&m_base.rxOctets, &m_base.syncOctets};
    for (int tag = 0; tag < 2; ++tag) {
        BitSerialDeframer reference(tag);
        // From a clock at zero the stamp tells the octet a frame closed in.
        reference.setTimestamp(0, 0);
        StampedSink sink([&reference] { return reference.timestamp(); });
        reference.setStatHandler(&stats);
        reference.setNext(&sink);
        QByteArray channel = *channels[tag];
        reference.process(channel, int(channel.size()));
        for (const StampedPacket& packet : sink.packets)
            m_frames[tag].append(
                {packet.bytes, qsizetype(clockMicroseconds(packet.stamp) / MicrosecondsPerOctet)});
    }
    for (int i = 0; i < StatHandler::CounterCount; ++i)
        m_base.counts[i] = stats.value(i);
}

ChainExpectation ChainOracle::expect(const QList<int>& splitterCalls, ChannelClock start) const
{
    ChainExpectation expected = m_base;
    qsizetype next[2] = {0, 0};
    qsizetype bytes = 0;
    for (int size : splitterCalls) {
        bytes += size;
        const qsizetype pairsDone = bytes / 2;
        for (int tag = 0; tag < 2; ++tag) {
            const QList<ClosedFrame>& frames = m_frames[tag];
            for (; next[tag] < frames.size() && frames[next[tag]].octet < pairsDone; ++next[tag]) {
                const ClosedFrame& frame = frames[next[tag]];
                const qsizetype at = tag == 0 ? frame.octet : pairsDone;
                expected.packets.append({frame.packet, clockAfter(start, at)});
            }
        }
    }
    return expected;
}

QList<int> ChainOracle::afterFront(const QList<int>& calls, qsizetype dropped)
{
    QList<int> out;
    qsizetype at = 0;
    for (int size : calls) {
        const qsizetype from = std::max(at, dropped);
        if (at + size > from)
            out.append(int(at + size - from));
        at += size;
    }
    return out;
}

QList<int> ChainOracle::inUnits(const QList<int>& blocks)
{
    constexpr int UnitSize = 4;
    QList<int> units;
    for (int size : blocks) {
        for (int at = 0; at < size; at += UnitSize)
            units.append(std::min(UnitSize, size - at));
    }
    return units;
}

ChainExpectation expectPortChain(const QByteArray& stream, unsigned skip, const QList<int>& calls,
                                 ChannelClock start, bool deframe)
{
    constexpr qsizetype HeaderLength = 3;
    if (stream.size() >= HeaderLength && !stream.startsWith("ATU")) {
        ChainExpectation expected;
        expected.headerError = true;
        return expected;
    }
    const qsizetype dropped = HeaderLength + qsizetype(skip);
    const ChainOracle oracle(stream.mid(std::min(dropped, stream.size())), deframe);
    return oracle.expect(ChainOracle::afterFront(calls, dropped), start);
}
