// The two tools against each other through a pseudo-terminal, as the receiver is used with the
// hardware: vezive-sim plays the tester, vezive-capture the receiver.

#include "acquisition/tracetypes.h"
#include "device/serialdevice.h"
#include "support/framematch.h"
#include "support/simulatedtester.h"
#include "support/testchains.h"
#include "support/testfiles.h"
#include "support/testnamespace.h"
#include "support/tracereaders.h"
#include "support/tsharkreader.h"
#include "writers/pcapreader.h"

#include <csignal>
#include <memory>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Sim = QStringLiteral(VEZIVE_SIM);
const QString Capture = QStringLiteral(VEZIVE_CAPTURE);
const QString Extcap = QStringLiteral(VEZIVE_EXTCAP);
const QString Tshark = QStringLiteral("/usr/bin/tshark");
constexpr int Generous = 120000; // ms; only a last guard against a hang

struct CaptureRun
{
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QStringList lines; // what the user sees, log and counters
    QByteArray standardOutput;
    qint64 elapsedMs = 0;

    bool hasLine(const QString& line) const { return lines.contains(line); }
};

// Ctrl-C for a child that is still there. One that has ended has no id any more, and kill(0)
// would interrupt the whole process group: the test runner and whatever started it.
void interrupt(const QProcess& process)
{
    if (const qint64 pid = process.processId(); pid > 0)
        ::kill(pid_t(pid), SIGINT);
}

// wrapper, if given, is a command that runs the tool (and becomes it: its process is the tool's).
CaptureRun runCapture(const QStringList& arguments, bool interruptAfterStreamStarts = false,
                      const QStringList& wrapper = {}, const QString& configHome = {})
{
    CaptureRun run;
    QProcess process;
    if (!configHome.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", configHome);
        process.setProcessEnvironment(environment);
    }
    QElapsedTimer clock;
    clock.start();
    if (wrapper.isEmpty())
        process.start(Capture, arguments);
    else
        process.start(wrapper.first(), wrapper.mid(1) + QStringList{Capture} + arguments);
    if (interruptAfterStreamStarts) {
        // Counters arrive once a second; a line with packets in it means frames are flowing.
        QByteArray seen;
        while (!seen.contains("Packets: ") || seen.contains("Packets: 0 ")) {
            if (!process.waitForReadyRead(Generous))
                break;
            seen += process.readAllStandardOutput();
            const qsizetype last = seen.lastIndexOf("Packets: ");
            if (last >= 0 && !seen.mid(last).startsWith("Packets: 0 "))
                break;
        }
        run.standardOutput = seen;
        interrupt(process);
    }
    process.waitForFinished(Generous);
    run.elapsedMs = clock.elapsed();
    run.exitCode = process.exitCode();
    run.status = process.exitStatus();
    run.standardOutput += process.readAllStandardOutput();
    const QByteArray text =
        arguments.contains("-") ? process.readAllStandardError() : run.standardOutput;
    for (const QByteArray& line : text.split('\n'))
        run.lines.append(QString::fromLocal8Bit(line));
    return run;
}

QStringList errorsIn(const CaptureRun& run, const QStringList& expectedTexts)
{
    QStringList unexpected;
    for (const QString& line : run.lines) {
        const bool counters = line.startsWith("Packets: ") || line.startsWith("Errored length: ");
        if (!counters &&
            (line.startsWith("Cannot") || line.contains("error") || line.contains("Error")))
            if (!expectedTexts.contains(line))
                unexpected.append(line);
    }
    return unexpected;
}

QString describe(const CaptureRun& run)
{
    return run.lines.join(QLatin1Char('\n'));
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void portToPcap_data();
    void portToPcap();
    void portToRaw();
    void badEcho();
    void pcapToStandardOutput();
    void interrupted();
    void replayWrittenStream();
    void fileTraceTypes_data();
    void fileTraceTypes();
    void isdnDecoded_data();
    void isdnDecoded();
    void loopbackLive();
    void portTest_data();
    void portTest();
    void extcapCalls_data();
    void extcapCalls();
    void extcapInTshark();
};

