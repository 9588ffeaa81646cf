// The PCAP, pcapng, router snoop, I4B and I7 writers: exact file layouts, held to the strict
// readers of tests/support and read back by Wireshark's reader, the rules for creating files and
// skipping short frames, and failing disks.

#include "acquisition/tracetypes.h"
#include "capture/hdlchandler.h"
#include "capture/messagehandler.h"
#include "capture/stathandler.h"
#include "support/filesizelimit.h"
#include "support/testchains.h"
#include "support/testfiles.h"
#include "support/tracereaders.h"
#include "support/tsharkreader.h"
#include "writers/i4bhandler.h"
#include "writers/i7handler.h"
#include "writers/lapdheader.h"
#include "writers/pcaphandler.h"
#include "writers/pcapnghandler.h"
#include "writers/toshibahandler.h"

#include <cerrno>
#include <ctime>
#include <memory>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

enum Format
{
    Pcap = TraceTypes::Pcap,
    Snoop = TraceTypes::Toshiba,
    I4b = TraceTypes::I4b,
    I7 = TraceTypes::I7,
    Pcapng = TraceTypes::Pcapng
};

// The link type of the writers that take one, unless a test row says otherwise.
quint16 linkType = 140;

// UTC+5:30 without a zone database: local time visibly differs from UTC, by a non-whole hour.
const char TestZone[] = "XST-5:30";

std::unique_ptr<ChainHandler> makeWriter(Format format, HdlcHandler* clock, const QString& path,
                                         int minLength)
{
    switch (format) {
    case Pcap:
        return std::make_unique<PcapHandler>(clock, path, linkType, quint16(minLength));
    case Pcapng:
        return std::make_unique<PcapngHandler>(clock, path, linkType, quint16(minLength), 1, 16);
    case Snoop:
        return std::make_unique<ToshibaHandler>(clock, path, quint16(minLength));
    case I4b:
        return std::make_unique<I4bHandler>(clock, path, quint16(minLength));
    case I7:
        break;
    }
    return std::make_unique<I7Handler>(clock, path, quint16(minLength));
}

ChannelClock stampOf(int packet)
{
    return {0x60A1B2C3u + quint32(packet) * 3607u,
            (0x0E0F10u + 99991u * quint32(packet)) % 1000000u};
}

// The file header's size; the PCAP writers' "bytes written" total leaves it out.
qsizetype headerSize(Format format)
{
    if (format == Pcapng)
        return PcapngHandler::fileHeader(linkType, 1, 16).size();
    return QList<qsizetype>{24, 14, 0, 260}[format - Pcap];
}

quint32 bytesTotal(Format format, qsizetype fileSize)
{
    return quint32(fileSize - (format == Pcap || format == Pcapng ? headerSize(format) : 0));
}

// Empty when the file holds exactly the packets of the given indices, each stamped stampOf(its
// index), in the writer's layout.
QString fileProblem(Format format, const QString& path, const QList<QByteArray>& packets,
                    const QList<int>& written)
{
    QList<QByteArray> kept;
    QList<ChannelClock> stamps;
    for (int i : written) {
        kept.append(packets[i]);
        stamps.append(stampOf(i));
    }
    return traceMismatch(format, fileContents(path), kept, stamps, linkType);
}

// One run of a writer over packets, each stamped stampOf(its index).
struct WriterRun
{
    QStringList messages;
    quint32 packetStat = 0;
    quint32 byteStat = 0;
    QByteArray fileWhileRunning; // the file before the writer was destroyed
};

WriterRun runWriter(Format format, const QString& path, int minLength,
                    const QList<QByteArray>& packets, qint64 sizeLimit = -1,
                    qint64 lengthLimit = -1)
{
    WriterRun run;
    MessageHandler messages;
    StatHandler stats;
    HdlcHandler clock(0);
    {
        const FileSizeLimit limit(sizeLimit);
        std::unique_ptr<ChainHandler> writer = makeWriter(format, &clock, path, minLength);
        if (lengthLimit >= 0)
            static_cast<TraceWriter*>(writer.get())
                ->traceFile()
                .setLengthField(I7Handler::FileLengthOffset, lengthLimit);
        writer->setMessageHandler(&messages);
        writer->setStatHandler(&stats);
        for (int i = 0; i < packets.size(); ++i) {
            clock.setTimestamp(stampOf(i).seconds, stampOf(i).microseconds);
            QByteArray data = packets[i];
            writer->process(data, int(data.size()));
        }
        // Not /dev/full, which reads as endless zeros; not under a size limit, which logging
        // would hit.
        if (sizeLimit < 0 && QFileInfo(path).isFile())
            run.fileWhileRunning = fileContents(path);
    }
    run.messages = drainMessages(messages);
    run.packetStat = stats.value(StatHandler::Packets);
    run.byteStat = stats.value(StatHandler::Bytes);
    return run;
}

