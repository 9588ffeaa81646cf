#include "bitserialdeframer.h"
#include "capture/bitextract.h"
#include "capture/hdlchandler.h"
#include "capture/stathandler.h"
#include "capture/streamencoder.h"
#include "packetsink.h"
#include "testchains.h"

#include <QDateTime>
#include <QtTest>

namespace {

constexpr quint32 FlagBits = 0x7E;

// One deframer with its counters and a sink.
struct Deframer
{
    explicit Deframer(int tag = 0) : hdlc(tag)
    {
        hdlc.setNext(&sink);
        hdlc.setStatHandler(&stats);
    }
    void feed(const QByteArray& octets, int callSize) { feedInBlocks(&hdlc, octets, {callSize}); }
    QList<quint32> counts()
    {
        return {quint32(stats.value(StatHandler::ErroredLength)),
                quint32(stats.value(StatHandler::BadCrc)),
                quint32(stats.value(StatHandler::TooLarge))};
    }

    StatHandler stats;
    HdlcHandler hdlc;
    PacketSink sink;
};

using Counts = QList<quint32>; // errored length, bad CRC, too large

QByteArray frameOf(const char* hex)
{
    return QByteArray::fromHex(hex);
}

// A frame whose FCS ends in five ones after a zero, so a stuffed zero is the frame's last bit.
QByteArray frameEndingInStuffedZero()
{
    for (int value = 0; value < 0x10000; ++value) {
        const QByteArray frame{char(value >> 8), char(value)};
        const quint16 fcs = ChannelEncoder::frameCheckSequence(frame.constData(), 2);
        if ((fcs >> 10) == 0x3E) // high octet sent last: bit 2 zero, bits 3 to 7 ones
            return frame;
    }
    return {};
}

// Records what a deframer delivers and the deframer's clock at that moment.
template <typename DeframerType> struct Recorded : ChainHandler
{
    explicit Recorded(DeframerType* deframer) : source(deframer)
    {
        source->setNext(this);
        source->setStatHandler(&stats);
    }
    void process(QByteArray& data, int len) override
    {
        packets.append(QByteArray(data.constData(), len));
        const ChannelClock clock = source->timestamp();
        stamps.append(qint64(clock.seconds) * 1000000 + clock.microseconds);
    }
    QList<quint32> counts()
    {
        return {quint32(stats.value(StatHandler::ErroredLength)),
                quint32(stats.value(StatHandler::BadCrc)),
                quint32(stats.value(StatHandler::TooLarge))};
    }

    DeframerType* source;
    StatHandler stats;
    QList<QByteArray> packets;
    QList<qint64> stamps;
};

// Line bits that never hold six ones in a row, so never a flag: 0x55 repeated, phase kept.
void addFlagFreeBits(ChannelEncoder& encoder, int count)
{
    for (; count >= 8; count -= 8)
        encoder.addRawBits(0xAA, 8);
    if (count > 0)
        encoder.addRawBits(0xAA >> (8 - count), count);
}

} // namespace

class TestHdlcHandler : public QObject
{
    Q_OBJECT
private slots:
    void fcsOfTheStandardCheckString();
    void lineBitOrder_data();
    void lineBitOrder();
    void deframes_data();
    void deframes();
    void sameResultWhateverTheCallSizes();
    void flagSharingItsZeroIsNotRecognised();
    void bothChannelsDifferOnlyInTheTag();
    void clockAdvancesPerOctet();
    void clockStartsAtTheWallClock();
    void matchesTheBitSerialReference_data();
    void matchesTheBitSerialReference();
};

void TestHdlcHandler::fcsOfTheStandardCheckString()
{
    // The ISO/IEC 13239 16-bit FCS of "123456789" is 0x906E.
    QCOMPARE(ChannelEncoder::frameCheckSequence("123456789", 9), quint16(0x906E));
}

void TestHdlcHandler::lineBitOrder_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("firstTimeslotOctet");
    QTest::newRow("0x01") << frameOf("01") << 0x80;
    QTest::newRow("0xC0") << frameOf("c0") << 0x03;
    QTest::newRow("0x0F") << frameOf("0f") << 0xF0;
}

// A frame that lines up with the timeslot octets arrives with each octet's bit order reversed.
void TestHdlcHandler::lineBitOrder()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, firstTimeslotOctet);
    ChannelEncoder encoder;
    encoder.addFrame(frame);
    const QByteArray octets = encoder.octets();
    QCOMPARE(int(uchar(octets[0])), 0x7E);
    QCOMPARE(int(uchar(octets[1])), firstTimeslotOctet);

    Deframer deframer;
    deframer.feed(octets, 1);
    QCOMPARE(deframer.sink.calls, QList<QByteArray>{char(0) + frame});
}

