#include "capture/bitextract.h"
#include "capture/streamencoder.h"
#include "capture/unitfeeder.h"
#include "testchains.h"

#include <QtTest>

namespace {
enum class Faults
{
    None,
    Mixed
};
} // namespace

class TestStreamRoundTrip : public QObject
{
    Q_OBJECT
private slots:
    void framesComeBackIdentical_data();
    void framesComeBackIdentical();
};

void TestStreamRoundTrip::framesComeBackIdentical_data()
{
    QTest::addColumn<bool>("fromPort");
    QTest::addColumn<Faults>("faults");
    // 0: the acquisition thread's 4-byte units; -1: random blocks whole, as a replay takes them,
    // against the same blocks unit by unit with the other de-stuffing.
    QTest::addColumn<int>("maxBlock");
    QTest::addColumn<quint32>("seed");

    for (quint32 seed : {1u, 2u, 3u}) {
        for (bool fromPort : {true, false}) {
            const char* source = fromPort ? "port" : "file";
            QTest::addRow("%s, clean, units, seed %u", source, seed)
                << fromPort << Faults::None << 0 << seed;
            QTest::addRow("%s, faults, units, seed %u", source, seed)
                << fromPort << Faults::Mixed << 0 << seed;
            QTest::addRow("%s, faults, 1-byte blocks, seed %u", source, seed)
                << fromPort << Faults::Mixed << 1 << seed;
            QTest::addRow("%s, faults, random blocks, seed %u", source, seed)
                << fromPort << Faults::Mixed << 4096 << seed;
            if (!fromPort)
                QTest::addRow("file, faults, whole blocks, seed %u", seed)
                    << fromPort << Faults::Mixed << -1 << seed;
        }
    }
}

void TestStreamRoundTrip::framesComeBackIdentical()
{
    QFETCH(bool, fromPort);
    QFETCH(Faults, faults);
    QFETCH(int, maxBlock);
    QFETCH(quint32, seed);

    QRandomGenerator random(seed);
    ChannelEncoder rx;
    ChannelEncoder sync;
    addRandomItems(rx, random, 120, 400, faults == Faults::Mixed);
    addRandomItems(sync, random, 80, 400, faults == Faults::Mixed);
    // Timeslot 100 makes a longer echo than the usual nine bytes.
    const unsigned rxTimeslot = seed == 3 ? 100 : seed;
    const QByteArray stream = fromPort ? StreamFormat::testerAnswer(rxTimeslot, 16, rx, sync)
                                       : StreamFormat::captureData(rx, sync);
    const unsigned echoLength = unsigned(StreamFormat::request(rxTimeslot, 16).size()) - 3;
    using DeStuffing = HdlcHandler::DeStuffing;
    DeframingChain chain(fromPort ? DeframingChain::Port : DeframingChain::File, echoLength,
                         maxBlock < 0 && hasBitExtract() ? DeStuffing::BitExtract
                                                         : DeStuffing::Automatic);
    if (maxBlock < 0) {
        DeframingChain units(DeframingChain::File, echoLength, DeStuffing::Shifts);
        units.rx.setTimestamp(1700000000, 500000);
        chain.rx.setTimestamp(1700000000, 500000);
        for (int at = 0, size = 0; at < stream.size(); at += size) {
            size = std::min(int(random.bounded(4097)), int(stream.size()) - at);
            feedInUnits(units.head(), stream.constData() + at, size);
            chain.feedBlock(stream.mid(at, size));
        }
        const auto micros = [](const QList<ChannelClock>& stamps) {
            QList<quint64> out;
            for (const ChannelClock& stamp : stamps)
                out.append(quint64(stamp.seconds) * 1000000 + stamp.microseconds);
            return out;
        };
        QCOMPARE(chain.sink.calls, units.sink.calls);
        QCOMPARE(micros(chain.sink.stamps), micros(units.sink.stamps));
    } else if (maxBlock == 0) {
        for (int at = 0; at < stream.size(); at += 4096)
            feedInUnits(chain.head(), stream.constData() + at,
                        int(std::min<qsizetype>(4096, stream.size() - at)));
    } else if (maxBlock == 1) {
        feedInBlocks(chain.head(), stream, {1});
    } else {
        feedRandomly(chain.head(), stream, random, maxBlock);
    }

    QCOMPARE(chain.sink.framesOf(0), rx.outcome().frames);
    QCOMPARE(chain.sink.framesOf(1), sync.outcome().frames);
    QCOMPARE(chain.stats.value(StatHandler::ErroredLength),
             rx.outcome().erroredLength + sync.outcome().erroredLength);
    QCOMPARE(chain.stats.value(StatHandler::BadCrc), rx.outcome().badCrc + sync.outcome().badCrc);
    QCOMPARE(chain.stats.value(StatHandler::TooLarge),
             rx.outcome().tooLarge + sync.outcome().tooLarge);
    QVERIFY(!chain.messages.hasMessages());
    if (faults == Faults::Mixed)
        QVERIFY(rx.outcome().badCrc + rx.outcome().erroredLength + rx.outcome().tooLarge > 0);
}

QTEST_GUILESS_MAIN(TestStreamRoundTrip)
#include "tst_streamroundtrip.moc"
