#include "capture/headerhandler.h"
#include "capture/messagehandler.h"
#include "capture/skiphandler.h"
#include "capture/splithandler.h"
#include "capture/streamencoder.h"
#include "packetsink.h"
#include "testchains.h"

#include <QtTest>

namespace {

// Header, skip and split in front of two sinks, as a port run builds them; a file run starts
// at the splitter.
struct Front
{
    explicit Front(bool fromPort, unsigned echoLength = 6) : skip(echoLength)
    {
        header.setNext(&skip);
        skip.setNext(&split);
        split.setNext(&rxSink);
        split.setSecondNext(&syncSink);
        for (ChainHandler* element : std::initializer_list<ChainHandler*>{&header, &skip, &split})
            element->setMessageHandler(&messages);
        head = fromPort ? static_cast<ChainHandler*>(&header) : &split;
    }

    MessageHandler messages;
    HeaderHandler header;
    SkipHandler skip;
    SplitHandler split;
    PacketSink rxSink;
    PacketSink syncSink;
    ChainHandler* head;
};

QByteArray rxOf(const QByteArray& pairs)
{
    QByteArray rx;
    for (int i = 0; i + 1 < pairs.size(); i += 2)
        rx.append(char(SplitHandler::rxOctet(uchar(pairs[i]), uchar(pairs[i + 1]))));
    return rx;
}

QByteArray syncOf(const QByteArray& pairs)
{
    QByteArray sync;
    for (int i = 0; i + 1 < pairs.size(); i += 2)
        sync.append(char(SplitHandler::syncOctet(uchar(pairs[i]), uchar(pairs[i + 1]))));
    return sync;
}

} // namespace

class TestFrontElements : public QObject
{
    Q_OBJECT
private slots:
    void passesExactlyTheCaptureData_data();
    void passesExactlyTheCaptureData();
    void badHeaderIsReportedOnceAndPassesNothing_data();
    void badHeaderIsReportedOnceAndPassesNothing();
    void splitsNibbleInterleavedPairs_data();
    void splitsNibbleInterleavedPairs();
    void splitterHoldsTheOddByte();
    void splitterUnitsAmongOtherBlocks_data();
    void splitterUnitsAmongOtherBlocks();
    void skipEndingAtABlockEnd();
    void zeroLengthCallsChangeNothing();
};

void TestFrontElements::passesExactlyTheCaptureData_data()
{
    QTest::addColumn<bool>("fromPort");
    QTest::addColumn<QByteArray>("echo");
    QTest::addColumn<QByteArray>("captureData");

    const QByteArray data = QByteArray::fromHex("1234a5f00f7e");
    QTest::newRow("port, timeslots 1 and 2") << true << StreamFormat::request(1, 2) << data;
    QTest::newRow("port, timeslots 0 and 31") << true << StreamFormat::request(0, 31) << data;
    // A byte left over at the end never reaches the channels.
    QTest::newRow("port, odd capture data")
        << true << StreamFormat::request(16, 1) << QByteArray::fromHex("0123456789");
    QTest::newRow("file") << false << QByteArray() << QByteArray::fromHex("fedcba98765432100f");
    QTest::newRow("file, flags and idle")
        << false << QByteArray() << QByteArray::fromHex("070e070effff070e00");
}

// Every way of cutting the stream into blocks, 1-byte blocks included, gives the same channels.
void TestFrontElements::passesExactlyTheCaptureData()
{
    QFETCH(bool, fromPort);
    QFETCH(QByteArray, echo);
    QFETCH(QByteArray, captureData);

    const QByteArray stream = echo + captureData;
    const QList<QList<int>> cuttings = allCuttings(int(stream.size()));
    for (const QList<int>& cutting : cuttings) {
        Front front(fromPort, unsigned(echo.size()) - 3);
        feedInBlocks(front.head, stream, cutting);
        QCOMPARE(front.rxSink.joined(), rxOf(captureData));
        QCOMPARE(front.syncSink.joined(), syncOf(captureData));
        QVERIFY(!front.messages.hasMessages());
    }
}

void TestFrontElements::badHeaderIsReportedOnceAndPassesNothing_data()
{
    QTest::addColumn<QByteArray>("stream");
    const QByteArray rest = StreamFormat::request(1, 2).mid(3) + QByteArray::fromHex("12345678");
    QTest::newRow("lower case") << QByteArray("atu") + rest;
    QTest::newRow("last letter wrong") << QByteArray("ATV") + rest;
    QTest::newRow("first letter wrong") << QByteArray("BTU") + rest;
    QTest::newRow("NUL inside") << QByteArray("A\0U", 3) + rest;
    QTest::newRow("capture data without echo") << QByteArray::fromHex("070e070e070e070e");
}

void TestFrontElements::badHeaderIsReportedOnceAndPassesNothing()
{
    QFETCH(QByteArray, stream);
    for (int block : {1, 2, 3, 4, 5, 4096}) {
        Front front(true);
        feedInBlocks(front.head, stream + stream, {block});
        QCOMPARE(drainMessages(front.messages),
                 QStringList{"E:Error reading ATU header. Invalid data. Halting."});
        QCOMPARE(front.rxSink.joined(), QByteArray());
        QCOMPARE(front.syncSink.joined(), QByteArray());
        // A later block is dropped too, without another error.
        QByteArray more = stream;
        front.head->process(more, int(more.size()));
        QVERIFY(!front.messages.hasMessages());
        QCOMPARE(front.rxSink.joined(), QByteArray());
    }
}

