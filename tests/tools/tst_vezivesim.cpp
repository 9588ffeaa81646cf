// The simulated tester seen from the receiver's side: through its pseudo-terminal with the
// project's serial device, and through the replay files it writes.

#include "capture/stathandler.h"
#include "capture/unitfeeder.h"
#include "device/serialdevice.h"
#include "support/framematch.h"
#include "support/testchains.h"
#include "support/testfiles.h"

#include <limits>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString SimPath = QStringLiteral(VEZIVE_SIM);
constexpr int Generous = 60000; // ms; only a last guard against a hang
const QByteArray Echo = "ATU01 16\n";
const QByteArray AttentionAnswer = "AT\r\n\r\nOK\r\n";
const QByteArray Interrupt = "\x03";

// Frames per channel, as the simulator lists them sent or as the receiver's chain decodes them.
struct Frames
{
    QList<QByteArray> rx;
    QList<QByteArray> sync;
    QList<quint64> counts; // errored length, bad CRC, too large
    QStringList messages;

    static Frames sent(const QString& path)
    {
        const ChannelFrames sent = ChannelFrames::fromSentLog(path);
        return {sent.rx, sent.sync, {}, {}};
    }
    // A port stream begins with the echo, a replay file does not.
    static Frames decoded(const QByteArray& bytes, DeframingChain::Source source)
    {
        DeframingChain chain(source, 6);
        feedInUnits(chain.head(), bytes.constData(), int(bytes.size()));
        return {chain.sink.framesOf(0),
                chain.sink.framesOf(1),
                {chain.stats.value(StatHandler::ErroredLength),
                 chain.stats.value(StatHandler::BadCrc), chain.stats.value(StatHandler::TooLarge)},
                drainMessages(chain.messages)};
    }
};

// Runs the simulator to its end: its exit status, -1 if it did not end normally.
int runSim(const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(SimPath, arguments);
    const bool ended =
        process.waitForFinished(Generous) && process.exitStatus() == QProcess::NormalExit;
    if (output)
        *output = process.readAll();
    return ended ? process.exitCode() : -1;
}

// A simulator process serving a terminal, and the receiver's serial device on it.
class Tester
{
public:
    explicit Tester(const QStringList& arguments)
    {
        m_process.start(SimPath, arguments);
        while (!m_process.canReadLine() && m_process.waitForReadyRead(Generous))
            continue;
        terminal = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~Tester()
    {
        m_process.kill();
        m_process.waitForFinished(Generous);
    }
    // Its exit status once ended (after SIGTERM with terminate); -1 if it did not end normally.
    int finish(bool terminate = true)
    {
        if (terminate)
            m_process.terminate();
        const bool ended =
            m_process.waitForFinished(Generous) && m_process.exitStatus() == QProcess::NormalExit;
        return ended ? m_process.exitCode() : -1;
    }

    bool open(const QString& port = QString())
    {
        m_device.close();
        m_device.setPortName(port.isEmpty() ? terminal : port);
        return m_device.open(QIODevice::ReadWrite);
    }
    bool send(const QByteArray& bytes) { return m_device.write(bytes) == bytes.size(); }
    // Reads until at least count bytes are in and they end with end; false if the line failed
    // or the guard ran out first.
    bool read(qint64 count, const QByteArray& end = QByteArray())
    {
        QElapsedTimer guard;
        guard.start();
        auto done = [&] { return received.size() >= count && received.endsWith(end); };
        while (!done() && !failed && guard.elapsed() < Generous)
            pull(4096);
        return done();
    }
    // Nothing arrives for 300 ms, and the line holds.
    bool quiet() { return pull(300) == 0; }

    QString terminal;
    QByteArray received;
    int chunks = 0;
    bool failed = false;

private:
    // With the line time-outs a read ends at the first pause, or after maxlen ms of silence.
    qint64 pull(qint64 maxlen)
    {
        char buffer[4096];
        const qint64 n = m_device.readWithLineTimeouts(buffer, maxlen);
        failed = failed || n < 0;
        if (n > 0) {
            received.append(buffer, int(n));
            ++chunks;
        }
        return n;
    }

    QProcess m_process;
    SerialDevice m_device;
};

// libpcap savefile fields in either byte order.
QByteArray fields(std::initializer_list<quint32> values, bool bigEndian, int size = 4)
{
    QByteArray out;
    for (quint32 value : values) {
        for (int i = 0; i < size; ++i)
            out.append(char(value >> (8 * (bigEndian ? size - 1 - i : i))));
    }
    return out;
}

QByteArray pcapHeader(quint32 magic, bool bigEndian, quint32 major = 2)
{
    return fields({magic}, bigEndian) + fields({major, 4}, bigEndian, 2) +
           fields({0, 0, 65535, 140}, bigEndian);
}

QByteArray pcapRecord(quint32 fraction, quint32 captured, quint32 original, bool bigEndian)
{
    return fields({1700000000, fraction, captured, original}, bigEndian);
}

} // namespace

