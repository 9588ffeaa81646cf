#include "acquisition/datagatherer.h"
#include "acquisition/tracetypes.h"
#include "capture/messagehandler.h"
#include "capture/stathandler.h"
#include "capture/streamencoder.h"
#include "support/framematch.h"
#include "support/testchains.h"
#include "support/testfiles.h"
#include "writers/pcapreader.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A run with the window's shared objects, started and waited for as the window would.
struct Run
{
    MessageHandler messages;
    StatHandler stats;
    DataGatherer gatherer;

    Run()
    {
        gatherer.setMessageHandler(&messages);
        gatherer.setStatHandler(&stats);
    }
    void replay(const QString& inputFile, int traceType, const QString& output = QString(),
                const QString& syncOutput = QString())
    {
        gatherer.setSourceType(RunSettings::FileSource);
        gatherer.setInputFileName(inputFile);
        gatherer.setTraceType(traceType);
        gatherer.setOutputFileName(output);
        gatherer.setSyncFileName(syncOutput);
    }
    QStringList finish()
    {
        gatherer.start();
        return waitAndDrain();
    }
    QStringList waitAndDrain()
    {
        gatherer.wait();
        return drainMessages(messages);
    }
};

// Two channels of realistic frames with every fault kind, as a replay file holds them.
struct Capture
{
    ChannelEncoder rx;
    ChannelEncoder sync;
    QByteArray data;

    explicit Capture(int items, quint32 seed = 7)
    {
        QRandomGenerator random(seed);
        rx.addFlags(2);
        sync.addFlags(3);
        addRandomItems(rx, random, items, 300, true);
        addRandomItems(sync, random, items, 300, true);
        data = StreamFormat::captureData(rx, sync);
    }
};

} // namespace

class TestDataGatherer : public QObject
{
    Q_OBJECT

private slots:
    // The thread's set-up narrates itself on the debug channel.
    void initTestCase() { QLoggingCategory::setFilterRules("default.debug=false"); }
    void request_data();
    void request();
    void setUpFailures_data();
    void setUpFailures();
    void rawSyncFileFails();
    void replayRaw_data();
    void replayRaw();
    void replayPcap();
    void emptyFileWritesNothing();
    void cancelBeforeSetUpEnds();
    void cancelRacesTheRun();
};

void TestDataGatherer::request_data()
{
    QTest::addColumn<int>("rx");
    QTest::addColumn<int>("sync");
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("echoLength");

    QTest::newRow("1 and 16") << 1 << 16 << "ATU01 16\n" << 6;
    QTest::newRow("timeslot 0") << 0 << 31 << "ATU00 31\n" << 6;
    QTest::newRow("three digits") << 200 << 7 << "ATU200 07\n" << 7;
}

void TestDataGatherer::request()
{
    QFETCH(int, rx);
    QFETCH(int, sync);
    QFETCH(QString, request);
    QFETCH(int, echoLength);

    QTemporaryDir dir;
    const QString input = dir.filePath("stream");
    QVERIFY(writeFile(input, QByteArray(8, '\x55')));
    Run run;
    run.replay(input, -1); // ends silently after building the request
    run.gatherer.setRxTimeslot(static_cast<unsigned char>(rx));
    run.gatherer.setSyncTimeslot(static_cast<unsigned char>(sync));
    QCOMPARE(run.finish(), QStringList());
    QCOMPARE(run.gatherer.request(), request);
    QCOMPARE(run.gatherer.echoLength(), echoLength);
}

