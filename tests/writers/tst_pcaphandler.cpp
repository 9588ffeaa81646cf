#include "capture/hdlchandler.h"
#include "capture/messagehandler.h"
#include "capture/splithandler.h"
#include "capture/stathandler.h"
#include "capture/streamencoder.h"
#include "support/packetsink.h"
#include "support/testchains.h"
#include "support/testfiles.h"
#include "writers/pcaphandler.h"

#include <memory>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Tcpdump = QStringLiteral("/usr/bin/tcpdump");

struct ToolRun
{
    QProcess::ExitStatus status;
    int exitCode;
    QByteArray output;
};

// stderr is dropped: tshark warns about running as root.
ToolRun runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.waitForFinished(-1);
    return {process.exitStatus(), process.exitCode(), process.readAllStandardOutput()};
}

// Passes every packet on and keeps it, with the RX clock the writer is about to read.
class Recorder : public PacketSink
{
public:
    using PacketSink::PacketSink;
    void process(QByteArray& data, int len) override
    {
        PacketSink::process(data, len);
        passOn(data, len);
    }
};

} // namespace

class TestPcapHandler : public QObject
{
    Q_OBJECT

private slots:
    void existingFile_data();
    void existingFile();
    void realReaders_data();
    void realReaders();
};

void TestPcapHandler::existingFile_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray old(500, 'x');
    QTest::newRow("no frame leaves it alone") << 0 << old;
    QTest::newRow("first frame replaces it")
        << 1 << QByteArray::fromHex("d4c3b2a1020004000000000000000000ffff00008c000000");
}