QList<int> frameLengths()
{
    QList<int> lengths;
    for (int n = 1; n <= 40; ++n)
        lengths.append(n);
    return lengths + QList<int>{255, 256, 4000};
}

// Records of growing size on both channels.
QList<QByteArray> failurePackets()
{
    QList<QByteArray> packets;
    for (int i = 0; i < 5; ++i)
        packets.append(taggedPacket(i % 2, 10 + i * 100, i));
    return packets;
}

} // namespace

Q_DECLARE_METATYPE(Format)

class TestTraceWriters : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { linkType = 140; }
    void layouts_data();
    void layouts();
    void lapdDecoded_data();
    void lapdDecoded();
    void snoopRecords_data();
    void snoopRecords();
    void rules_data();
    void rules();
    void failures_data();
    void failures();
};

void TestTraceWriters::initTestCase()
{
    qputenv("TZ", TestZone);
    tzset();
}

void TestTraceWriters::layouts_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<bool>("syncFirst");
    QTest::addColumn<quint16>("link");

    QTest::newRow("PCAP, RX first") << Pcap << false << quint16(140);
    QTest::newRow("PCAP LAPD, Sync first") << Pcap << true << LapdHeader::LinkType;
    QTest::newRow("pcapng, RX first") << Pcapng << false << quint16(140);
    QTest::newRow("pcapng LAPD, Sync first") << Pcapng << true << LapdHeader::LinkType;
    QTest::newRow("snoop, RX first") << Snoop << false << quint16(140);
    QTest::newRow("snoop, Sync first") << Snoop << true << quint16(140);
    QTest::newRow("I4B, RX first") << I4b << false << quint16(140);
    QTest::newRow("I4B, Sync first") << I4b << true << quint16(140);
    QTest::newRow("I7, RX first") << I7 << false << quint16(140);
    QTest::newRow("I7, Sync first") << I7 << true << quint16(140);
}