class TestVeziveSim : public QObject
{
    Q_OBJECT

private slots:
    void runToEnd_data();
    void runToEnd();
    void commandMode_data();
    void commandMode();
    void stream_data();
    void stream();
    void pcapFrames_data();
    void pcapFrames();
    void decodedByTshark_data();
    void decodedByTshark();

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString store(const QString& name, const QByteArray& bytes) const
    {
        QFile file(path(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path(name)
                                                                                    : QString();
    }
};

void TestVeziveSim::runToEnd_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<qint64>("length"); // of the stream file written, -1: none
    const auto row = [](const QString& tag, const QStringList& arguments, int status,
                        const QString& message, qint64 length = -1) {
        QTest::newRow(qPrintable(tag)) << arguments << status << message << length;
    };

    row("help", {"--help"}, 0, "Usage: vezive-sim");
    row("unknown option", {"--frobnicate"}, 2, "frobnicate");
    row("bad number", {"--count=12k"}, 2, "bad value for --count");
    row("missing value", {"--fast", "--hangup-after"}, 2, "--hangup-after");
    row("bytes without file", {"--bytes", "10"}, 2, "--bytes needs --write-stream");
    row("stream file unwritable", {"--write-stream", "/nonexistent/x"}, 1, "/nonexistent/x: ");
    row("sent file unwritable", {"--sent", "/nonexistent/s"}, 1, "/nonexistent/s: ");

    const QStringList write{"--write-stream", path("written")};
    row("ten seconds by default", write, 0, QString(), 160000);
    row("duration", write + QStringList{"--duration", "0.25"}, 0, QString(), 4000);
    row("bytes before duration", write + QStringList{"--duration", "2", "--bytes", "777"}, 0,
        QString(), 777);
    row("empty", write + QStringList{"--bytes", "0"}, 0, QString(), 0);
    row("silence ends the file", write + QStringList{"--bytes", "5000", "--silent-after", "3001"},
        0, QString(), 3001);

    row("missing frames file", {"--frames", path("missing.pcap")}, 2, path("missing.pcap") + ": ");
    const QByteArray good = pcapHeader(0xA1B2C3D4, false);
    const QByteArray record = pcapRecord(5, 3, 3, false) + "abc";
    const QList<std::pair<QString, QByteArray>> garbage = {
        {"file header", good.left(23)},
        {"magic number", "GIF89a" + QByteArray(30, 'x')},
        {"version", pcapHeader(0xA1B2C3D4, true, 1)},
        {"record 1 header", good + record.left(10)},
        {"record 2 data", good + record + record.left(18)},
        {"record 1 captured length", good + pcapRecord(0, 0x7FFFFFFF, 0x7FFFFFFF, false)},
        {"record 1 time stamp fraction", good + pcapRecord(1000000, 3, 3, false) + "abc"},
        {"record 1 original length", good + pcapRecord(0, 3, 2, false) + "abc"},
    };
    // Both channels' files, in turns.
    for (int i = 0; i < garbage.size(); ++i) {
        const QString file = store(QStringLiteral("garbage%1.pcap").arg(i), garbage[i].second);
        row(garbage[i].first,
            {i % 2 ? "--sync-frames" : "--frames", file, "--write-stream", path("never")}, 2,
            file + ": not a valid PCAP file: " + garbage[i].first);
    }
}

void TestVeziveSim::runToEnd()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(qint64, length);
    QFile::remove(path("written"));
    QByteArray output;
    QCOMPARE(runSim(arguments, &output), status);
    QVERIFY2(QString::fromLocal8Bit(output).contains(message), output.constData());
    if (length >= 0)
        QCOMPARE(fileContents(path("written")).size(), length);
}