void TestEndToEnd::portToPcap_data()
{
    QTest::addColumn<QStringList>("simOptions");
    QTest::addColumn<QString>("finalError"); // the run's last error line; empty: none
    QTest::addColumn<QString>("counter");    // a fault counter that must not be zero
    // The kernel drops what the receiver had not yet read when a line hangs up (the simulator
    // waits for the reader first, which needs root); what was read must be there, whole.
    QTest::addColumn<bool>("lossAtEnd");

    // A tester that falls silent ends the run after the read's own limit, with no message.
    QTest::newRow("silent after the scenario")
        << QStringList{"--fast", "--duration", "3"} << QString() << QString() << false;
    QTest::newRow("faults sprinkled in")
        << QStringList{"--fast", "--duration",   "3", "--bad-fcs",   "7",  "--abort",
                       "11",     "--extra-bits", "5", "--idle-ones", "40", "--oversize",
                       "60"}
        << QString() << QString("Bad CRC") << false;
    // A line that goes away mid-stream: the system's text, and every frame completed before it.
    QTest::newRow("hang-up mid-stream") << QStringList{"--fast", "--hangup-after", "50001"}
                                        << QString("Input/output error") << QString() << false;
    QTest::newRow("silent mid-frame")
        << QStringList{"--fast", "--silent-after", "40003"} << QString() << QString() << false;
}

void TestEndToEnd::portToPcap()
{
    QFETCH(QStringList, simOptions);
    QFETCH(QString, finalError);
    QFETCH(QString, counter);
    QFETCH(bool, lossAtEnd);

    QTemporaryDir dir;
    const QString sentPath = dir.filePath("sent.txt");
    SimulatedTester tester(Sim, simOptions + QStringList{"--sent", sentPath});
    QVERIFY(!tester.terminal().isEmpty());

    const QString trace = dir.filePath("capture.pcap");
    const CaptureRun run =
        runCapture({"--port", tester.terminal(), "--rx", "1", "--sync", "16", "--trace", "pcap",
                    "--link-type", "SS7/MTP2", "--out", trace});
    QCOMPARE(run.status, QProcess::NormalExit);
    QVERIFY2(errorsIn(run, {finalError}).isEmpty(), qPrintable(describe(run)));
    if (finalError.isEmpty()) {
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        // Ended by the silent line: about 4 s after the last byte.
        QVERIFY(run.elapsedMs >= 3500);
    } else {
        QVERIFY2(run.exitCode == 1, qPrintable(describe(run)));
        QVERIFY2(run.hasLine(finalError), qPrintable(describe(run)));
    }

    const ChannelFrames sent = ChannelFrames::fromSentLog(sentPath);
    QVERIFY(sent.rx.size() > 20 && sent.sync.size() > 20);
    PcapReader pcap;
    QVERIFY2(pcap.load(trace), qPrintable(pcap.error()));
    QCOMPARE(pcap.linkType(), 140u);
    QVERIFY(isInterleaving(pcap.frames(), sent.rx, sent.sync, lossAtEnd));
    const int written = int(pcap.records().size());
    if (lossAtEnd)
        QVERIFY(written > sent.total() / 2);
    else
        QCOMPARE(written, sent.total());

    QVERIFY2(run.hasLine(QString("Packets: %1").arg(written)), qPrintable(describe(run)));
    QVERIFY(run.hasLine(QString("%1 packets written").arg(written)));
    if (!counter.isEmpty())
        QVERIFY2(!run.hasLine(counter + ": 0"), qPrintable(describe(run)));

    // The real reader agrees on the number of frames.
    QProcess tshark;
    tshark.setStandardErrorFile(QProcess::nullDevice());
    tshark.start(Tshark, {"-r", trace, "-T", "fields", "-e", "frame.len"});
    QVERIFY(tshark.waitForFinished(Generous));
    QCOMPARE(tshark.exitCode(), 0);
    const QByteArray lengths = tshark.readAllStandardOutput();
    QCOMPARE(int(lengths.count('\n')), written);
}