void TestHdlcHandler::deframes_data()
{
    QTest::addColumn<QByteArray>("octets");
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<Counts>("counts");

    const QByteArray three = frameOf("0a0b0c");
    auto encode = [](auto build) {
        ChannelEncoder encoder;
        build(encoder);
        return encoder.octets();
    };
    auto raw = [](std::initializer_list<std::pair<quint32, int>> pieces) {
        ChannelEncoder encoder; // starts with a flag
        for (const auto& piece : pieces)
            encoder.addRawBits(piece.first, piece.second);
        return encoder.octets();
    };

    QTest::newRow("flags only") << QByteArray(64, char(0x7E)) << QList<QByteArray>{}
                                << Counts{0, 0, 0};
    QTest::newRow("one octet") << encode([](ChannelEncoder& e) { e.addFrame(frameOf("42")); })
                               << QList<QByteArray>{frameOf("42")} << Counts{0, 0, 0};
    QTest::newRow("three octets") << encode([&](ChannelEncoder& e) { e.addFrame(three); })
                                  << QList<QByteArray>{three} << Counts{0, 0, 0};
    QTest::newRow("0xFF payload stuffed")
        << encode([](ChannelEncoder& e) { e.addFrame(frameOf("ff7eff3f")); })
        << QList<QByteArray>{frameOf("ff7eff3f")} << Counts{0, 0, 0};
    QTest::newRow("stuffed zero is the last bit")
        << encode([](ChannelEncoder& e) { e.addFrame(frameEndingInStuffedZero()); })
        << QList<QByteArray>{frameEndingInStuffedZero()} << Counts{0, 0, 0};
    QTest::newRow("8 bits dropped silently")
        << raw({{0xA5, 8}, {FlagBits, 8}}) << QList<QByteArray>{} << Counts{0, 0, 0};
    QTest::newRow("16 bits dropped silently")
        << raw({{0xA5A5, 16}, {FlagBits, 8}}) << QList<QByteArray>{} << Counts{0, 0, 0};
    QTest::newRow("12 bits: errored length")
        << raw({{0xA5A, 12}, {FlagBits, 8}}) << QList<QByteArray>{} << Counts{1, 0, 0};
    QTest::newRow("seven ones: abort without a count")
        << raw({{0x0000, 16}, {0x7F, 8}, {0x0000, 16}, {FlagBits, 8}}) << QList<QByteArray>{}
        << Counts{0, 0, 0};
    QTest::newRow("abort, then a good frame") << encode([&](ChannelEncoder& e) {
        e.addAbortedFrame(frameOf("0102030405"));
        e.addFrame(three);
    }) << QList<QByteArray>{three} << Counts{0, 0, 0};
    QTest::newRow("bad FCS, then a good frame") << encode([&](ChannelEncoder& e) {
        e.addFrameWithBadFcs(three);
        e.addFrame(three);
    }) << QList<QByteArray>{three} << Counts{0, 1, 0};
    QTest::newRow("extra bits: errored length") << encode([&](ChannelEncoder& e) {
        e.addFrameWithExtraBits(three, 3);
        e.addFrame(three);
    }) << QList<QByteArray>{three} << Counts{1, 0, 0};
    // Idle ones overflow the bit buffer every 32,768 bits; what is left at the flag is an
    // abort when it holds six ones or more, otherwise a frame of the wrong length.
    QTest::newRow("idle, two overflows")
        << encode([](ChannelEncoder& e) { e.addIdleOnes(2 * 32768 + 100); }) << QList<QByteArray>{}
        << Counts{0, 0, 2};
    QTest::newRow("idle, exactly one buffer")
        << encode([](ChannelEncoder& e) { e.addIdleOnes(32768); }) << QList<QByteArray>{}
        << Counts{0, 0, 1};
    QTest::newRow("idle, one buffer and three ones")
        << encode([](ChannelEncoder& e) { e.addIdleOnes(32768 + 3); }) << QList<QByteArray>{}
        << Counts{1, 0, 1};
    QTest::newRow("idle just under a buffer, then a frame") << encode([&](ChannelEncoder& e) {
        e.addIdleOnes(32767);
        e.addFrame(three);
    }) << QList<QByteArray>{three} << Counts{0, 0, 0};
    QTest::newRow("largest frame that fits")
        << encode([](ChannelEncoder& e) { e.addFrame(QByteArray(4000, char(0x55))); })
        << QList<QByteArray>{QByteArray(4000, char(0x55))} << Counts{0, 0, 0};
}

void TestHdlcHandler::deframes()
{
    QFETCH(QByteArray, octets);
    QFETCH(QList<QByteArray>, frames);
    QFETCH(Counts, counts);
    Deframer deframer(0);
    deframer.feed(octets, 2);
    QCOMPARE(deframer.sink.framesOf(0), frames);
    QCOMPARE(deframer.sink.calls.size(), frames.size());
    QCOMPARE(deframer.counts(), counts);
}