// Every frame length from 1 to 40 and the long ones, on both channels, in one file, as the strict
// reader of the format and Wireshark's (none for I7) read it.
void TestTraceWriters::layouts()
{
    QFETCH(Format, format);
    QFETCH(bool, syncFirst);
    QFETCH(quint16, link);
    linkType = link;

    QList<QByteArray> packets;
    for (int length : frameLengths()) {
        packets.append(taggedPacket(syncFirst ? 1 : 0, length, length));
        packets.append(taggedPacket(syncFirst ? 0 : 1, length, length + 1));
    }
    QList<int> all;
    for (int i = 0; i < packets.size(); ++i)
        all.append(i);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("trace"));
    const WriterRun run = runWriter(format, path, 0, packets);

    const QByteArray file = fileContents(path);
    const QString problem = fileProblem(format, path, packets, all);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(run.messages, totalsPosted(quint32(packets.size()), bytesTotal(format, file.size())));
    QCOMPARE(run.packetStat, quint32(packets.size()));
    QCOMPARE(run.byteStat, quint32(file.size() - headerSize(format)));
    // Every record reaches the file as it is written, the I7 header's length with it.
    QCOMPARE(run.fileWhileRunning, file);
    if (format == I7)
        return;

    const TsharkRead read = readWithTshark(path);
    QVERIFY2(read.ok, qPrintable(read.error));
    QCOMPARE(read.frames.size(), packets.size());
    for (int i = 0; i < packets.size(); ++i) {
        const TsharkFrame& frame = read.frames[i];
        const QByteArray& packet = packets[i];
        QCOMPARE(frame.bytes.toHex(), packet.mid(1).toHex());
        QCOMPARE(frame.length, int(packet.size() - 1));
        // The formats that tell the channels apart mark RX as received from the network.
        const bool untold = format == Pcap && link != LapdHeader::LinkType;
        QCOMPARE(frame.direction, untold ? -1 : packet.at(0) == 0 ? 1 : 0);
        if (format == Pcapng) {
            const int channel = packet.at(0) == 0 ? 0 : 1;
            QCOMPARE(frame.interface,
                     PcapngHandler::interfaceName(channel, channel == 0 ? 1 : 16) + ": " +
                         PcapngHandler::interfaceDescription(channel, channel == 0 ? 1 : 16));
            QCOMPARE(frame.flagsDirection, channel == 0 ? 1 : 2);
        }
        if (format != Snoop) {
            const QStringList time = frame.epochTime.split(QLatin1Char('.'));
            QCOMPARE(time.value(0), QString::number(stampOf(i).seconds));
            QCOMPARE(microsecondsOf(time.value(1)), qint64(stampOf(i).microseconds));
        }
    }
    if (format != Pcapng)
        return;
    // libpcap's reader and capinfos take it too: every packet, with its stamp.
    QProcess tcpdump;
    tcpdump.setStandardErrorFile(QProcess::nullDevice());
    tcpdump.start(QStringLiteral("tcpdump"), {"-r", path, "-nn", "-tt"});
    QVERIFY(tcpdump.waitForFinished(30000));
    QStringList stamps;
    for (const QByteArray& line : tcpdump.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty() && line.at(0) != '\t')
            stamps.append(QString::fromLatin1(line.left(line.indexOf(' '))));
    }
    QCOMPARE(stamps.size(), packets.size());
    for (int i = 0; i < packets.size(); ++i)
        QCOMPARE(stamps[i],
                 QString::asprintf("%u.%06u", stampOf(i).seconds, stampOf(i).microseconds));
    QProcess capinfos;
    capinfos.start(QStringLiteral("capinfos"), {"-T", "-r", "-c", "-M", path});
    QVERIFY(capinfos.waitForFinished(30000));
    QCOMPARE(capinfos.readAllStandardOutput(),
             path.toUtf8() + '\t' + QByteArray::number(packets.size()) + '\n');
}

void TestTraceWriters::lapdDecoded_data()
{
    QTest::addColumn<Format>("format");
    QTest::newRow("PCAP") << Pcap;
    QTest::newRow("pcapng") << Pcapng;
}

// A call's set-up as Wireshark decodes it with link type LAPD and no preference set: the
// network's frames on RX, the user's on Sync, each side's commands and responses told apart.
void TestTraceWriters::lapdDecoded()
{
    QFETCH(Format, format);
    if (!QFileInfo(QStringLiteral("/usr/bin/tshark")).isExecutable())
        QSKIP("tshark is missing; scripts/setup installs it");
    linkType = LapdHeader::LinkType;
    const QList<QByteArray> packets{
        QByteArray::fromHex("0100017f"),                     // user: SABME
        QByteArray::fromHex("00000173"),                     // network: UA
        QByteArray::fromHex("01000100000801010504038090a3"), // user: I, SETUP
        QByteArray::fromHex("0000010102"),                   // network: RR
        QByteArray::fromHex("000201000208018107"),           // network: I, CONNECT
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("isdn"));
    runWriter(format, path, 0, packets);
    QProcess tshark;
    tshark.setStandardErrorFile(QProcess::nullDevice());
    tshark.start(QStringLiteral("/usr/bin/tshark"),
                 {"-r", path, "-T", "fields", "-E", "separator=,", "-e", "lapd.direction", "-e",
                  "lapd.control.u_modifier_cmd", "-e", "lapd.control.u_modifier_resp", "-e",
                  "lapd.control.s_ftype", "-e", "q931.message_type"});
    QVERIFY(tshark.waitForFinished(30000));
    QCOMPARE(QString::fromLatin1(tshark.readAllStandardOutput()),
             QStringLiteral("0,0x1b,,,\n1,,0x18,,\n0,,,,0x05\n1,,,0x0000,\n1,,,,0x07\n"));
}

