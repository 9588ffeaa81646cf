#include "capture/hdlchandler.h"
#include "capture/messagehandler.h"
#include "capture/splithandler.h"
#include "capture/streamencoder.h"
#include "support/filesizelimit.h"
#include "support/packetsink.h"
#include "support/testchains.h"
#include "support/testfiles.h"
#include "support/tsharkreader.h"
#include "writers/pcaphandler.h"
#include "writers/stathandler.h"

#include <cerrno>
#include <memory>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Tshark = QStringLiteral("/usr/bin/tshark");
const QString Tcpdump = QStringLiteral("/usr/bin/tcpdump");

// Written out independently of the writer so that a byte-order slip on either side shows.
void putLe32(QByteArray& out, quint32 value)
{
    out.append(char(value));
    out.append(char(value >> 8));
    out.append(char(value >> 16));
    out.append(char(value >> 24));
}

// Fixed, distinct time per packet; every byte of the stamp differs, so swapped fields show.
ChannelClock stampOf(int packet)
{
    return {0x60A1B2C3u + quint32(packet), 0x0E0F10u + 1000u * quint32(packet)};
}

QByteArray record(const ChannelClock& stamp, const QByteArray& frame)
{
    QByteArray out;
    putLe32(out, stamp.seconds);
    putLe32(out, stamp.microseconds);
    putLe32(out, quint32(frame.size()));
    putLe32(out, quint32(frame.size()));
    return out + frame;
}

const QByteArray HeaderMtp2 =
    QByteArray::fromHex("d4c3b2a1020004000000000000000000ffff00008c000000");

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
    void fileLayout_data();
    void fileLayout();
    void existingFile_data();
    void existingFile();
    void globalHeader_data();
    void globalHeader();
    void failures_data();
    void failures();
    void realReaders_data();
    void realReaders();
};

void TestPcapHandler::fileLayout_data()
{
    QTest::addColumn<int>("minLength");
    QTest::addColumn<QList<QByteArray>>("packets");
    // Indices of the packets that must appear as records, in file order.
    QTest::addColumn<QList<int>>("written");
    QTest::addColumn<bool>("fileExpected");
    QTest::addColumn<uint>("packetTotal");
    QTest::addColumn<uint>("byteTotal");

    QTest::newRow("no frame") << 0 << QList<QByteArray>{} << QList<int>{} << false << 0u << 0u;
    QTest::newRow("first frame below minimum")
        << 5 << QList<QByteArray>{taggedPacket(0, 4, 1)} << QList<int>{} << true << 0u << 0u;
    QTest::newRow("minimum 0 writes all")
        << 0
        << QList<QByteArray>{taggedPacket(0, 1, 1), taggedPacket(0, 2, 2), taggedPacket(0, 3, 3)}
        << QList<int>{0, 1, 2} << true << 3u << 54u;
    QTest::newRow("minimum 5 skips 4, writes 5")
        << 5
        << QList<QByteArray>{taggedPacket(0, 4, 1), taggedPacket(0, 5, 2), taggedPacket(1, 4, 3),
                             taggedPacket(1, 6, 4)}
        << QList<int>{1, 3} << true << 2u << 43u;
    QTest::newRow("minimum at the top of the range")
        << 65535 << QList<QByteArray>{taggedPacket(0, 400, 1)} << QList<int>{} << true << 0u << 0u;
    QTest::newRow("one-byte frame")
        << 1 << QList<QByteArray>{taggedPacket(0, 1, 9)} << QList<int>{0} << true << 1u << 17u;
    QTest::newRow("400-byte frame whole")
        << 0 << QList<QByteArray>{taggedPacket(0, 400, 2)} << QList<int>{0} << true << 1u << 416u;
    QTest::newRow("RX and Sync in order of arrival")
        << 0
        << QList<QByteArray>{taggedPacket(1, 3, 1), taggedPacket(0, 3, 2), taggedPacket(1, 7, 3),
                             taggedPacket(0, 2, 4)}
        << QList<int>{0, 1, 2, 3} << true << 4u << 79u;

    QList<QByteArray> ten;
    for (int i = 0; i < 10; ++i)
        ten.append(taggedPacket(i % 2, 20, i));
    QTest::newRow("ten 20-byte frames")
        << 0 << ten << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9} << true << 10u << 360u;
}