void TestDataGatherer::setUpFailures_data()
{
    QTest::addColumn<int>("sourceType");
    QTest::addColumn<QString>("input"); // "" missing, "dir" a directory, "ok" a stream file
    QTest::addColumn<int>("traceType");
    QTest::addColumn<QString>("rxOutput");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("missing input file")
        << 1 << "" << 1 << "out.pcap" << QStringList{"E:File doesn't exist"};
    QTest::newRow("input is a directory")
        << 1 << "dir" << 1 << "out.pcap" << QStringList{"E:Cannot open input file"};
    QTest::newRow("trace type never set") << 1 << "ok" << -1 << "out.pcap" << QStringList{};
    QTest::newRow("trace type past the list") << 1 << "ok" << 7 << "out.pcap" << QStringList{};
    QTest::newRow("no such port") << 0 << "" << 1 << "out.pcap"
                                  << QStringList{"%dir%/no-such-port: No such file or directory",
                                                 "E:Port isn't initialized"};
    QTest::newRow("empty port name")
        << 0 << "empty port" << 1 << "out.pcap" << QStringList{"E:Port isn't initialized"};
    QTest::newRow("raw RX file in a missing directory")
        << 1 << "ok" << 0 << "missing/rx.raw"
        << QStringList{"E:%dir%/missing/rx.raw: No such file or directory"};
}

void TestDataGatherer::setUpFailures()
{
    QFETCH(int, sourceType);
    QFETCH(QString, input);
    QFETCH(int, traceType);
    QFETCH(QString, rxOutput);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    QString inputPath = dir.filePath("stream");
    if (input == "dir")
        QVERIFY(QDir(dir.path()).mkdir("stream"));
    else if (input == "ok")
        QVERIFY(writeFile(inputPath, Capture(20).data));
    Run run;
    run.replay(inputPath, traceType, dir.filePath(rxOutput), dir.filePath("sync.raw"));
    run.gatherer.setSourceType(sourceType);
    run.gatherer.setPortName(input == "empty port" ? QString() : dir.filePath("no-such-port"));
    expected.replaceInStrings("%dir%", dir.path());
    QCOMPARE(run.finish(), expected);
    // Nothing was built, so nothing was written.
    QVERIFY(!QFile::exists(dir.filePath(rxOutput)));
    QCOMPARE(run.stats.value(StatHandler::Bytes), 0u);
}

// The RX file is created before the Sync file fails; it stays, empty and closed.
void TestDataGatherer::rawSyncFileFails()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("stream"), Capture(20).data));
    Run run;
    const QString syncPath = dir.filePath("missing/sync.raw");
    run.replay(dir.filePath("stream"), TraceTypes::Raw, dir.filePath("rx.raw"), syncPath);
    QCOMPARE(run.finish(), QStringList{"E:" + syncPath + ": No such file or directory"});
    QVERIFY(QFile::exists(dir.filePath("rx.raw")));
    QCOMPARE(QFileInfo(dir.filePath("rx.raw")).size(), 0);
}

void TestDataGatherer::replayRaw_data()
{
    QTest::addColumn<int>("pairs");
    QTest::addColumn<int>("extraBytes");

    // Block and unit boundaries: the reads are 4096 bytes, the units 4.
    for (int pairs : {0, 1, 2, 2047, 2048, 2049, 10000}) {
        for (int extra : {0, 1}) {
            if (pairs == 0 && extra == 0)
                continue; // the empty file has its own test
            QTest::addRow("%d pairs + %d", pairs, extra) << pairs << extra;
        }
    }
}

// The Raw files hold exactly the channel octets; a last byte without its partner is held back
// by the splitter, never half-written.
void TestDataGatherer::replayRaw()
{
    QFETCH(int, pairs);
    QFETCH(int, extraBytes);

    QRandomGenerator random(quint32(pairs * 2 + extraBytes));
    const QByteArray rx = randomBytes(random, pairs);
    const QByteArray sync = randomBytes(random, pairs);
    QByteArray stream = StreamFormat::interleave(rx, sync);
    stream += randomBytes(random, extraBytes);

    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("stream"), stream));
    Run run;
    run.replay(dir.filePath("stream"), TraceTypes::Raw, dir.filePath("rx.raw"),
               dir.filePath("sync.raw"));
    const QStringList expected{QString("Rx: %1 bytes written").arg(pairs),
                               QString("Sync: %1 bytes written").arg(pairs),
                               "E:End of file reached"};
    QStringList got = run.finish();
    // The final message is posted before the chain is destroyed.
    QCOMPARE(got, QStringList({expected[2], expected[0], expected[1]}));
    QCOMPARE(fileContents(dir.filePath("rx.raw")), rx);
    QCOMPARE(fileContents(dir.filePath("sync.raw")), sync);
    QCOMPARE(run.stats.value(StatHandler::Bytes), quint32(2 * pairs));
}