void TestHdlcHandler::sameResultWhateverTheCallSizes()
{
    QRandomGenerator random(7);
    ChannelEncoder encoder;
    addRandomItems(encoder, random, 300, 60, true);
    const QByteArray octets = encoder.octets();

    Deframer reference;
    reference.feed(octets, int(octets.size()));
    QCOMPARE(reference.sink.framesOf(0), encoder.outcome().frames);
    QCOMPARE(reference.counts(), (Counts{encoder.outcome().erroredLength, encoder.outcome().badCrc,
                                         encoder.outcome().tooLarge}));
    for (int callSize : {1, 2, 3, 4, 5, 7, 64, 4096}) {
        Deframer deframer;
        deframer.feed(octets, callSize);
        QCOMPARE(deframer.sink.calls, reference.sink.calls);
        QCOMPARE(deframer.counts(), reference.counts());
    }
    Deframer randomCalls;
    feedRandomly(&randomCalls.hdlc, octets, random, 9);
    QCOMPARE(randomCalls.sink.calls, reference.sink.calls);
    QCOMPARE(randomCalls.counts(), reference.counts());
}

// After a flag the window takes eight fresh bits: a second flag that reuses the first one's
// closing zero is not a flag, so the frame behind it is lost.
void TestHdlcHandler::flagSharingItsZeroIsNotRecognised()
{
    const QByteArray a = frameOf("a1a2a3");
    const QByteArray b = frameOf("b1b2b3");
    auto stream = [&](bool sharedZero) {
        ChannelEncoder encoder;
        encoder.addFrame(a); // closed by a whole flag
        if (sharedZero)
            encoder.addRawBits(0x7E, 7); // 1111110: the flag's zero is the one just sent
        encoder.addFrame(b);
        return encoder.octets();
    };
    Deframer separate;
    separate.feed(stream(false), 1);
    QCOMPARE(separate.sink.framesOf(0), (QList<QByteArray>{a, b}));

    Deframer shared;
    shared.feed(stream(true), 1);
    QCOMPARE(shared.sink.framesOf(0), QList<QByteArray>{a});
    QCOMPARE(shared.counts(), (Counts{0, 0, 0})); // six ones in the frame: an abort
}

void TestHdlcHandler::bothChannelsDifferOnlyInTheTag()
{
    QRandomGenerator random(11);
    ChannelEncoder encoder;
    for (int i = 0; i < 50; ++i)
        encoder.addFrame(randomBytes(random, 1 + int(random.bounded(100))));
    const QByteArray octets = encoder.octets();
    Deframer rx(0);
    Deframer sync(1);
    rx.feed(octets, 2);
    sync.feed(octets, 2);
    QCOMPARE(rx.sink.calls.size(), 50);
    QCOMPARE(rx.sink.framesOf(0), sync.sink.framesOf(1));
    QCOMPARE(rx.sink.framesOf(1), QList<QByteArray>{});
}

void TestHdlcHandler::clockAdvancesPerOctet()
{
    HdlcHandler hdlc(0);
    hdlc.setTimestamp(1700000000, 999000);
    QByteArray octet(1, char(0x7E));
    for (int i = 0; i < 8000; ++i) {
        hdlc.process(octet, 1);
        QVERIFY(hdlc.timestamp().microseconds < 1000000);
    }
    QCOMPARE(hdlc.timestamp().seconds, 1700000001u);
    QCOMPARE(hdlc.timestamp().microseconds, 999000u);

    hdlc.setTimestamp(5, 999875);
    hdlc.process(octet, 1);
    QCOMPARE(hdlc.timestamp().seconds, 6u);
    QCOMPARE(hdlc.timestamp().microseconds, 0u);
    // An empty call is not an octet.
    hdlc.process(octet, 0);
    QCOMPARE(hdlc.timestamp().microseconds, 0u);
}

void TestHdlcHandler::clockStartsAtTheWallClock()
{
    HdlcHandler hdlc(1);
    QByteArray octets(8, char(0x7E));
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    hdlc.process(octets, 8);
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    const ChannelClock clock = hdlc.timestamp();
    const qint64 startUs = qint64(clock.seconds) * 1000000 + clock.microseconds - 8 * 125;
    QVERIFY(startUs % 1000 == 0); // millisecond resolution
    QVERIFY(startUs >= before * 1000 && startUs <= after * 1000);
    // Only the first call reads the wall clock.
    hdlc.process(octets, 8);
    QCOMPARE(qint64(hdlc.timestamp().seconds) * 1000000 + hdlc.timestamp().microseconds,
             startUs + 16 * 125);
}