void TestPcapHandler::fileLayout()
{
    QFETCH(int, minLength);
    QFETCH(QList<QByteArray>, packets);
    QFETCH(QList<int>, written);
    QFETCH(bool, fileExpected);
    QFETCH(uint, packetTotal);
    QFETCH(uint, byteTotal);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("trace.pcap"));
    MessageHandler messages;
    StatHandler stats;
    HdlcHandler clock(0);
    auto writer = std::make_unique<PcapHandler>(&clock, path, 140, quint16(minLength));
    writer->setMessageHandler(&messages);
    writer->setStatHandler(&stats);

    QVERIFY(!QFileInfo::exists(path));
    for (int i = 0; i < packets.size(); ++i) {
        // The writer must read the clock as the packet arrives, not when the file opened.
        clock.setTimestamp(stampOf(i).seconds, stampOf(i).microseconds);
        QByteArray data = packets[i];
        writer->process(data, int(data.size()));
    }
    QCOMPARE(stats.value(StatHandler::Packets), packetTotal);
    QCOMPARE(stats.value(StatHandler::Bytes), byteTotal);
    writer.reset();

    QCOMPARE(QFileInfo::exists(path), fileExpected);
    QCOMPARE(drainMessages(messages),
             fileExpected ? totalsPosted(packetTotal, byteTotal) : QStringList());
    if (!fileExpected)
        return;
    QByteArray expected = HeaderMtp2;
    for (int i : written)
        expected += record(stampOf(i), packets[i].mid(1));
    QCOMPARE(fileContents(path).toHex(' '), expected.toHex(' '));
}

void TestPcapHandler::existingFile_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray old(500, 'x');
    QTest::newRow("no frame leaves it alone") << 0 << old;
    QTest::newRow("first frame replaces it") << 1 << HeaderMtp2;
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

void TestPcapHandler::globalHeader_data()
{
    QTest::addColumn<int>("linkType");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("MTP2") << 140
                          << QByteArray::fromHex(
                                 "d4c3b2a1020004000000000000000000ffff00008c000000");
    QTest::newRow("USER0") << 147
                           << QByteArray::fromHex(
                                  "d4c3b2a1020004000000000000000000ffff000093000000");
    QTest::newRow("none") << 0
                          << QByteArray::fromHex(
                                 "d4c3b2a1020004000000000000000000ffff000000000000");
}

void TestPcapHandler::globalHeader()
{
    QFETCH(int, linkType);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("trace.pcap"));
    HdlcHandler clock(0);
    {
        // Below the minimum: the file gets its header and nothing else.
        PcapHandler writer(&clock, path, quint16(linkType), 2);
        QByteArray data = taggedPacket(0, 1, 0);
        writer.process(data, int(data.size()));
    }
    QCOMPARE(fileContents(path).toHex(' '), expected.toHex(' '));
}

void TestPcapHandler::failures_data()
{
    QTest::addColumn<QString>("name");
    // Largest file size the system allows, or -1 for no limit.
    QTest::addColumn<qint64>("sizeLimit");
    // The system's error number for a failed write, or 0 where the open fails.
    QTest::addColumn<int>("writeError");
    QTest::addColumn<uint>("packetTotal");
    QTest::addColumn<uint>("byteTotal");

    QTest::newRow("missing directory")
        << QStringLiteral("<tmp>/missing/trace.pcap") << qint64(-1) << 0 << 0u << 0u;
    QTest::newRow("full disk") << QStringLiteral("/dev/full") << qint64(-1) << ENOSPC << 0u << 0u;
    QTest::newRow("disk fills within the header")
        << QStringLiteral("<tmp>/trace.pcap") << qint64(10) << EFBIG << 0u << 0u;
    // Records are 26, 126, 226... bytes: two fit after the header, the third does not.
    QTest::newRow("disk fills at a record boundary")
        << QStringLiteral("<tmp>/trace.pcap") << qint64(24 + 26 + 126) << EFBIG << 2u << 152u;
    QTest::newRow("disk fills within a record")
        << QStringLiteral("<tmp>/trace.pcap") << qint64(24 + 26 + 126 + 24) << EFBIG << 2u << 152u;
}