// The Raw files hold the channel octets exactly as the tester sent them: the same scenario
// written as a stream file is the reference.
void TestEndToEnd::portToRaw()
{
    QTemporaryDir dir;
    const int streamBytes = 64000;
    SimulatedTester tester(Sim, {"--fast", "--seed", "5", "--bad-fcs", "3", "--silent-after",
                                 QString::number(streamBytes)});
    QVERIFY(!tester.terminal().isEmpty());
    const CaptureRun run = runCapture({"--port", tester.terminal(), "--trace", "raw", "--out",
                                       dir.filePath("rx"), "--sync-out", dir.filePath("sync")});
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));

    QProcess writer;
    writer.start(Sim, {"--seed", "5", "--bad-fcs", "3", "--write-stream", dir.filePath("stream"),
                       "--bytes", QString::number(streamBytes)});
    QVERIFY(writer.waitForFinished(Generous));
    QCOMPARE(writer.exitCode(), 0);
    const QByteArray stream = fileContents(dir.filePath("stream"));
    QCOMPARE(stream.size(), streamBytes);
    const auto [rx, sync] = channelOctets(stream);
    QCOMPARE(fileContents(dir.filePath("rx")), rx);
    QCOMPARE(fileContents(dir.filePath("sync")), sync);
    QVERIFY(run.hasLine(QString("Rx: %1 bytes written").arg(streamBytes / 2)));
    QVERIFY(run.hasLine(QString("Bytes: %1").arg(streamBytes)));
}