void TestTraceWriters::snoopRecords_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<quint32>("seconds");
    QTest::addColumn<quint32>("microseconds");
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QByteArray>("expected");

    // 13:05:09 local is 07:35:09 UTC; 23:59:59 local is 18:29:59 UTC.
    const quint32 at130509 = 1796600000u - 1796600000u % 86400 + 7 * 3600 + 35 * 60 + 9;
    const quint32 at235959 = at130509 + (10 * 3600 + 54 * 60 + 50);
    const QByteArray ruler = "OFFSET 0001-0203-xxxx-xxxx-xxxx-xxxx-xxxx-xxxx xxxxxxxxxxxxxxxx LEN=";

    QTest::newRow("18 bytes from Sync")
        << 2 << at130509 << 427000u
        << QByteArray::fromHex("01"
                               "0102030405060708090a0b0c0d0e0f101112")
        << "[No.2] 13:05:09.42 D Tx\n" + ruler +
               "18\n0000 : 0102 0304 0506 0708 090a 0b0c 0d0e 0f10\n0010 : 1112\n\n";
    QTest::newRow("one byte, lone group padded")
        << 1 << at130509 << 0u << QByteArray::fromHex("00ab")
        << "[No.1] 13:05:09.00 D Rx\n" + ruler + "1\n0000 : ab  \n\n";
    QTest::newRow("16 bytes, one line")
        << 7 << at235959 << 999999u
        << QByteArray::fromHex("00"
                               "000102030405060708090a0b0c0d0eff")
        << "[No.7] 23:59:59.99 D Rx\n" + ruler +
               "16\n0000 : 0001 0203 0405 0607 0809 0a0b 0c0d 0eff\n\n";
    QTest::newRow("17 bytes, second line padded")
        << 10 << at235959 + 1 << 9999u
        << QByteArray::fromHex("01"
                               "000102030405060708090a0b0c0d0e0fcd")
        << "[No.10] 00:00:00.00 D Tx\n" + ruler +
               "17\n0000 : 0001 0203 0405 0607 0809 0a0b 0c0d 0e0f\n0010 : cd  \n\n";
    QTest::newRow("hundredths truncated at 10000 us")
        << 3 << at130509 << 10000u << QByteArray::fromHex("000a0b")
        << "[No.3] 13:05:09.01 D Rx\n" + ruler + "2\n0000 : 0a0b\n\n";
    // Any tag other than 0 is the Sync channel.
    QTest::newRow("tag 7") << 4 << at130509 << 990000u << QByteArray::fromHex("070a0b")
                           << "[No.4] 13:05:09.99 D Tx\n" + ruler + "2\n0000 : 0a0b\n\n";

    QByteArray big(1 + 170, '\x11');
    big[0] = 0;
    big[1 + 160] = char(0xAB);
    QByteArray bigDump;
    for (int line = 0; line < 10; ++line)
        bigDump += QString::asprintf("%04X : 1111 1111 1111 1111 1111 1111 1111 1111\n", line * 16)
                       .toLatin1();
    QTest::newRow("upper-case offsets, lower-case bytes")
        << 1 << at130509 << 0u << big
        << "[No.1] 13:05:09.00 D Rx\n" + ruler + "170\n" + bigDump +
               "00A0 : ab11 1111 1111 1111 1111\n\n";
}

void TestTraceWriters::snoopRecords()
{
    QFETCH(int, number);
    QFETCH(quint32, seconds);
    QFETCH(quint32, microseconds);
    QFETCH(QByteArray, packet);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("trace.txt"));
    HdlcHandler clock(0);
    clock.setTimestamp(seconds, microseconds);
    {
        ToshibaHandler writer(&clock, path, 0);
        // One-byte records before it use up the numbers below its own.
        for (int i = 1; i < number; ++i) {
            QByteArray earlier = taggedPacket(0, 1, i);
            writer.process(earlier, 2);
        }
        QByteArray data = packet;
        writer.process(data, int(data.size()));
    }
    const QByteArray file = fileContents(path);
    const qsizetype start = file.indexOf("[No." + QByteArray::number(number) + ']');
    QVERIFY(start > 0);
    QCOMPARE(file.mid(start), expected);
}