void TestPcapHandler::failures()
{
    QFETCH(QString, name);
    QFETCH(qint64, sizeLimit);
    QFETCH(int, writeError);
    QFETCH(uint, packetTotal);
    QFETCH(uint, byteTotal);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    name.replace(QLatin1String("<tmp>"), dir.path());
    if (name == QLatin1String("/dev/full") && !QFileInfo::exists(name))
        QSKIP("this system has no /dev/full");

    QStringList expected;
    if (writeError == 0) {
        QFile probe(name);
        QVERIFY(!probe.open(QIODevice::WriteOnly));
        expected << QStringLiteral("E:Cannot open file ") + name + QLatin1Char(':') +
                        probe.errorString();
    } else {
        expected << QStringLiteral("E:Cannot write file ") + name + QLatin1Char(':') +
                        qt_error_string(writeError);
        // The file did open, so the totals come, counting only what the system took.
        expected << totalsPosted(packetTotal, byteTotal);
    }

    MessageHandler messages;
    StatHandler stats;
    HdlcHandler clock(0);
    {
        const FileSizeLimit limit(sizeLimit);
        PcapHandler writer(&clock, name, 140, 0);
        writer.setMessageHandler(&messages);
        writer.setStatHandler(&stats);
        for (int i = 0; i < 5; ++i) {
            QByteArray data = taggedPacket(i % 2, 10 + i * 100, i);
            writer.process(data, int(data.size()));
        }
    }
    QCOMPARE(drainMessages(messages), expected);
    QCOMPARE(stats.value(StatHandler::Packets), packetTotal);
    QCOMPARE(stats.value(StatHandler::Bytes), byteTotal);
    // A record cut short is taken back: the file ends after the last whole one.
    if (writeError == EFBIG)
        QCOMPARE(QFileInfo(name).size(), byteTotal == 0 ? 0 : 24 + qint64(byteTotal));
}

void TestPcapHandler::realReaders_data()
{
    QTest::addColumn<int>("linkType");
    QTest::addColumn<QList<int>>("cuts");

    QTest::newRow("MTP2, units of four") << 140 << QList<int>{4};
    QTest::newRow("USER0, uneven blocks") << 147 << QList<int>{1, 7, 250, 3, 64};
}

// Both channels through the whole chain into a file, then read back by tshark and tcpdump: every
// record, its lengths, its time stamp to the microsecond and its bytes.
void TestPcapHandler::realReaders()
{
    QFETCH(int, linkType);
    QFETCH(QList<int>, cuts);

    for (const QString& tool : {Tshark, Tcpdump}) {
        if (!QFileInfo(tool).isExecutable())
            QFAIL(qPrintable(tool + QStringLiteral(" is missing; scripts/setup installs it")));
    }

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

    const TsharkRead read = readWithTshark(path);
    QVERIFY2(read.ok, qPrintable(read.error));
    QCOMPARE(read.frames.size(), count);
    for (int i = 0; i < count; ++i) {
        const TsharkFrame& frame = read.frames[i];
        QCOMPARE(frame.length, int(recorder.calls[i].size() - 1));
        QCOMPARE(frame.capturedLength, frame.length);
        QCOMPARE(frame.bytes.toHex(), recorder.calls[i].mid(1).toHex());
        const QStringList time = frame.epochTime.split(QLatin1Char('.'));
        QCOMPARE(time.size(), 2);
        QCOMPARE(time[0], QString::number(recorder.stamps[i].seconds));
        QCOMPARE(microsecondsOf(time[1]), qint64(recorder.stamps[i].microseconds));
    }

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