void TestEndToEnd::badEcho()
{
    QTemporaryDir dir;
    SimulatedTester tester(Sim, {"--fast", "--bad-echo"});
    const CaptureRun run = runCapture(
        {"--port", tester.terminal(), "--trace", "pcap", "--out", dir.filePath("x.pcap")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.hasLine("Error reading ATU header. Invalid data. Halting."),
             qPrintable(describe(run)));
    QVERIFY(run.hasLine("Packets: 0"));
    QVERIFY(!QFile::exists(dir.filePath("x.pcap")));
}

// The trace on standard output, the user's lines on standard error: a live view for a reader
// on the other end of a pipe.
void TestEndToEnd::pcapToStandardOutput()
{
    for (const int type : {TraceTypes::Pcap, TraceTypes::Pcapng}) {
        QTemporaryDir dir;
        const QString sentPath = dir.filePath("sent.txt");
        SimulatedTester tester(Sim, {"--fast", "--duration", "2", "--sent", sentPath});
        const CaptureRun run = runCapture({"--port", tester.terminal(), "--rx", "3", "--trace",
                                           traceType(type)->name, "--out", "-"});
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        const ChannelFrames sent = ChannelFrames::fromSentLog(sentPath);
        QList<TraceRecord> records;
        QString error;
        QVERIFY2(readTrace(type, run.standardOutput, &records, &error, 147), qPrintable(error));
        ChannelFrames written;
        for (const TraceRecord& record : records)
            (record.channel == 1 ? written.sync : written.rx).append(record.frame);
        if (type == TraceTypes::Pcap)
            QVERIFY(isInterleaving(written.rx, sent.rx, sent.sync));
        else
            QVERIFY(written.rx == sent.rx && written.sync == sent.sync);
        QVERIFY(run.hasLine(QString("Packets: %1").arg(sent.total())));
    }
}

// Ctrl-C stops a real-time run as the Stop button does: "Cancelled", exit 0, a whole trace.
void TestEndToEnd::interrupted()
{
    QTemporaryDir dir;
    SimulatedTester tester(Sim, {});
    const QString trace = dir.filePath("live.pcap");
    const CaptureRun run =
        runCapture({"--port", tester.terminal(), "--trace", "pcap", "--out", trace}, true);
    QCOMPARE(run.status, QProcess::NormalExit);
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    QVERIFY2(run.hasLine("Cancelled"), qPrintable(describe(run)));
    PcapReader pcap;
    QVERIFY2(pcap.load(trace), qPrintable(pcap.error()));
    QVERIFY(!pcap.records().isEmpty());
    QVERIFY(run.hasLine(QString("Packets: %1").arg(pcap.records().size())));
}

void TestEndToEnd::replayWrittenStream()
{
    QTemporaryDir dir;
    const QString stream = dir.filePath("day.stream");
    const QString sentPath = dir.filePath("sent.txt");
    QProcess writer;
    writer.start(Sim, {"--write-stream", stream, "--bytes", "300001", "--abort", "9", "--idle-ones",
                       "50", "--sent", sentPath});
    QVERIFY(writer.waitForFinished(Generous));
    QCOMPARE(writer.exitCode(), 0);

    const QString trace = dir.filePath("replay.pcap");
    const CaptureRun run = runCapture({"--file", stream, "--trace", "pcap", "--out", trace});
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    QVERIFY(run.hasLine("End of file reached"));
    const ChannelFrames sent = ChannelFrames::fromSentLog(sentPath);
    PcapReader pcap;
    QVERIFY2(pcap.load(trace), qPrintable(pcap.error()));
    QVERIFY(sent.total() > 100);
    QVERIFY(isInterleaving(pcap.frames(), sent.rx, sent.sync));
    QVERIFY2(!run.hasLine("Too large: 0"), qPrintable(describe(run)));
}

void TestEndToEnd::fileTraceTypes_data()
{
    QTest::addColumn<QString>("trace");
    QTest::addColumn<QString>("ending");

    for (const char* trace : {"toshiba", "i4b", "i7", "pcapng"}) {
        for (const char* ending : {"end of file", "line error", "cancelled"})
            QTest::addRow("%s, %s", trace, ending) << QString(trace) << QString(ending);
    }
}

// Each file format against the tester, however the run ends: every frame on its channel, the
// totals, and (for I7) a completed file header.
void TestEndToEnd::fileTraceTypes()
{
    QFETCH(QString, trace);
    QFETCH(QString, ending);

    QTemporaryDir dir;
    const QString sentPath = dir.filePath("sent.txt");
    const QString out = dir.filePath("trace");
    const QStringList faults{"--bad-fcs", "7", "--abort", "11"};
    CaptureRun run;
    QString lastLine;
    if (ending == "end of file") {
        QProcess writer;
        writer.start(Sim, faults + QStringList{"--write-stream", dir.filePath("stream"), "--bytes",
                                               "120001", "--sent", sentPath});
        QVERIFY(writer.waitForFinished(Generous));
        QCOMPARE(writer.exitCode(), 0);
        run = runCapture({"--file", dir.filePath("stream"), "--trace", trace, "--out", out});
        lastLine = "End of file reached";
    } else {
        const bool cancel = ending == "cancelled";
        SimulatedTester tester(
            Sim, faults + QStringList{"--sent", sentPath} +
                     (cancel ? QStringList{} : QStringList{"--fast", "--hangup-after", "90001"}));
        QVERIFY(!tester.terminal().isEmpty());
        run = runCapture({"--port", tester.terminal(), "--trace", trace, "--out", out}, cancel);
        lastLine = cancel ? "Cancelled" : "Input/output error";
    }
    QCOMPARE(run.status, QProcess::NormalExit);
    QVERIFY2(run.hasLine(lastLine), qPrintable(describe(run)));
    QCOMPARE(run.exitCode, lastLine == "Input/output error" ? 1 : 0);
    QVERIFY2(errorsIn(run, {lastLine}).isEmpty(), qPrintable(describe(run)));

    QString error;
    const ChannelFrames written = readTraceFrames(trace, out, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const ChannelFrames sent = ChannelFrames::fromSentLog(sentPath);
    QVERIFY(!written.rx.isEmpty() && !written.sync.isEmpty());
    if (ending == "cancelled") {
        // The log names frames on their way; the receiver may have stopped before them.
        QCOMPARE(written.rx, sent.rx.mid(0, written.rx.size()));
        QCOMPARE(written.sync, sent.sync.mid(0, written.sync.size()));
    } else {
        QCOMPARE(written.rx, sent.rx);
        QCOMPARE(written.sync, sent.sync);
    }
    QVERIFY2(run.hasLine(QString("%1 packets written").arg(written.total())),
             qPrintable(describe(run)));
    QVERIFY(run.hasLine(QString("Packets: %1").arg(written.total())));
    QVERIFY(!run.hasLine("Bad CRC: 0"));
}

void TestEndToEnd::isdnDecoded_data()
{
    QTest::addColumn<QString>("trace");
    QTest::newRow("pcap") << QString("pcap");
    QTest::newRow("pcapng") << QString("pcapng");
}

// A D channel with link type LAPD: every frame on its channel, and Wireshark decodes LAPD and
// Q.931 by itself, sound, the network's frames (RX) as network to user and the user's (Sync) as
// user to network.
void TestEndToEnd::isdnDecoded()
{
    QFETCH(QString, trace);
    QTemporaryDir dir;
    const QString sentPath = dir.filePath("sent.txt");
    SimulatedTester tester(Sim,
                           {"--traffic", "isdn", "--fast", "--duration", "2", "--sent", sentPath});
    QVERIFY(!tester.terminal().isEmpty());
    const QString out = dir.filePath("isdn");
    const CaptureRun run = runCapture(
        {"--port", tester.terminal(), "--trace", trace, "--link-type", "LAPD", "--out", out});
    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    QString error;
    const ChannelFrames written = readTraceFrames(trace, out, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const ChannelFrames sent = ChannelFrames::fromSentLog(sentPath);
    QVERIFY(sent.rx.size() > 10 && sent.sync.size() > 10);
    QCOMPARE(written.rx, sent.rx);
    QCOMPARE(written.sync, sent.sync);

    QProcess tshark;
    tshark.setStandardErrorFile(QProcess::nullDevice());
    tshark.start(Tshark, {"-r", out, "-T", "fields", "-E", "separator=,", "-e", "frame.p2p_dir",
                          "-e", "lapd.direction", "-e", "q931.message_type", "-e", "_ws.expert"});
    QVERIFY(tshark.waitForFinished(Generous));
    QSet<QByteArray> seen;
    for (const QByteArray& line : tshark.readAllStandardOutput().trimmed().split('\n')) {
        const QList<QByteArray> fields = line.split(',');
        QVERIFY2(fields.size() == 4 && fields[0] == fields[1] && fields[3].isEmpty(), line.data());
        seen.insert(fields[1] + ',' + fields[2]);
    }
    // SETUP from the network, CALL PROCEEDING, ALERTING and CONNECT from the user.
    for (const char* message : {"1,0x05", "0,0x02", "0,0x01", "0,0x07"})
        QVERIFY2(seen.contains(message), message);
}

// The live output: inside a network namespace of the test's own, every frame of 14 bytes and
// more comes out of the loopback adapter and is seen on the other end of the veth pair.
void TestEndToEnd::loopbackLive()
{
    if (QFileInfo("/proc/self").ownerId() != 0)
        QSKIP("needs root: a network namespace and raw sends");
    const QString ip = findTool("ip");
    if (ip.isEmpty())
        QSKIP("ip is missing; scripts/setup installs it");
    TestNamespace space(ip);
    // Some containers and chroots cannot make one; the loopback tests cannot run there.
    const QString failure = space.create();
    if (!failure.isEmpty())
        QSKIP(qPrintable("cannot make a network namespace here: " + failure));
    const QStringList inside{ip, "netns", "exec", space.name()};

    QTemporaryDir dir;
    const QString seen = dir.filePath("seen.pcap");
    QProcess watcher;
    watcher.setReadChannel(QProcess::StandardError);
    watcher.start(ip, inside.mid(1) + QStringList{"tcpdump", "-i", "kzpeer", "-U", "-w", seen});
    QByteArray watcherSays;
    while (!watcherSays.contains("listening on") && watcher.waitForReadyRead(Generous))
        watcherSays += watcher.readAllStandardError();
    QVERIFY2(watcherSays.contains("listening on"), watcherSays.constData());

    const QString sentPath = dir.filePath("sent.txt");
    SimulatedTester tester(Sim, {"--fast", "--duration", "2", "--sent", sentPath});
    const CaptureRun run = runCapture({"--port", tester.terminal(), "--trace", "loopback",
                                       "--link-type", "SS7/MTP2", "--min-length", "14"},
                                      false, inside, dir.path());
    interrupt(watcher);
    QVERIFY(watcher.waitForFinished(Generous));

    QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
    QVERIFY2(run.hasLine("Loopback adapter found!"), qPrintable(describe(run)));
    ChannelFrames sent = ChannelFrames::fromSentLog(sentPath);
    const auto shortOne = [](const QByteArray& frame) { return frame.size() < 14; };
    sent.rx.removeIf(shortOne);
    sent.sync.removeIf(shortOne);
    PcapReader pcap;
    QVERIFY2(pcap.load(seen), qPrintable(pcap.error()));
    QVERIFY(sent.total() > 20);
    QCOMPARE(pcap.records().size(), sent.total());
    QVERIFY(isInterleaving(pcap.frames(), sent.rx, sent.sync));
    QVERIFY2(run.hasLine(QString("Packets: %1").arg(sent.total())), qPrintable(describe(run)));
    QCOMPARE(fileContents(dir.filePath("vezive/loopback.conf")),
             QByteArray("[WinPcap]\nAdapterName=\\\\Device\\\\NPF_kzloop\nLinkType=140\n"));
}

void TestEndToEnd::portTest_data()
{
    QTest::addColumn<QStringList>("simOptions");
    QTest::addColumn<bool>("passes");

    QTest::newRow("tester answers") << QStringList{} << true;
    QTest::newRow("tester answers only AT") << QStringList{"--at-only"} << false;
}

void TestEndToEnd::portTest()
{
    QFETCH(QStringList, simOptions);
    QFETCH(bool, passes);

    SimulatedTester tester(Sim, simOptions);
    QVERIFY(!tester.terminal().isEmpty());
    const CaptureRun run = runCapture({"--port", tester.terminal(), "--test"});
    if (passes) {
        QVERIFY2(run.exitCode == 0, qPrintable(describe(run)));
        const int found = int(run.lines.indexOf("Device found!"));
        QVERIFY2(found >= 0, qPrintable(describe(run)));
        QVERIFY(run.lines.value(found + 1).startsWith(" Date: "));
        QVERIFY(run.lines.value(found + 1).size() > 7);
        for (int i = 2; i <= 5; ++i)
            QVERIFY(run.lines.value(found + i).startsWith(' '));
        QCOMPARE(run.lines.value(found + 6), QString("Port test successful"));
    } else {
        QCOMPARE(run.exitCode, 1);
        QVERIFY(!run.hasLine("Device found!"));
        QVERIFY2(run.hasLine("Cannot set " + tester.terminal() + ": Reading timeout"),
                 qPrintable(describe(run)));
        // The stuck request was ended and the port closed: it opens again at once.
        SerialDevice port;
        port.setPortName(tester.terminal());
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    }
}

void TestEndToEnd::extcapCalls_data()
{
    QTest::addColumn<QStringList>("simOptions"); // a tester on <pty>; none without options
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("lines"); // beginnings of lines, in order, on output or error

    const QStringList on{"--extcap-interface", "vezive-v1"};
    const QStringList capture =
        on + QStringList{"--capture", "--fifo", "<dir>/fifo", "--port", "<pty>"};
    QTest::newRow("interfaces") << QStringList{} << QStringList{"--extcap-interfaces"} << 0
                                << QStringList{"extcap {version=" VEZIVE_VERSION "}{help=",
                                               "interface {value=vezive-v1}{display=Vezive-V1 "
                                               "E1 line tester}"};
    QTest::newRow("link type") << QStringList{} << on + QStringList{"--extcap-dlts"} << 0
                               << QStringList{"dlt {number=140}{name=SS7/MTP2}"};
    QTest::newRow("options")
        << QStringList{} << on + QStringList{"--extcap-config"} << 0
        << QStringList{"arg {number=0}{call=--port}{display=Serial port}{type=",
                       "arg {number=1}{call=--rx}{display=RX timeslot}{type=unsigned}{range=0,31}"
                       "{default=1}",
                       "arg {number=2}{call=--sync}{display=Sync timeslot}{type=unsigned}"
                       "{range=0,31}{default=16}",
                       "value {arg=3}{value=SS7/MTP2}{display=SS7/MTP2 (140)}{default=true}",
                       "value {arg=3}{value=LAPD}{display=LAPD (177)}{default=false}",
                       "arg {number=4}{call=--min-length}{display=Minimum length}"};
    QTest::newRow("unknown interface")
        << QStringList{} << QStringList{"--extcap-interface", "eth0", "--extcap-dlts"} << 1
        << QStringList{"vezive-extcap: unknown interface: eth0"};
    QTest::newRow("timeslot 32") << QStringList{}
                                 << capture + QStringList{"--port", "p", "--rx", "32"} << 1
                                 << QStringList{"vezive-extcap: --rx must be a timeslot"};
    QTest::newRow("missing port")
        << QStringList{} << on + QStringList{"--capture", "--fifo", "<dir>/fifo", "--port", "/x"}
        << 1 << QStringList{"/x: No such file or directory", "Port isn't initialized"};
    QTest::newRow("bad echo") << QStringList{"--bad-echo"} << capture << 1
                              << QStringList{"Error reading ATU header. Invalid data. Halting."};
    QTest::newRow("tester silent")
        << QStringList{"--fast", "--silent-after", "0"} << capture << 1
        << QStringList{"vezive-extcap: <pty>: the tester stopped sending"};
}

// Wireshark's calls, answered on standard output; errors on standard error with status 1, where
// Wireshark shows them.
void TestEndToEnd::extcapCalls()
{
    QFETCH(QStringList, simOptions);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, lines);

    QTemporaryDir dir;
    std::unique_ptr<SimulatedTester> tester;
    if (!simOptions.isEmpty())
        tester = std::make_unique<SimulatedTester>(Sim, simOptions);
    for (QString& text : lines)
        text.replace("<pty>", tester ? tester->terminal() : QString());
    for (QString& text : arguments)
        text.replace("<dir>", dir.path()).replace("<pty>", tester ? tester->terminal() : "");
    QProcess extcap;
    extcap.start(Extcap, arguments);
    QVERIFY(extcap.waitForFinished(Generous));
    QCOMPARE(extcap.exitStatus(), QProcess::NormalExit);
    const QByteArray out =
        exitCode == 0 ? extcap.readAllStandardOutput() : extcap.readAllStandardError();
    QCOMPARE(extcap.exitCode(), exitCode);
    const QList<QByteArray> got = out.split('\n');
    qsizetype at = 0;
    for (const QString& line : lines) {
        while (at < got.size() && !got[at].startsWith(line.toUtf8()))
            ++at;
        QVERIFY2(at++ < got.size(), qPrintable(line + " not in:\n" + out));
    }
    // Only serial devices that are there are offered.
    for (const QByteArray& line : got) {
        if (line.startsWith("value {arg=0}"))
            QVERIFY2(QFileInfo::exists(line.mid(20, line.indexOf('}', 20) - 20)), line.data());
    }
}

// Wireshark's own reader runs the program as a capture interface, from a personal configuration
// of the test's own, against the tester: the frames sent, on their channels' interfaces.
void TestEndToEnd::extcapInTshark()
{
    if (!QFileInfo(Tshark).isExecutable())
        QSKIP("tshark is missing; scripts/setup installs it");
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("config/wireshark/extcap"));
    QVERIFY(QFile::link(Extcap, dir.filePath("config/wireshark/extcap/vezive-extcap")));
    const QString sentPath = dir.filePath("sent.txt");
    SimulatedTester tester(Sim, {"--count", "30", "--sent", sentPath});
    QVERIFY(!tester.terminal().isEmpty());

    QProcess tshark;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", dir.path());
    environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    tshark.setProcessEnvironment(environment);
    const QString out = dir.filePath("out.pcapng");
    tshark.start(Tshark, {"-i", "vezive-v1", "-o", "extcap.vezive_v1.port:" + tester.terminal(),
                          "-o", "extcap.vezive_v1.rx:2", "-a", "duration:3", "-w", out});
    QVERIFY(tshark.waitForFinished(Generous));
    QVERIFY2(tshark.exitCode() == 0, tshark.readAllStandardError().constData());
    // Stopped, the program has let the port go.
    SerialDevice port;
    port.setPortName(tester.terminal());
    QTRY_VERIFY_WITH_TIMEOUT(port.open(QIODevice::ReadWrite), 10000);

    const TsharkRead read = readWithTshark(out);
    QVERIFY2(read.ok, qPrintable(read.error));
    ChannelFrames written;
    for (const TsharkFrame& frame : read.frames) {
        const bool rx = frame.interface == "rx-ts2: Vezive-V1 RX, timeslot 2";
        QVERIFY2(rx || frame.interface == "sync-ts16: Vezive-V1 Sync, timeslot 16",
                 qPrintable(frame.interface));
        QCOMPARE(frame.flagsDirection, rx ? 1 : 2);
        (rx ? written.rx : written.sync).append(frame.bytes);
    }
    const ChannelFrames sent = ChannelFrames::fromSentLog(sentPath);
    QCOMPARE(sent.total(), 60);
    QCOMPARE(written.rx, sent.rx);
    QCOMPARE(written.sync, sent.sync);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