void TestVeziveSim::commandMode_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("answer"); // "<date>" stands for today's date

    const QByteArray ati = "ATI\r\nVezive-V1 E1 line tester\r\n<date>\r\nModel: Vezive-V1\r\n"
                           "Firmware: 1.0 (simulated)\r\nSerial number: SIM-000001\r\n"
                           "Timeslots: 0-31\r\n\r\nOK\r\n";
    const QByteArray error = "ERROR\r\n";
    QTest::newRow("port test dialogue") << QStringList() << Interrupt + "AT\nATI\r\n"
                                        << AttentionAnswer + ati;
    QTest::newRow("errors") << QStringList()
                            << "ATZ\nATU32 01\nATU1 16\n" + QByteArray(300, 'A') + "\nAT\n"
                            << error + error + error + error + AttentionAnswer;
    QTest::newRow("0x03 mid-line") << QStringList() << "ATZZ" + Interrupt + "AT\n"
                                   << AttentionAnswer;
    // The failing port test: "ATI" stays unanswered.
    QTest::newRow("at-only") << QStringList{"--at-only"} << QByteArray("AT\nATI\nAT\n")
                             << AttentionAnswer + AttentionAnswer;
    QTest::newRow("through a link removed on SIGTERM")
        << QStringList{"--link", path("tester")} << QByteArray("AT\n") << AttentionAnswer;
}

void TestVeziveSim::commandMode()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, answer);

    const auto dated = [&answer] {
        return QByteArray(answer).replace("<date>",
                                          QDate::currentDate().toString(Qt::ISODate).toLatin1());
    };
    const QByteArray expected = dated(); // the same length whichever day it is
    Tester sim(arguments);
    QVERIFY(sim.terminal.startsWith("/dev/"));
    const qsizetype linkAt = arguments.indexOf("--link");
    const QString port = linkAt < 0 ? sim.terminal : arguments[linkAt + 1];
    QCOMPARE(QFileInfo(port).canonicalFilePath(), sim.terminal);
    QVERIFY(sim.open(port));
    QVERIFY(sim.send(input));
    QVERIFY(sim.read(expected.size()));
    QVERIFY(sim.received == expected || sim.received == dated());
    QVERIFY(sim.quiet());
    QCOMPARE(sim.finish(), 0);
    QVERIFY(port == sim.terminal || !QFileInfo(port).isSymLink());
}

void TestVeziveSim::stream_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("ending");        // silence, hang-up, 0x03 or reopen
    QTest::addColumn<qint64>("bytes");          // stream bytes before it
    QTest::addColumn<int>("frames");            // delivered per channel, -1: not fixed
    QTest::addColumn<QList<quint64>>("counts"); // errored length, bad CRC, too large

    const auto row = [](const char* tag, const QStringList& options, const QString& ending,
                        qint64 bytes, int frames, const QList<quint64>& counts) {
        QTest::newRow(tag) << QStringList(options) << ending << bytes << frames << counts;
    };

    const qint64 many = 300001; // odd: the last pair stays incomplete
    // Faults hit every Nth frame of each channel; a count makes the totals exact.
    row("clean", {"--fast"}, "silence", many, -1, {0, 0, 0});
    row("bad FCS", {"--fast", "--count", "12", "--bad-fcs", "3"}, "silence", many, 8, {0, 8, 0});
    row("abort", {"--fast", "--count", "12", "--abort", "2"}, "silence", many, 6, {0, 0, 0});
    row("idle ones", {"--fast", "--count", "12", "--idle-ones", "5"}, "silence", many, 12,
        {0, 0, 4});
    row("oversize", {"--fast", "--count", "12", "--oversize", "4"}, "silence", many, 9, {0, 0, 6});
    row("extra bits", {"--fast", "--count", "12", "--extra-bits", "6"}, "silence", many, 10,
        {4, 0, 0});
    // Per channel: oversize 11 22, abort 7 14 21 28, bad FCS 5 10 15 20 25 30, extra bits
    // 3 6 9 12 18 24 27, idle ones after 6 12 18 24 30.
    row("every fault",
        {"--fast", "--count", "30", "--seed", "4711", "--oversize", "11", "--abort", "7",
         "--bad-fcs", "5", "--extra-bits", "3", "--idle-ones", "6"},
        "silence", many, 11, {14, 12, 14});
    row("silent right after the echo", {"--fast"}, "silence", 0, 0, {0, 0, 0});
    row("silent, real time", {}, "silence", 8000, -1, {0, 0, 0});
    row("hang-up right after the echo", {"--fast"}, "hang-up", 0, 0, {0, 0, 0});
    // More than the terminal's buffers hold at once.
    row("hang-up beyond the buffers", {"--fast", "--count", "60", "--oversize", "40"}, "hang-up",
        200001, 59, {0, 0, 2});
    row("0x03 mid-stream", {"--fast"}, "0x03", 100000, -1, {0, 0, 0});
    row("closed and reopened mid-stream", {"--fast"}, "reopen", 50000, -1, {});
}