void TestTraceWriters::rules_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<int>("minLength");
    QTest::addColumn<QList<QByteArray>>("packets");
    QTest::addColumn<QList<int>>("written"); // indices of the packets that become records
    QTest::addColumn<bool>("fileExpected");
    QTest::addColumn<QStringList>("messages");

    const QList<QByteArray> shortOnes{taggedPacket(0, 4, 1), taggedPacket(1, 3, 2)};
    const QList<QByteArray> mixed{taggedPacket(0, 4, 1), taggedPacket(0, 5, 2),
                                  taggedPacket(1, 4, 3), taggedPacket(1, 6, 4),
                                  taggedPacket(0, 0, 5)};

    // The first frame creates the file and its header, even when it is not written.
    QTest::newRow("PCAP: all below minimum")
        << Pcap << 5 << shortOnes << QList<int>{} << true << totalsPosted(0, 0);
    QTest::newRow("PCAP: minimum 5")
        << Pcap << 5 << mixed << QList<int>{1, 3} << true << totalsPosted(2, 21 + 22);
    QTest::newRow("PCAP: minimum at the top of the range")
        << Pcap << 65535 << QList<QByteArray>{taggedPacket(0, 4000, 1)} << QList<int>{} << true
        << totalsPosted(0, 0);
    // A run opens the file at its start; the writer alone waits for a frame, as PCAP's does.
    QTest::newRow("pcapng: all below minimum")
        << Pcapng << 5 << shortOnes << QList<int>{} << true << totalsPosted(0, 0);
    QTest::newRow("pcapng: minimum 5")
        << Pcapng << 5 << mixed << QList<int>{1, 3} << true << totalsPosted(2, 52 + 52);
    QTest::newRow("snoop: no frame")
        << Snoop << 0 << QList<QByteArray>{} << QList<int>{} << false << QStringList{};
    // The first frame creates the file and its header, even when it is not written.
    QTest::newRow("snoop: all below minimum")
        << Snoop << 5 << shortOnes << QList<int>{} << true << totalsPosted(0, 14);
    QTest::newRow("snoop: minimum 5, empty frame skipped, numbers without gaps")
        << Snoop << 5 << mixed << QList<int>{1, 3} << true << totalsPosted(2, 14 + 117 + 117);
    QTest::newRow("snoop: minimum 0 still skips the empty frame")
        << Snoop << 0 << mixed << QList<int>{0, 1, 2, 3} << true
        << totalsPosted(4, 14 + 112 + 117 + 112 + 117);

    QTest::newRow("I4B: no frame")
        << I4b << 0 << QList<QByteArray>{} << QList<int>{} << false << QStringList{};
    QTest::newRow("I4B: all below minimum, no file")
        << I4b << 5 << shortOnes << QList<int>{} << false << QStringList{};
    QTest::newRow("I4B: minimum 5")
        << I4b << 5 << mixed << QList<int>{1, 3} << true << totalsPosted(2, 37 + 38);
    QTest::newRow("I4B: two 10-byte frames")
        << I4b << 10 << QList<QByteArray>{taggedPacket(0, 10, 1), taggedPacket(1, 10, 2)}
        << QList<int>{0, 1} << true << totalsPosted(2, 84);
    QTest::newRow("I4B: minimum at the top of the range")
        << I4b << 65535 << QList<QByteArray>{taggedPacket(0, 4000, 1)} << QList<int>{} << false
        << QStringList{};

    QTest::newRow("I7: no frame") << I7 << 0 << QList<QByteArray>{} << QList<int>{} << false
                                  << QStringList{};
    QTest::newRow("I7: all below minimum, no file")
        << I7 << 5 << shortOnes << QList<int>{} << false << QStringList{};
    QTest::newRow("I7: one 5-byte frame") << I7 << 5 << QList<QByteArray>{taggedPacket(1, 5, 1)}
                                          << QList<int>{0} << true << totalsPosted(1, 279);
    QTest::newRow("I7: minimum 5")
        << I7 << 5 << mixed << QList<int>{1, 3} << true << totalsPosted(2, 260 + 19 + 20);
}

void TestTraceWriters::rules()
{
    QFETCH(Format, format);
    QFETCH(int, minLength);
    QFETCH(QList<QByteArray>, packets);
    QFETCH(QList<int>, written);
    QFETCH(bool, fileExpected);
    QFETCH(QStringList, messages);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("trace"));
    const WriterRun run = runWriter(format, path, minLength, packets);

    QCOMPARE(run.messages, messages);
    QCOMPARE(QFileInfo::exists(path), fileExpected);
    QCOMPARE(run.packetStat, quint32(written.size()));
    const QString problem = fileProblem(format, path, packets, written);
    QVERIFY2(!fileExpected || problem.isEmpty(), qPrintable(problem));
}