void TestHdlcHandler::matchesTheBitSerialReference_data()
{
    QTest::addColumn<QByteArray>("octets");
    QTest::addColumn<int>("maxCall"); // calls of 0 to maxCall octets, at random
    QTest::addColumn<bool>("bitExtract");
    // Each set both with the processor's bit extract instruction (where it has a fast one) and
    // with shifts.
    const auto addRows = [](const char* name, const QByteArray& octets, int maxCall) {
        QTest::addRow("%s, shifts", name) << octets << maxCall << false;
        QTest::addRow("%s, bit extract", name) << octets << maxCall << true;
    };

    QRandomGenerator random(0xD1FF);
    addRows("random octets", randomBytes(random, 1 << 16), 7);

    // Octets that make flags, runs of ones and stuffing likely at every bit offset.
    const unsigned char likely[] = {0x7E, 0xFF, 0xFE, 0x7F, 0x3F, 0xFC, 0x1F, 0xF8,
                                    0x00, 0x01, 0x80, 0x3E, 0x7C, 0xBE, 0xFD, 0x5F};
    QByteArray flagRich(1 << 16, Qt::Uninitialized);
    for (char& octet : flagRich)
        octet = char(random.bounded(4) ? likely[random.bounded(16)] : random.bounded(256));
    addRows("flag-rich octets", flagRich, 5);

    ChannelEncoder traffic;
    addRandomItems(traffic, random, 3000, 80, true);
    addRows("traffic with faults, 2 per call", traffic.octets(), 2);
    addRows("traffic with faults, large calls", traffic.octets(), 9000);

    // Frames whose raw length passes the 32,768-bit buffer by -8 to +16 bits, the closing flag
    // at every bit offset: "Too large" and the flag may fall in the same octet, in either order.
    ChannelEncoder edges;
    for (int shift = 0; shift < 8; ++shift) {
        for (int extra = -8; extra <= 16; ++extra) {
            addFlagFreeBits(edges, 32768 + extra);
            edges.addRawBits(FlagBits, 8);
            addFlagFreeBits(edges, shift);
            edges.addRawBits(FlagBits, 8);
        }
    }
    // Runs of ones that end just past one or two buffers, the frame starting at every bit
    // offset within an octet.
    for (int offset = 0; offset < 8; ++offset) {
        for (int ones : {32767, 32768, 32769, 32773, 32774, 32775, 65536 + 5, 65536 + 7}) {
            addFlagFreeBits(edges, int(offset + 16 - edges.bitCount() % 8) % 8);
            edges.addRawBits(FlagBits, 8);
            for (int left = ones; left > 0; left -= 8)
                edges.addRawBits(0xFF, std::min(left, 8));
            edges.addRawBits(FlagBits, 8);
        }
    }
    edges.addFrame(QByteArray(4094, char(0x55)));
    edges.addFrame(QByteArray(4093, char(0xFF)));
    edges.addFrame(frameOf("0a0b0c"));
    addRows("buffer edges", edges.octets(), 3);
}

// The table-driven deframer must deliver exactly what the bit-serial one does: the same packets
// in the same order, each at the same clock reading, and the same counts after every call.
void TestHdlcHandler::matchesTheBitSerialReference()
{
    QFETCH(QByteArray, octets);
    QFETCH(int, maxCall);
    QFETCH(bool, bitExtract);
    if (bitExtract && !hasBitExtract())
        QSKIP("This processor has no bit extract instruction.");
    HdlcHandler fast(1, bitExtract ? HdlcHandler::DeStuffing::BitExtract
                                   : HdlcHandler::DeStuffing::Shifts);
    BitSerialDeframer reference(1);
    fast.setTimestamp(1700000000, 999000);
    reference.setTimestamp(1700000000, 999000);
    Recorded<HdlcHandler> got(&fast);
    Recorded<BitSerialDeframer> expected(&reference);

    QRandomGenerator random(quint32(octets.size()));
    for (qsizetype at = 0; at < octets.size();) {
        const int n = std::min(int(random.bounded(maxCall + 1)), int(octets.size() - at));
        QByteArray a = octets.mid(at, n);
        QByteArray b = a;
        fast.process(a, n);
        reference.process(b, n);
        at += n;
        if (got.packets.size() != expected.packets.size() || got.counts() != expected.counts()) {
            QCOMPARE(got.counts(), expected.counts());
            QCOMPARE(got.packets.size(), expected.packets.size());
        }
    }
    QCOMPARE(got.packets, expected.packets);
    QCOMPARE(got.stamps, expected.stamps);
    QCOMPARE(got.counts(), expected.counts());
    QCOMPARE(fast.timestamp().seconds, reference.timestamp().seconds);
    QCOMPARE(fast.timestamp().microseconds, reference.timestamp().microseconds);
    QVERIFY(!expected.packets.isEmpty() || expected.counts() != (Counts{0, 0, 0}));
}

QTEST_GUILESS_MAIN(TestHdlcHandler)
#include "tst_hdlchandler.moc"