// The stream after the echo ends as asked: a hang-up fails the read after exactly the promised
// bytes; silence keeps the line open; after silence, 0x03 or a reopened line the command mode
// answers and the stream is over. Cut wherever it was, the stream decodes to exactly the frames
// listed as sent, and the replay writer makes the same stream.
void TestVeziveSim::stream()
{
    QFETCH(QStringList, options);
    QFETCH(QString, ending);
    QFETCH(qint64, bytes);
    QFETCH(int, frames);
    QFETCH(QList<quint64>, counts);

    const QString sentFile = path(QStringLiteral("sent-%1").arg(QTest::currentDataTag()));
    if (ending == "silence" || ending == "hang-up")
        options << (ending == "silence" ? "--silent-after" : "--hangup-after")
                << QString::number(bytes);
    Tester sim(options + QStringList{"--sent", sentFile});
    QVERIFY(sim.open());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(sim.send(Echo));
    QVERIFY(sim.read(Echo.size() + bytes));
    if (!options.contains("--fast")) {
        // Never faster than the line's 16 bytes a millisecond, in many small chunks.
        QVERIFY(clock.elapsed() >= bytes * 4 / 5 / 16);
        QVERIFY2(sim.chunks >= 10, qPrintable(QString::number(sim.chunks)));
    }
    if (ending == "hang-up") {
        QVERIFY(!sim.read(std::numeric_limits<qint64>::max()) && sim.failed);
        QCOMPARE(sim.finish(false), 0);
    } else {
        if (ending == "silence")
            QVERIFY(sim.quiet());
        if (ending == "reopen")
            QVERIFY(sim.open());
        QVERIFY(sim.send(Interrupt + "AT\n"));
        QVERIFY(sim.read(0, AttentionAnswer)); // what was still on its way may come first
        QVERIFY(sim.quiet());
        QCOMPARE(sim.finish(), 0); // the sent list is complete once it has ended
        sim.received.chop(AttentionAnswer.size());
    }
    QCOMPARE(sim.received.left(Echo.size()), Echo);
    if (ending == "reopen")
        return;
    const QByteArray stream = sim.received.mid(Echo.size());
    if (ending != "0x03")
        QCOMPARE(stream.size(), bytes);

    const Frames sent = Frames::sent(sentFile);
    const Frames decoded = Frames::decoded(sim.received, DeframingChain::Port);
    QCOMPARE(decoded.rx, sent.rx);
    QCOMPARE(decoded.sync, sent.sync);
    QVERIFY(bytes < 100000 || (!sent.rx.isEmpty() && sent.rx != sent.sync));
    if (frames >= 0) {
        QCOMPARE(sent.rx.size(), frames);
        QCOMPARE(sent.sync.size(), frames);
    }
    QCOMPARE(decoded.counts, counts);
    QVERIFY2(decoded.messages.isEmpty(), qPrintable(decoded.messages.join('\n')));

    const QString replay = sentFile + ".stream";
    const QString length = QString::number(stream.size());
    QCOMPARE(runSim(options + QStringList{"--write-stream", replay, "--bytes", length}), 0);
    QCOMPARE(fileContents(replay), stream);
}

void TestVeziveSim::pcapFrames_data()
{
    QTest::addColumn<bool>("bigEndian");
    QTest::addColumn<bool>("nanoseconds");
    QTest::newRow("little-endian microseconds") << false << false;
    QTest::newRow("big-endian microseconds") << true << false;
    QTest::newRow("little-endian nanoseconds") << false << true;
    QTest::newRow("big-endian nanoseconds") << true << true;
}