void TestTraceWriters::failures_data()
{
    QTest::addColumn<Format>("format");
    QTest::addColumn<QString>("name");
    // 0: the open fails; EFBIG: full within the third record; ERANGE: records pass the length
    // the header can state.
    QTest::addColumn<int>("writeError");

    for (Format format : {Pcap, Snoop, I4b, I7, Pcapng}) {
        const char* prefix =
            QList<const char*>{"PCAP", "snoop", "I4B", "I7", "", "pcapng"}[format - Pcap];
        QTest::addRow("%s: missing directory", prefix)
            << format << QStringLiteral("<tmp>/missing/trace") << 0;
        QTest::addRow("%s: full disk", prefix) << format << QStringLiteral("/dev/full") << ENOSPC;
        QTest::addRow("%s: disk fills within a record", prefix)
            << format << QStringLiteral("<tmp>/trace") << EFBIG;
    }
    // Where the header's 32-bit length would be passed (4 GiB, here less): not a failure, the
    // trace goes on in numbered files.
    QTest::addRow("I7: length past what the header states")
        << I7 << QStringLiteral("<tmp>/trace") << ERANGE;
}

// One error that says what failed, nothing written after it, and a file that ends after its last
// whole record. A file that never opened gets no totals.
void TestTraceWriters::failures()
{
    QFETCH(Format, format);
    QFETCH(QString, name);
    QFETCH(int, writeError);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    name.replace(QLatin1String("<tmp>"), dir.path());
    if (name == QLatin1String("/dev/full") && !QFileInfo::exists(name))
        QSKIP("this system has no /dev/full");

    const QList<QByteArray> packets = failurePackets();
    if (writeError == ERANGE) {
        // Records of 23, 123, 223, 323 and 423 bytes: three files within 800 bytes each.
        const WriterRun run = runWriter(format, name, 0, packets, -1, 800);
        const QList<QList<int>> files{{0, 1, 2}, {3}, {4}};
        QStringList expected;
        qint64 bytes = 0;
        for (int k = 0; k < files.size(); ++k) {
            const QDateTime started = QDateTime::fromSecsSinceEpoch(stampOf(files[k][0]).seconds);
            const QString path =
                k ? QString("%1_0000%2_").arg(name).arg(k + 1) + started.toString("yyyyMMddhhmmss")
                  : name;
            if (k > 0)
                expected << "Switched to " + path;
            const QString problem = fileProblem(format, path, packets, files[k]);
            QVERIFY2(problem.isEmpty(), qPrintable(path + ": " + problem));
            bytes += QFileInfo(path).size();
        }
        QCOMPARE(run.messages, expected + totalsPosted(5, quint32(bytes)));
        return;
    }
    // The same writer's file of the first two records, and room for them and part of the third.
    const QString twoPath = dir.filePath(QStringLiteral("two"));
    runWriter(format, twoPath, 0, packets.mid(0, 2));
    const QByteArray two = fileContents(twoPath);
    const QString problem = fileProblem(format, twoPath, packets, {0, 1});
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const int recordsKept = writeError == EFBIG ? 2 : 0;
    const qint64 limit = two.size() + 40;
    QStringList expected;
    if (writeError == 0) {
        QFile probe(name);
        QVERIFY(!probe.open(QIODevice::WriteOnly));
        expected << QStringLiteral("E:Cannot open file ") + name + QLatin1Char(':') +
                        probe.errorString();
    } else {
        expected << QStringLiteral("E:Cannot write file ") + name + QLatin1Char(':') +
                        qt_error_string(writeError)
                 << totalsPosted(quint32(recordsKept),
                                 recordsKept == 0 ? 0 : bytesTotal(format, two.size()));
    }

    const WriterRun run = runWriter(format, name, 0, packets, writeError == EFBIG ? limit : -1);
    QCOMPARE(run.messages, expected);
    QCOMPARE(run.packetStat, quint32(recordsKept));
    // Cut back to the last whole record; an I7 header states that length.
    if (recordsKept)
        QCOMPARE(fileContents(name), two);
}

QTEST_GUILESS_MAIN(TestTraceWriters)
#include "tst_tracewriters.moc"