// Every good frame of both channels in the PCAP file, in stream order, with the counts.
void TestDataGatherer::replayPcap()
{
    const Capture capture(400);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("stream"), capture.data));
    Run run;
    run.replay(dir.filePath("stream"), TraceTypes::Pcap, dir.filePath("out.pcap"));
    run.gatherer.setLinkType(140);
    const QStringList messages = run.finish();

    PcapReader pcap;
    QVERIFY2(pcap.load(dir.filePath("out.pcap")), qPrintable(pcap.error()));
    QCOMPARE(pcap.linkType(), 140u);
    QVERIFY(
        isInterleaving(pcap.frames(), capture.rx.outcome().frames, capture.sync.outcome().frames));
    const quint32 frames =
        quint32(capture.rx.outcome().frames.size() + capture.sync.outcome().frames.size());
    QCOMPARE(run.stats.value(StatHandler::Packets), frames);
    QCOMPARE(run.stats.value(StatHandler::BadCrc),
             capture.rx.outcome().badCrc + capture.sync.outcome().badCrc);
    QCOMPARE(run.stats.value(StatHandler::TooLarge),
             capture.rx.outcome().tooLarge + capture.sync.outcome().tooLarge);
    QCOMPARE(run.stats.value(StatHandler::ErroredLength),
             capture.rx.outcome().erroredLength + capture.sync.outcome().erroredLength);
    QCOMPARE(messages.size(), 3);
    QCOMPARE(messages[0], QString("E:End of file reached"));
    QCOMPARE(messages[1], QString("%1 packets written").arg(frames));
    // Records only: the global header is not counted.
    QCOMPARE(messages[2],
             QString("%1 bytes written").arg(QFileInfo(dir.filePath("out.pcap")).size() - 24));
}

void TestDataGatherer::emptyFileWritesNothing()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("stream"), QByteArray()));
    Run run;
    run.replay(dir.filePath("stream"), TraceTypes::Pcap, dir.filePath("out.pcap"));
    QCOMPARE(run.finish(), QStringList{"E:End of file reached"});
    QVERIFY(!QFile::exists(dir.filePath("out.pcap")));
}

// A Stop that comes while the thread is still setting up is honoured: nothing is read.
void TestDataGatherer::cancelBeforeSetUpEnds()
{
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("stream"), Capture(50).data));
    Run run;
    run.replay(dir.filePath("stream"), TraceTypes::Raw, dir.filePath("rx.raw"),
               dir.filePath("sync.raw"));
    run.gatherer.cancel();
    const QStringList messages = run.finish();
    QCOMPARE(messages,
             QStringList({"E:Cancelled", "Rx: 0 bytes written", "Sync: 0 bytes written"}));
    QCOMPARE(run.stats.value(StatHandler::Bytes), 0u);
}

// Stop from another thread at any moment of a run: the run ends with exactly one final message,
// whole, and everything released (the output files can be removed and the next run starts).
void TestDataGatherer::cancelRacesTheRun()
{
    const Capture capture(200);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("stream"), capture.data));
    QRandomGenerator random(3);
    int cancelled = 0;
    for (int i = 0; i < 200; ++i) {
        Run run;
        run.replay(dir.filePath("stream"), TraceTypes::Pcap, dir.filePath("out.pcap"));
        run.gatherer.start();
        const int spin = int(random.bounded(20000));
        for (volatile int k = 0; k < spin; ++k) {
        }
        run.gatherer.cancel();
        const QStringList messages = run.waitAndDrain();
        QVERIFY(!messages.isEmpty());
        const QString final = messages.first();
        QVERIFY2(final == "E:Cancelled" || final == "E:End of file reached", qPrintable(final));
        cancelled += final == "E:Cancelled";
        for (int k = 1; k < messages.size(); ++k)
            QVERIFY2(!messages[k].startsWith("E:"), qPrintable(messages[k]));
    }
    QVERIFY(cancelled > 0);
}

QTEST_GUILESS_MAIN(TestDataGatherer)
#include "tst_datagatherer.moc"