void TestPcapHandler::existingFile()
{
    QFETCH(int, frames);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("trace.pcap"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    QCOMPARE(old.write(QByteArray(500, 'x')), qint64(500));
    old.close();

    HdlcHandler clock(0);
    {
        // Shorter than the minimum: only the header goes to the file.
        PcapHandler writer(&clock, path, 140, 100);
        for (int i = 0; i < frames; ++i) {
            QByteArray data = taggedPacket(0, 10, i);
            writer.process(data, int(data.size()));
        }
    }
    QCOMPARE(fileContents(path), expected);
}

void TestPcapHandler::realReaders_data()
{
    QTest::addColumn<int>("linkType");
    QTest::addColumn<QList<int>>("cuts");

    QTest::newRow("MTP2, units of four") << 140 << QList<int>{4};
    QTest::newRow("USER0, uneven blocks") << 147 << QList<int>{1, 7, 250, 3, 64};
}

// Both channels through the whole chain into a file, then read back by tcpdump: every record, its
// time stamp to the microsecond and its bytes (tshark reads each writer's records on its own).
void TestPcapHandler::realReaders()
{
    QFETCH(int, linkType);
    QFETCH(QList<int>, cuts);

    if (!QFileInfo(Tcpdump).isExecutable())
        QFAIL("tcpdump is missing; scripts/setup installs it");

    QRandomGenerator random{quint32(linkType)};
    ChannelEncoder rxLine;
    ChannelEncoder syncLine;
    rxLine.addFlags(3);
    rxLine.addFrame(QByteArray(1, '\x7E'));
    rxLine.addFrame(randomBytes(random, 400));
    rxLine.addFlags(1);
    rxLine.addFrame(QByteArray(1, '\xFF'));
    syncLine.addFrame(QByteArray(1, '\x00'));
    syncLine.addFlags(40);
    syncLine.addFrame(randomBytes(random, 400));
    for (int i = 0; i < 30; ++i) {
        rxLine.addFrame(randomBytes(random, 1 + int(random.bounded(60))));
        rxLine.addFlags(int(random.bounded(4)));
        syncLine.addFrame(randomBytes(random, 1 + int(random.bounded(90))));
        syncLine.addFlags(int(random.bounded(6)));
    }
    rxLine.addFrame(randomBytes(random, 1));
    syncLine.addFrame(randomBytes(random, 1));
    syncLine.addFlags(2);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("trace.pcap"));
    MessageHandler messages;
    StatHandler stats;
    SplitHandler split;
    HdlcHandler rx(0);
    HdlcHandler sync(1);
    Recorder recorder(&rx);
    auto writer = std::make_unique<PcapHandler>(&rx, path, quint16(linkType), 0);
    split.setNext(&rx);
    split.setSecondNext(&sync);
    rx.setNext(&recorder);
    sync.setNext(&recorder);
    recorder.setNext(writer.get());
    writer->setMessageHandler(&messages);
    writer->setStatHandler(&stats);
    // Eighty octets before a second boundary, so the carry into the seconds is on the file too.
    // The Sync clock is far off: a stamp taken from it would show.
    rx.setTimestamp(1700000000, 990000);
    sync.setTimestamp(1000000000, 0);

    feedInBlocks(&split, StreamFormat::captureData(rxLine, syncLine), cuts);
    writer.reset();

    QCOMPARE(recorder.framesOf(0), rxLine.outcome().frames);
    QCOMPARE(recorder.framesOf(1), syncLine.outcome().frames);
    const int count = int(recorder.calls.size());
    QCOMPARE(recorder.stamps.first().seconds, 1700000000u);
    QCOMPARE(recorder.stamps.last().seconds, 1700000001u);
    quint32 bytes = 0;
    for (const QByteArray& call : recorder.calls)
        bytes += quint32(call.size() - 1) + 16;
    QCOMPARE(drainMessages(messages), totalsPosted(quint32(count), bytes));

    // Time stamp line, then the hex dump. For a link type tcpdump cannot decode it dumps the
    // bytes twice, the second time as -xx asks: the last dump from offset 0 is the frame.
    const ToolRun dump = runTool(Tcpdump, {QStringLiteral("-r"), path, QStringLiteral("-nn"),
                                           QStringLiteral("-tt"), QStringLiteral("-xx")});
    QCOMPARE(dump.status, QProcess::NormalExit);
    QCOMPARE(dump.exitCode, 0);
    QStringList stamps;
    QList<QByteArray> frames;
    for (const QByteArray& rawLine : dump.output.split('\n')) {
        const QString line = QString::fromLatin1(rawLine);
        if (line.isEmpty())
            continue;
        if (!line.startsWith(QLatin1Char('\t'))) {
            stamps.append(line.section(QLatin1Char(' '), 0, 0));
            frames.append(QByteArray());
            continue;
        }
        QVERIFY2(!frames.isEmpty(), qPrintable(line));
        const QString trimmed = line.trimmed();
        const int colon = int(trimmed.indexOf(QLatin1Char(':')));
        QVERIFY2(colon > 0, qPrintable(line));
        bool ok = false;
        const int offset = trimmed.left(colon).toInt(&ok, 16);
        QVERIFY2(ok, qPrintable(line));
        if (offset == 0)
            frames.last().clear();
        QCOMPARE(offset, int(frames.last().size()));
        // Eight groups of four hex digits, then possibly the characters.
        const QString hex =
            line.mid(line.indexOf(QLatin1Char(':')) + 3, 40).remove(QLatin1Char(' '));
        frames.last() += QByteArray::fromHex(hex.toLatin1());
    }
    QCOMPARE(stamps.size(), count);
    for (int i = 0; i < count; ++i) {
        const ChannelClock& stamp = recorder.stamps[i];
        QCOMPARE(stamps[i], QStringLiteral("%1.%2")
                                .arg(stamp.seconds)
                                .arg(stamp.microseconds, 6, 10, QLatin1Char('0')));
        QCOMPARE(frames[i].toHex(), recorder.calls[i].mid(1).toHex());
    }
}

QTEST_GUILESS_MAIN(TestPcapHandler)
#include "tst_pcaphandler.moc"