// Frames from a savefile go out in order, each once; then only flags.
void TestVeziveSim::pcapFrames()
{
    QFETCH(bool, bigEndian);
    QFETCH(bool, nanoseconds);
    QRandomGenerator random(3);
    QList<QByteArray> frames[2];
    QStringList arguments{"--write-stream", path("frames.stream"), "--bytes", "60000"};
    for (int channel = 0; channel < 2; ++channel) {
        QByteArray bytes = pcapHeader(nanoseconds ? 0xA1B23C4D : 0xA1B2C3D4, bigEndian);
        for (quint32 i = 0; i < 40u - 15 * channel; ++i) {
            frames[channel].append(randomBytes(random, 1 + int(random.bounded(300))));
            const auto size = quint32(frames[channel].last().size());
            const quint32 fraction = (nanoseconds ? 999999999u : 999999u) - i;
            bytes += pcapRecord(fraction, size, size, bigEndian) + frames[channel].last();
        }
        bytes += pcapRecord(0, 0, 0, bigEndian); // an empty record carries nothing
        arguments << (channel == 0 ? "--frames" : "--sync-frames")
                  << store(QStringLiteral("frames%1.pcap").arg(channel), bytes);
    }
    QCOMPARE(runSim(arguments), 0);
    const Frames decoded =
        Frames::decoded(fileContents(path("frames.stream")), DeframingChain::File);
    QCOMPARE(decoded.rx, frames[0]);
    QCOMPARE(decoded.sync, frames[1]);
}

void TestVeziveSim::decodedByTshark_data()
{
    QTest::addColumn<QString>("traffic");
    QTest::addColumn<QString>("linkType"); // of the frames, for text2pcap
    QTest::addColumn<QString>("field");
    QTest::addColumn<QStringList>("types"); // message types each direction sends
    const QStringList isup{"1", "6", "9", "12", "16"};
    QTest::newRow("ss7: ISUP") << "ss7"
                               << "140"
                               << "isup.message_type" << isup;
    const QStringList q931{"0x01", "0x02", "0x05", "0x07", "0x0f", "0x45", "0x4d", "0x5a"};
    QTest::newRow("isdn: Q.931 over LAPD") << "isdn"
                                           << "203"
                                           << "q931.message_type" << q931;
}

// Wireshark decodes the built-in traffic of each direction to every message of the calls and
// finds nothing malformed or worth a warning.
void TestVeziveSim::decodedByTshark()
{
    QFETCH(QString, traffic);
    QFETCH(QString, linkType);
    QFETCH(QString, field);
    QFETCH(QStringList, types);
    for (const char* tool : {"/usr/bin/tshark", "/usr/bin/text2pcap"}) {
        if (!QFileInfo(tool).isExecutable())
            QSKIP(tool);
    }
    auto run = [](const char* program, const QStringList& arguments, const QByteArray& input) {
        QProcess process;
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, arguments);
        process.write(input);
        process.closeWriteChannel();
        return process.waitForFinished(Generous) && process.exitCode() == 0
                   ? process.readAllStandardOutput()
                   : QByteArray("failed");
    };
    const QString sent = path("decoded-" + traffic);
    QFile::remove(sent);
    QCOMPARE(runSim({"--traffic", traffic, "--sent", sent, "--write-stream", path("decoded"),
                     "--bytes", "40000"}),
             0);
    const Frames frames = Frames::sent(sent);
    for (const QList<QByteArray>& channel : {frames.rx, frames.sync}) {
        QByteArray dump;
        for (const QByteArray& frame : channel)
            dump += "0000 " + frame.toHex(' ') + '\n';
        const QString pcap = path("decoded.pcap");
        QCOMPARE(run("/usr/bin/text2pcap", {"-q", "-l", linkType, "-", pcap}, dump), "");
        const QString bad = "_ws.malformed || _ws.expert.severity >= warning";
        QCOMPARE(run("/usr/bin/tshark", {"-r", pcap, "-Y", bad}, {}), "");
        const QByteArray decoded =
            run("/usr/bin/tshark", {"-r", pcap, "-T", "fields", "-e", field}, {});
        QStringList seen = QString::fromLatin1(decoded).split('\n', Qt::SkipEmptyParts);
        seen.removeDuplicates();
        for (const QString& type : types)
            QVERIFY2(seen.contains(type), qPrintable(type));
    }
}

QTEST_GUILESS_MAIN(TestVeziveSim)
#include "tst_vezivesim.moc"