void TestFrontElements::splitsNibbleInterleavedPairs_data()
{
    QTest::addColumn<QByteArray>("pairs");
    QTest::addColumn<QByteArray>("rx");
    QTest::addColumn<QByteArray>("sync");
    QTest::newRow("0x12 0x34") << QByteArray::fromHex("1234") << QByteArray::fromHex("24")
                               << QByteArray::fromHex("13");
    QTest::newRow("RX flags, Sync zero")
        << QByteArray::fromHex("070e070e") << QByteArray::fromHex("7e7e")
        << QByteArray::fromHex("0000");
    QTest::newRow("Sync flags, RX ones")
        << QByteArray::fromHex("7fef") << QByteArray::fromHex("ff") << QByteArray::fromHex("7e");
    // The encoder's interleaving is the inverse of the split.
    QTest::newRow("encoder") << StreamFormat::interleave("\x01\x80\xc3",
                                                         QByteArray("\xff\x00\x5a", 3))
                             << QByteArray("\x01\x80\xc3") << QByteArray("\xff\x00\x5a", 3);
}

void TestFrontElements::splitsNibbleInterleavedPairs()
{
    QFETCH(QByteArray, pairs);
    QFETCH(QByteArray, rx);
    QFETCH(QByteArray, sync);
    Front front(false);
    front.head->process(pairs, int(pairs.size()));
    QCOMPARE(front.rxSink.joined(), rx);
    QCOMPARE(front.syncSink.joined(), sync);
}

void TestFrontElements::splitterHoldsTheOddByte()
{
    Front front(false);
    QByteArray one("\x12", 1);
    front.head->process(one, 1);
    // A lone byte gives two zero-length calls and is held.
    QCOMPARE(front.rxSink.calls, QList<QByteArray>{QByteArray()});
    QCOMPARE(front.syncSink.calls, QList<QByteArray>{QByteArray()});

    QByteArray three = QByteArray::fromHex("345678");
    front.head->process(three, 3);
    QByteArray five = QByteArray::fromHex("9abcdef012");
    front.head->process(five, 5);
    // (3 + 1) / 2 and (5 + 1) / 2 octets: the held byte pairs with the next block's first.
    QCOMPARE(front.rxSink.calls, (QList<QByteArray>{QByteArray(), QByteArray::fromHex("2468"),
                                                    QByteArray::fromHex("ace0")}));
    QCOMPARE(front.syncSink.calls, (QList<QByteArray>{QByteArray(), QByteArray::fromHex("1357"),
                                                      QByteArray::fromHex("9bdf")}));
}

// Four-byte units take a shorter way through the splitter than other blocks; mixed in any order,
// with the arrays grown by a large block in between, they must give the same octets and calls.
void TestFrontElements::splitterUnitsAmongOtherBlocks_data()
{
    QTest::addColumn<QList<int>>("blocks");
    QTest::newRow("units only") << QList<int>{4, 4, 4, 4};
    QTest::newRow("unit after a held byte") << QList<int>{1, 4, 4, 3, 4};
    QTest::newRow("units after the arrays grew") << QList<int>{9001, 4, 4, 1, 4, 4};
    QTest::newRow("empty and odd calls between units") << QList<int>{4, 0, 3, 4, 5, 4, 2, 4};
}

void TestFrontElements::splitterUnitsAmongOtherBlocks()
{
    QFETCH(QList<int>, blocks);
    QByteArray stream;
    for (int size : blocks)
        for (int i = 0; i < size; ++i)
            stream.append(char((stream.size() * 37 + 11) & 0xFF));
    Front front(false);
    QList<int> expectedSizes;
    int at = 0;
    bool holding = false;
    for (int size : blocks) {
        QByteArray block = stream.mid(at, size);
        front.head->process(block, size);
        at += size;
        if (size > 0)
            expectedSizes.append((size + (holding ? 1 : 0)) / 2);
        holding = (at % 2) == 1;
    }
    QList<int> rxSizes;
    for (const QByteArray& call : std::as_const(front.rxSink.calls))
        rxSizes.append(int(call.size()));
    QCOMPARE(rxSizes, expectedSizes);
    QCOMPARE(front.rxSink.joined(), rxOf(stream));
    QCOMPARE(front.syncSink.joined(), syncOf(stream));
}

void TestFrontElements::skipEndingAtABlockEnd()
{
    SkipHandler skip(6);
    PacketSink sink;
    skip.setNext(&sink);
    QByteArray first("ATU01 02\n", 9);
    // The header element has taken three bytes; the skip's six end exactly with this block.
    QByteArray echoRest = first.mid(3);
    skip.process(echoRest, 6);
    QCOMPARE(sink.calls, QList<QByteArray>{QByteArray()});
    QByteArray data = QByteArray::fromHex("0102");
    skip.process(data, 2);
    QCOMPARE(sink.joined(), QByteArray::fromHex("0102"));
}

void TestFrontElements::zeroLengthCallsChangeNothing()
{
    Front front(true);
    QByteArray empty;
    for (int i = 0; i < 3; ++i)
        front.head->process(empty, 0);
    const QByteArray stream = StreamFormat::request(1, 2) + QByteArray::fromHex("1234");
    feedInBlocks(front.head, stream, {1, 0, 2, 0});
    QCOMPARE(front.rxSink.joined(), QByteArray::fromHex("24"));
    QCOMPARE(front.syncSink.joined(), QByteArray::fromHex("13"));
    QVERIFY(!front.messages.hasMessages());
}

QTEST_GUILESS_MAIN(TestFrontElements)
#include "tst_frontelements.moc"
