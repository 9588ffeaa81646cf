// HdlcHandler against the bit-serial reference deframer: the same octets in the same calls, with
// the same clock start. Every packet, its stamp at delivery, the clocks and every counter must
// agree after every call.
//
// Input: byte 0 the channel tag (bit 0) and the way frames are de-stuffed (bit 1: with the
// processor's bit extract instruction, fast or not, skipped where it has none; else with shifts),
// bytes 1-4 and 5-8 the clock start (seconds, microseconds, little-endian), then the call sizes (a
// count modulo 9, then 16-bit sizes modulo 8193, cycled; 0 is an empty call), then the octets.
// Each call's array carries a few bytes past its length that must not be read.

#include "bitserialdeframer.h"
#include "capture/bitextract.h"
#include "chainoracle.h"
#include "fuzzcheck.h"
#include "fuzzenvironment.h"
#include "fuzzinput.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr int MaxCalls = 8;
constexpr int MaxCall = 8192;
const QByteArray NotToBeRead = QByteArray::fromHex("7e7eff00");

QString clockText(const ChannelClock& clock)
{
    return QStringLiteral("%1.%2")
        .arg(clock.seconds)
        .arg(clock.microseconds, 6, 10, QLatin1Char('0'));
}

void compare(const StampedSink& fast, const StampedSink& reference, StatHandler& fastStats,
             StatHandler& referenceStats, const HdlcHandler& fastDeframer,
             const BitSerialDeframer& referenceDeframer, int call, qsizetype offset,
             qsizetype checkedPackets)
{
    const QString where = QStringLiteral("call %1 ending at octet %2: ").arg(call).arg(offset);
    FUZZ_REQUIRE(fast.packets.size() == reference.packets.size(),
                 where + QStringLiteral("%1 packets, reference %2")
                             .arg(fast.packets.size())
                             .arg(reference.packets.size()));
    for (qsizetype i = checkedPackets; i < fast.packets.size(); ++i) {
        const StampedPacket& got = fast.packets[i];
        const StampedPacket& want = reference.packets[i];
        FUZZ_REQUIRE(got.bytes == want.bytes,
                     where + QStringLiteral("packet %1 is %2, reference %3")
                                 .arg(i)
                                 .arg(hexSample(got.bytes), hexSample(want.bytes)));
        FUZZ_REQUIRE(got.stamp.seconds == want.stamp.seconds &&
                         got.stamp.microseconds == want.stamp.microseconds,
                     where + QStringLiteral("packet %1 stamped %2, reference %3")
                                 .arg(i)
                                 .arg(clockText(got.stamp), clockText(want.stamp)));
    }
    for (int i = 0; i < StatHandler::CounterCount; ++i)
        FUZZ_REQUIRE(fastStats.value(i) == referenceStats.value(i),
                     where + QStringLiteral("counter %1 is %2, reference %3")
                                 .arg(i)
                                 .arg(fastStats.value(i))
                                 .arg(referenceStats.value(i)));
    const ChannelClock got = fastDeframer.timestamp();
    const ChannelClock want = referenceDeframer.timestamp();
    FUZZ_REQUIRE(got.seconds == want.seconds && got.microseconds == want.microseconds,
                 where +
                     QStringLiteral("clock %1, reference %2").arg(clockText(got), clockText(want)));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzEnvironment::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ByteReader in(reinterpret_cast<const char*>(data), qsizetype(size));
    const int first = in.u8();
    const int tag = first & 1;
    const quint32 seconds = in.le32();
    const quint32 microseconds = in.le32();
    const Cuts cuts = Cuts::read(in, MaxCalls, MaxCall, MaxCall);
    const QByteArray octets = in.rest();

    const bool bitExtract = (first & 2) != 0;
    if (bitExtract && !hasBitExtract())
        return 0;

    StatHandler fastStats;
    StatHandler referenceStats;
    HdlcHandler fast(tag, bitExtract ? HdlcHandler::DeStuffing::BitExtract
                                     : HdlcHandler::DeStuffing::Shifts);
    BitSerialDeframer reference(tag);
    StampedSink fastSink([&fast] { return fast.timestamp(); });
    StampedSink referenceSink([&reference] { return reference.timestamp(); });
    fast.setStatHandler(&fastStats);
    reference.setStatHandler(&referenceStats);
    fast.setNext(&fastSink);
    reference.setNext(&referenceSink);
    fast.setTimestamp(seconds, microseconds);
    reference.setTimestamp(seconds, microseconds);

    qsizetype at = 0;
    qsizetype checked = 0; // packets compared after earlier calls
    int call = 0;
    for (int length : cuts.blocks(octets.size())) {
        const QByteArray block = octets.mid(at, length) + NotToBeRead;
        QByteArray forFast = block;
        QByteArray forReference = block;
        fast.process(forFast, length);
        reference.process(forReference, length);
        at += length;
        FUZZ_REQUIRE(forFast == block, QStringLiteral("call %1 changed its input").arg(call));
        compare(fastSink, referenceSink, fastStats, referenceStats, fast, reference, call, at,
                checked);
        checked = fastSink.packets.size();
        ++call;
    }
    return 0;
}
