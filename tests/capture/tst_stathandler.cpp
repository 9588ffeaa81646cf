#include "capture/chainhandler.h"
#include "capture/stathandler.h"

#include <QThread>
#include <QtTest>

namespace {
class Element : public ChainHandler
{
public:
    void process(QByteArray&, int) override {}
};
} // namespace

class TestStatHandler : public QObject
{
    Q_OBJECT
private slots:
    void counts();
    void elementsCountOnlyWithAHandler();
    void nothingLostBetweenThreads();
};

void TestStatHandler::counts()
{
    StatHandler stats;
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(stats.text(i), QString("0"));
    stats.add(7, 0);
    QCOMPARE(stats.text(0), QString(""));
    stats.add(5, StatHandler::Bytes);
    stats.add(3, StatHandler::Bytes);
    QCOMPARE(stats.text(2), QString("8"));
    stats.add(4294967295u, StatHandler::TooLarge);
    QCOMPARE(stats.text(5), QString("4294967295"));
    stats.add(1, StatHandler::TooLarge);
    QCOMPARE(stats.text(5), QString("4294967296"));
    stats.add(1, 6); // out of range: ignored
    stats.add(1, -1);
    QCOMPARE(stats.text(6), QString());
    stats.reset();
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(stats.text(i), QString("0"));
}

void TestStatHandler::elementsCountOnlyWithAHandler()
{
    Element element;
    element.countStat(StatHandler::Packets); // no handler: nothing, no crash
    StatHandler stats;
    element.setStatHandler(&stats);
    element.countStat(StatHandler::Packets);
    element.addStat(160, StatHandler::Bytes);
    QCOMPARE(stats.text(StatHandler::Packets), QString("1"));
    QCOMPARE(stats.text(StatHandler::Bytes), QString("160"));
}

// One thread counts while another reads: the reader never sees a counter go back, and the
// totals are exact.
void TestStatHandler::nothingLostBetweenThreads()
{
    constexpr quint32 Rounds = 200000;
    StatHandler stats;
    QThread* producer = QThread::create([&stats] {
        for (quint32 i = 0; i < Rounds; ++i) {
            stats.add(1, StatHandler::Packets);
            stats.add(3, StatHandler::Bytes);
        }
    });
    producer->start();
    quint64 previousPackets = 0;
    bool monotonic = true;
    while (!producer->isFinished() && monotonic) {
        const quint64 packets = stats.text(StatHandler::Packets).toULongLong();
        monotonic = packets >= previousPackets;
        previousPackets = packets;
    }
    QVERIFY(producer->wait(60000));
    delete producer;
    QVERIFY(monotonic);
    QCOMPARE(stats.value(StatHandler::Packets), Rounds);
    QCOMPARE(stats.value(StatHandler::Bytes), 3 * Rounds);
}

QTEST_GUILESS_MAIN(TestStatHandler)
#include "tst_stathandler.moc"
