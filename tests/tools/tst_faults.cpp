// Faults as a user meets them: vezive-sim (or a terminal of the test's own) plays the tester and
// vezive-capture runs as a child process. Every run must end, keep every frame it got whole and
// in order, and say what happened.

#include "acquisition/datagatherer.h"
#include "acquisition/tracetypes.h"
#include "device/serialdevice.h"
#include "support/bitserialdeframer.h"
#include "support/filesizelimit.h"
#include "support/framematch.h"
#include "support/packetsink.h"
#include "support/ptyendpoint.h"
#include "support/testchains.h"
#include "support/testfiles.h"
#include "support/tracereaders.h"
#include "support/tsharkreader.h"
#include "writers/pcapreader.h"

#include <csignal>
#include <functional>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Sim = QStringLiteral(VEZIVE_SIM);
const QString Capture = QStringLiteral(VEZIVE_CAPTURE);
constexpr int Generous = 120000; // ms; only a last guard against a hang
constexpr int PollMs = 5;        // between looks at a condition another process makes true

// The five counters, in the order the program prints them.
enum Counter
{
    Packets,
    Bytes,
    ErroredLength,
    BadCrc,
    TooLarge
};
using Counters = QList<quint32>;

struct CaptureRun
{
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QStringList lines;

    bool hasLine(const QString& line) const { return lines.contains(line); }
    int count(const QString& start) const
    {
        return int(std::count_if(lines.begin(), lines.end(),
                                 [&start](const QString& l) { return l.startsWith(start); }));
    }
    // The totals printed at the end, one line per counter.
    quint32 total(const QString& name) const
    {
        for (const QString& line : lines)
            if (line.startsWith(name + ": ") && !line.contains("  "))
                return line.mid(name.size() + 2).toUInt();
        return ~0u;
    }
    QString describe() const { return lines.join('\n'); }
};

// Whether the process has a handler for the signal (it has set up its clean ending).
bool catches(qint64 pid, int signal)
{
    const QByteArray status = fileContents(QString("/proc/%1/status").arg(pid));
    const qsizetype at = status.indexOf("\nSigCgt:");
    if (at < 0)
        return false;
    const qsizetype end = status.indexOf('\n', at + 1);
    const quint64 caught = status.mid(at + 8, end - at - 8).trimmed().toULongLong(nullptr, 16);
    return (caught & (quint64(1) << (signal - 1))) != 0;
}

// vezive-capture as a child process, with what it prints on standard output.
class CaptureProcess
{
public:
    // fileSizeLimit: no file of the program may grow beyond it (a disk that fills); -1: none.
    explicit CaptureProcess(const QStringList& arguments, qint64 fileSizeLimit = -1)
    {
        {
            // Inherited by the child; nothing may be logged while it is in force.
            const FileSizeLimit limit(fileSizeLimit);
            m_process.start(Capture, arguments);
        }
        m_process.waitForStarted(Generous);
    }
    ~CaptureProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(Generous);
        }
    }
    qint64 pid() const { return m_process.processId(); }
    // Only a live child: kill(0) would interrupt the whole process group, ctest included.
    void interrupt()
    {
        if (pid() > 0)
            ::kill(pid_t(pid()), SIGINT);
    }

    // Reads on until a line of the counters it prints once a second satisfies done; false if the
    // program ended first.
    bool waitForCounters(const std::function<bool(const Counters&)>& done)
    {
        static const QRegularExpression line("^Packets: (\\d+)  Bytes: (\\d+)  Errored length: "
                                             "(\\d+)  Bad CRC: (\\d+)  Too large: (\\d+)$");
        for (;;) {
            while (m_process.canReadLine()) {
                const QByteArray text = m_process.readLine();
                m_output += text;
                const auto match = line.match(QString::fromLocal8Bit(text).trimmed());
                Counters values;
                for (int i = 1; match.hasMatch() && i <= 5; ++i)
                    values.append(match.captured(i).toUInt());
                if (match.hasMatch() && done(values))
                    return true;
            }
            if (!m_process.waitForReadyRead(Generous))
                return false;
        }
    }

    // Until condition holds, looked at every few milliseconds; false if the program ended first.
    bool waitUntil(const std::function<bool()>& condition)
    {
        QElapsedTimer clock;
        clock.start();
        while (!condition()) {
            if (m_process.state() == QProcess::NotRunning || clock.elapsed() > Generous ||
                m_process.waitForFinished(PollMs))
                return false;
        }
        return true;
    }
    // Ctrl-C now stops the run as the Stop button does.
    bool waitUntilInterruptible()
    {
        return waitUntil([this] { return catches(pid(), SIGINT); });
    }
    // The program has the file open (the port, say).
    bool waitUntilHolds(const QString& path)
    {
        return waitUntil([this, path] {
            const QDir fds(QString("/proc/%1/fd").arg(pid()));
            for (const QFileInfo& fd : fds.entryInfoList(QDir::AllEntries | QDir::System))
                if (fd.symLinkTarget() == path)
                    return true;
            return false;
        });
    }

    CaptureRun finish()
    {
        CaptureRun run;
        if (!m_process.waitForFinished(Generous))
            return run;
        run.status = m_process.exitStatus();
        run.exitCode = m_process.exitCode();
        m_output += m_process.readAllStandardOutput();
        for (const QByteArray& line : m_output.split('\n'))
            run.lines.append(QString::fromLocal8Bit(line));
        return run;
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

CaptureRun runCapture(const QStringList& arguments)
{
    return CaptureProcess(arguments).finish();
}

// The simulated tester on a terminal of its own; terminal is empty when it did not start.
class Tester
{
public:
    explicit Tester(const QStringList& arguments)
    {
        m_process.start(Sim, arguments);
        while (!m_process.canReadLine() && m_process.waitForReadyRead(Generous))
            continue;
        terminal = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~Tester()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(Generous))
                m_process.kill();
        }
    }
    // As a tester unplugged: the process goes at once, its end of the line with it.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(Generous);
    }

    QString terminal;

private:
    QProcess m_process;
};

// Runs a program to its end; true if it exited with status 0.
bool runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(Generous) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A replay file of bytes stream bytes from the simulator; the same options give the same stream
// on its terminal, and a shorter file is the start of a longer one.
bool writeStream(const QString& path, qint64 bytes, const QStringList& options = {})
{
    return runTool(Sim, options +
                            QStringList{"--write-stream", path, "--bytes", QString::number(bytes)});
}

// Empty if the trace file reads back as the sent frames in order on each channel (with prefixes,
// as the first frames of each), read by tshark and, for PCAP, the project's strict reader; I7 by
// its own reader alone. records receives the number of records.
QString traceProblem(const QString& trace, const QString& path, const ChannelFrames& sent,
                     bool prefixes, int* records = nullptr)
{
    QString error;
    const ChannelFrames written = readTraceFrames(trace, path, &error);
    if (!error.isEmpty())
        return error;
    if (records)
        *records = written.total();
    if (trace == "pcap") {
        // No channel in the records: the two channels' frames interleave.
        const QList<QByteArray>& merged = written.sync;
        PcapReader pcap;
        if (!pcap.load(path))
            return pcap.error();
        if (pcap.frames() != merged)
            return "tshark and the strict reader disagree";
        return isInterleaving(merged, sent.rx, sent.sync, prefixes)
                   ? QString()
                   : QString("%1 records are not the sent frames").arg(merged.size());
    }
    const bool matches = prefixes ? sent.rx.mid(0, written.rx.size()) == written.rx &&
                                        sent.sync.mid(0, written.sync.size()) == written.sync
                                  : written.rx == sent.rx && written.sync == sent.sync;
    return matches ? QString()
                   : QString("%1 + %2 records are not the sent frames")
                         .arg(written.rx.size())
                         .arg(written.sync.size());
}

// The frames and counts of a replay stream as the bit-by-bit reference deframer finds them.
struct Reference
{
    ChannelFrames frames;
    StatHandler stats;

    explicit Reference(const QByteArray& stream)
    {
        BitSerialDeframer rx(0), sync(1);
        PacketSink sink;
        for (BitSerialDeframer* deframer : {&rx, &sync}) {
            deframer->setNext(&sink);
            deframer->setStatHandler(&stats);
        }
        ChannelOctets octets = channelOctets(stream);
        rx.process(octets.rx, int(octets.rx.size()));
        sync.process(octets.sync, int(octets.sync.size()));
        frames.rx = sink.framesOf(0);
        frames.sync = sink.framesOf(1);
    }
};

QStringList traceArguments(const QString& trace, const QString& out, const QString& syncOut)
{
    QStringList arguments{"--trace", trace, "--out", out};
    if (trace == "raw")
        arguments << "--sync-out" << syncOut;
    return arguments;
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules("default.debug=false"); }
    void portVanishes_data();
    void portVanishes();
    void garbageFlood_data();
    void garbageFlood();
    void diskFills_data();
    void diskFills();
    void outputDirectoryMissing_data();
    void outputDirectoryMissing();
    void inputFails_data();
    void inputFails();
    void streamCut_data();
    void streamCut();
    void stopEarly_data();
    void stopEarly();
    void cancelBeforeStart();
    void portBusy_data();
    void portBusy();
    void misuse_data();
    void misuse();
    void ringBuffer_data();
    void ringBuffer();
};

void TestFaults::portVanishes_data()
{
    QTest::addColumn<bool>("framesDone"); // only idle flags flow when the tester goes

    // The kernel drops what the receiver had not read yet: a prefix of each channel is there.
    QTest::newRow("while frames flow") << false;
    // Every frame was read before: all of them are there.
    QTest::newRow("while only flags flow") << true;
}

// The tester dies (SIGKILL, its end of the terminal gone): the run ends with the system's reason.
void TestFaults::portVanishes()
{
    QFETCH(bool, framesDone);

    QTemporaryDir dir;
    const QString sentPath = dir.filePath("sent.txt"), trace = dir.filePath("trace.pcap");
    const QStringList fewFrames{"--count", "150"};
    Tester tester(framesDone ? fewFrames + QStringList{"--fast", "--sent", sentPath}
                             : QStringList{"--sent", sentPath});
    QVERIFY(!tester.terminal.isEmpty());
    CaptureProcess capture({"--port", tester.terminal, "--trace", "pcap", "--out", trace});
    // The frames the stream holds, from a file of the same stream: the tester's own log can
    // miss the last frame it sent when it is killed between sending and logging.
    QVERIFY(writeStream(dir.filePath("ref"), framesDone ? 200000 : 2000000,
                        (framesDone ? fewFrames : QStringList()) +
                            QStringList{"--sent", dir.filePath("ref.txt")}));
    const int expected =
        framesDone ? ChannelFrames::fromSentLog(dir.filePath("ref.txt")).total() : -1;
    QVERIFY(capture.waitForCounters([expected](const Counters& c) {
        return expected < 0 ? c[Packets] > 0 : int(c[Packets]) == expected;
    }));
    tester.kill();

    const CaptureRun run = capture.finish();
    QCOMPARE(run.status, QProcess::NormalExit);
    QVERIFY2(run.exitCode == 1, qPrintable(run.describe()));
    QVERIFY2(run.hasLine("Input/output error"), qPrintable(run.describe()));
    const ChannelFrames sent = ChannelFrames::fromSentLog(dir.filePath("ref.txt"));
    int records = 0;
    const QString problem = traceProblem("pcap", trace, sent, !framesDone, &records);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(records > 0);
    if (framesDone)
        QCOMPARE(records, expected);
    QCOMPARE(run.total("Packets"), quint32(records));
}

void TestFaults::garbageFlood_data()
{
    QTest::addColumn<bool>("hangUp"); // else Ctrl-C once the flood shows in the counters

    QTest::newRow("then Ctrl-C") << false;
    QTest::newRow("then a hang-up") << true;
}

// The tester sends random bytes instead of the stream: the run goes on counting errors, keeps
// every frame sent before, and still ends as a run ends.
void TestFaults::garbageFlood()
{
    QFETCH(bool, hangUp);

    const qint64 garbageAfter = 40001, hangUpAfter = 400000; // mid-pair
    QTemporaryDir dir;
    const QString sentPath = dir.filePath("sent.txt"), trace = dir.filePath("trace.pcap");
    const QStringList flood{"--garbage-after", QString::number(garbageAfter)};
    Tester tester(
        flood + QStringList{"--fast", "--sent", sentPath} +
        (hangUp ? QStringList{"--hangup-after", QString::number(hangUpAfter)} : QStringList{}));
    QVERIFY(!tester.terminal.isEmpty());
    CaptureProcess capture({"--port", tester.terminal, "--trace", "pcap", "--out", trace});
    if (!hangUp) {
        QVERIFY(capture.waitForCounters(
            [](const Counters& c) { return c[ErroredLength] + c[BadCrc] + c[TooLarge] > 0; }));
        capture.interrupt();
    }
    const CaptureRun run = capture.finish();
    QCOMPARE(run.status, QProcess::NormalExit);
    const QString last = hangUp ? "Input/output error" : "Cancelled";
    QVERIFY2(run.hasLine(last), qPrintable(run.describe()));
    QCOMPARE(run.exitCode, hangUp ? 1 : 0);
    QCOMPARE(run.count("Cannot"), 0);

    // The frames before the flood come first, all of them.
    const ChannelFrames sent = ChannelFrames::fromSentLog(sentPath);
    QVERIFY(sent.total() > 20);
    PcapReader pcap;
    QVERIFY2(pcap.load(trace), qPrintable(pcap.error()));
    QVERIFY(isInterleaving(pcap.frames().mid(0, sent.total()), sent.rx, sent.sync));
    QCOMPARE(run.total("Packets"), quint32(pcap.records().size()));
    QVERIFY2(run.total("Errored length") + run.total("Bad CRC") > 0, qPrintable(run.describe()));
    if (!hangUp)
        return;

    // The whole line, read at whatever pace, counts as the reference deframer counts it.
    const QString stream = dir.filePath("stream");
    QVERIFY(writeStream(stream, hangUpAfter, flood));
    Reference reference(fileContents(stream));
    QVERIFY(isInterleaving(pcap.frames(), reference.frames.rx, reference.frames.sync));
    QCOMPARE(run.total("Errored length"), reference.stats.value(StatHandler::ErroredLength));
    QCOMPARE(run.total("Bad CRC"), reference.stats.value(StatHandler::BadCrc));
    QCOMPARE(run.total("Too large"), reference.stats.value(StatHandler::TooLarge));
}

void TestFaults::diskFills_data()
{
    QTest::addColumn<QString>("trace");
    QTest::addColumn<bool>("fromPort"); // else a replay file

    for (const char* trace : {"raw", "pcap", "toshiba", "i4b", "i7"}) {
        QTest::addRow("%s, port", trace) << QString(trace) << true;
        QTest::addRow("%s, file", trace) << QString(trace) << false;
    }
}

// No file may grow past a limit, as on a disk that fills: one message naming the file, exit
// status 1, and a file that holds whole records of sent frames, readable.
void TestFaults::diskFills()
{
    QFETCH(QString, trace);
    QFETCH(bool, fromPort);

    const qint64 limit = 20011, streamBytes = 400000;
    QTemporaryDir dir;
    const QString sentPath = dir.filePath("sent.txt"), stream = dir.filePath("stream");
    const QString out = dir.filePath("trace"), syncOut = dir.filePath("sync");
    // The tester's stream begins as the file does (for Raw, the reference octets).
    QVERIFY(writeStream(stream, streamBytes,
                        fromPort ? QStringList{} : QStringList{"--sent", sentPath}));
    CaptureRun run;
    if (fromPort) {
        Tester tester({"--fast", "--sent", sentPath});
        QVERIFY(!tester.terminal.isEmpty());
        run =
            CaptureProcess(
                QStringList{"--port", tester.terminal} + traceArguments(trace, out, syncOut), limit)
                .finish();
    } else {
        run = CaptureProcess(QStringList{"--file", stream} + traceArguments(trace, out, syncOut),
                             limit)
                  .finish();
    }
    QCOMPARE(run.status, QProcess::NormalExit);
    QVERIFY2(run.exitCode == 1, qPrintable(run.describe()));
    const QString full = ":File too large";
    if (trace == "raw") {
        // Both channel files fill together; each says so once at most.
        QCOMPARE(run.count("Cannot write file " + out + full) +
                     run.count("Cannot write file " + syncOut + full),
                 run.count("Cannot"));
        QVERIFY(run.count("Cannot write file " + out + full) <= 1);
        QVERIFY(run.count("Cannot write file " + syncOut + full) <= 1);
        QVERIFY2(run.count("Cannot") >= 1, qPrintable(run.describe()));
        const ChannelOctets octets = channelOctets(fileContents(stream));
        const QByteArray rx = fileContents(out), sync = fileContents(syncOut);
        QVERIFY(rx.size() <= limit && sync.size() <= limit);
        QVERIFY(rx.size() > limit / 2 && sync.size() > limit / 2);
        QVERIFY(octets.rx.startsWith(rx));
        QVERIFY(octets.sync.startsWith(sync));
        return;
    }
    QVERIFY2(run.count("Cannot") == 1 && run.hasLine("Cannot write file " + out + full),
             qPrintable(run.describe()));
    QVERIFY(QFileInfo(out).size() <= limit);
    int records = 0;
    const QString problem =
        traceProblem(trace, out, ChannelFrames::fromSentLog(sentPath), true, &records);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(records > 20);
    // The counts claim what reached the file, no more.
    QVERIFY2(run.hasLine(QString("%1 packets written").arg(records)), qPrintable(run.describe()));
    QCOMPARE(run.total("Packets"), quint32(records));
}

void TestFaults::outputDirectoryMissing_data()
{
    QTest::addColumn<QString>("trace");
    QTest::addColumn<QString>("missingFile"); // "rx" or "sync", the file in no directory
    QTest::addColumn<QString>("message");     // %1: that file's path

    const QString noDirectory = "No such file or directory";
    QTest::newRow("raw, RX file") << "raw"
                                  << "rx"
                                  << "%1: " + noDirectory;
    QTest::newRow("raw, Sync file") << "raw"
                                    << "sync"
                                    << "%1: " + noDirectory;
    for (const char* trace : {"pcap", "toshiba", "i4b", "i7"})
        QTest::newRow(trace) << trace << "rx"
                             << "Cannot open file %1:" + noDirectory;
}

void TestFaults::outputDirectoryMissing()
{
    QFETCH(QString, trace);
    QFETCH(QString, missingFile);
    QFETCH(QString, message);

    QTemporaryDir dir;
    QVERIFY(writeStream(dir.filePath("stream"), 40000));
    const QString missing = dir.filePath("no-such-directory/out");
    const QString out = missingFile == "rx" ? missing : dir.filePath("rx");
    const QString syncOut = missingFile == "sync" ? missing : dir.filePath("sync");
    const CaptureRun run = runCapture(QStringList{"--file", dir.filePath("stream")} +
                                      traceArguments(trace, out, syncOut));
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.hasLine(message.replace("%1", missing)), qPrintable(run.describe()));
    QCOMPARE(run.count("Cannot") + run.count(missing), 1);
    QCOMPARE(run.total("Packets"), 0u);
}

void TestFaults::inputFails_data()
{
    QTest::addColumn<QString>("input"); // how the replay's input is made
    QTest::addColumn<QString>("message");

    const QString shorter = "Cannot read file %1:File got shorter while it was read";
    QTest::newRow("a directory") << "directory"
                                 << "Cannot open input file";
    QTest::newRow("reads fail") << "/proc/self/mem"
                                << "Cannot read file /proc/self/mem:Input/output error";
    QTest::newRow("cut short during the replay") << "shrinks" << shorter;
    // Not a fault: a pipe has no size, and its end is an end of file.
    QTest::newRow("a pipe") << "pipe"
                            << "End of file reached";
}

// A replay whose input fails ends saying so, never as a complete replay.
void TestFaults::inputFails()
{
    QFETCH(QString, input);
    QFETCH(QString, message);

    QTemporaryDir dir;
    const QString stream = dir.filePath("stream"), trace = dir.filePath("trace.pcap");
    const QString sentPath = dir.filePath("sent.txt");
    const qint64 cutTo = 1500001;
    QString path = input;
    CaptureRun run;
    QByteArray piped; // the trace, when it goes through a pipe
    if (input == "directory") {
        QVERIFY(QDir(dir.path()).mkdir("input"));
        path = dir.filePath("input");
        run = runCapture({"--file", path, "--trace", "pcap", "--out", trace});
    } else if (input.startsWith('/')) {
        run = runCapture({"--file", path, "--trace", "pcap", "--out", trace});
    } else if (input == "pipe") {
        path = dir.filePath("pipe");
        QVERIFY(writeStream(stream, 300000, {"--sent", sentPath}));
        QVERIFY(runTool("mkfifo", {path}));
        CaptureProcess capture({"--file", path, "--trace", "pcap", "--out", trace});
        QVERIFY(runTool("dd", {"if=" + stream, "of=" + path, "bs=65536", "status=none"}));
        run = capture.finish();
    } else {
        path = stream;
        QVERIFY(writeStream(stream, 2 * cutTo));
        QVERIFY(writeStream(dir.filePath("left"), cutTo, {"--sent", sentPath}));
        // The trace goes into a pipe that the test drains only after cutting the input, so the
        // run cannot get far ahead of the cut (a few hundred kB, blocked writing).
        const QString pipe = dir.filePath("trace-pipe");
        QVERIFY(runTool("mkfifo", {pipe}));
        QProcess drain;
        drain.start("cat", {pipe});
        QVERIFY(drain.waitForStarted(Generous));
        CaptureProcess capture({"--file", stream, "--trace", "pcap", "--out", pipe});
        QVERIFY(drain.waitForReadyRead(Generous));
        QVERIFY(QFile::resize(stream, cutTo));
        QVERIFY(drain.waitForFinished(Generous));
        piped = drain.readAllStandardOutput();
        run = capture.finish();
    }
    QCOMPARE(run.status, QProcess::NormalExit);
    const bool fault = input != "pipe";
    QCOMPARE(run.exitCode, fault ? 1 : 0);
    QVERIFY2(run.hasLine(message.replace("%1", path)), qPrintable(run.describe()));
    QCOMPARE(run.count("Cannot"), fault ? 1 : 0);
    if (fault)
        QVERIFY2(!run.hasLine("End of file reached"), qPrintable(run.describe()));
    if (input != "pipe" && input != "shrinks")
        return;
    // Every frame of the stream (of what was left of it), nothing more.
    PcapReader pcap;
    QVERIFY2(input == "pipe" ? pcap.load(trace) : pcap.parse(piped, "trace pipe"),
             qPrintable(pcap.error()));
    const ChannelFrames sent = ChannelFrames::fromSentLog(sentPath);
    QVERIFY(sent.total() > 1000);
    QVERIFY(isInterleaving(pcap.frames(), sent.rx, sent.sync));
}

void TestFaults::streamCut_data()
{
    QTest::addColumn<int>("octetsBefore"); // of the chosen frame's closing octet, to the cut
    QTest::addColumn<bool>("halfPair");    // a lone first byte of the next pair follows
    QTest::addColumn<bool>("frameIn");

    QTest::newRow("mid-frame") << 4 << false << false;
    QTest::newRow("mid-frame, mid-pair") << 4 << true << false;
    QTest::newRow("closing flag one octet short") << 1 << false << false;
    QTest::newRow("closing flag's pair cut in half") << 1 << true << false;
    QTest::newRow("right after the closing flag") << 0 << false << true;
    QTest::newRow("mid-pair after the closing flag") << 0 << true << true;
}

// A replay file that ends inside a frame or a byte pair: every whole frame before the cut and
// none after, as a complete replay.
void TestFaults::streamCut()
{
    QFETCH(int, octetsBefore);
    QFETCH(bool, halfPair);
    QFETCH(bool, frameIn);

    QTemporaryDir dir;
    QVERIFY(writeStream(dir.filePath("whole"), 40000));
    // Where the reference deframer sees the closing flag of a longer RX frame end.
    const QByteArray rx = channelOctets(fileContents(dir.filePath("whole"))).rx;
    BitSerialDeframer deframer(0);
    PacketSink sink;
    deframer.setNext(&sink);
    int chosen = -1, closedAt = 0;
    for (int i = 0; i < rx.size() && closedAt == 0; ++i) {
        QByteArray octet(1, rx[i]);
        deframer.process(octet, 1);
        const int frames = int(sink.calls.size());
        if (frames > 10 && sink.calls.last().size() > 8) {
            chosen = frames - 1;
            closedAt = i + 1;
        }
    }
    QVERIFY(closedAt > 0);

    const qint64 cut = 2 * qint64(closedAt - octetsBefore) + (halfPair ? 1 : 0);
    const QString stream = dir.filePath("cut"), sentPath = dir.filePath("sent.txt");
    QVERIFY(writeStream(stream, cut, {"--sent", sentPath}));
    const ChannelFrames sent = ChannelFrames::fromSentLog(sentPath);
    // The tester and the reference agree on where the frame ends.
    QCOMPARE(int(sent.rx.size()), chosen + (frameIn ? 1 : 0));

    const QString trace = dir.filePath("trace.pcap");
    const CaptureRun run = runCapture({"--file", stream, "--trace", "pcap", "--out", trace});
    QCOMPARE(run.status, QProcess::NormalExit);
    QVERIFY2(run.exitCode == 0 && run.hasLine("End of file reached"), qPrintable(run.describe()));
    QCOMPARE(run.count("Cannot"), 0);
    const QString problem = traceProblem("pcap", trace, sent, false);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestFaults::stopEarly_data()
{
    QTest::addColumn<QString>("when");

    // Wherever in set-up it lands.
    QTest::newRow("Ctrl-C as soon as it is taken") << "early";
    // The tester takes nothing: the request waits on a full line for ever.
    QTest::newRow("Ctrl-C while the request is stuck") << "stuck";
    // The read waits for bytes that do not come, up to its own limit.
    QTest::newRow("Ctrl-C on a silent line") << "silent";
}

// Stop before the stream or while the line is silent: "Cancelled", exit 0, no hang, no loss.
void TestFaults::stopEarly()
{
    QFETCH(QString, when);

    QTemporaryDir dir;
    const QString trace = dir.filePath("trace.pcap"), sentPath = dir.filePath("sent.txt");
    const QString stream = dir.filePath("stream");
    PtyEndpoint line;
    std::unique_ptr<Tester> tester;
    QString port;
    if (when == "early") {
        tester = std::make_unique<Tester>(QStringList{});
        port = tester->terminal;
        QVERIFY(!port.isEmpty());
    } else {
        QVERIFY2(line.open(), qPrintable(line.errorString()));
        port = line.terminalPath();
    }
    if (when == "stuck") {
        // Fill the line towards the tester until it takes no more; the device's own cancel
        // ends the write there.
        SerialDevice filler;
        filler.setPortName(port);
        QVERIFY2(filler.open(QIODevice::ReadWrite), qPrintable(filler.errorString()));
        filler.cancel();
        QCOMPARE(filler.write(QByteArray(1 << 20, 'x')), qint64(-1));
        filler.close();
    } else if (when == "silent") {
        // The test plays the tester: frames, then more idle flags than the line holds, so once
        // its write returns every frame has been read. All frames lie in the first 40000 bytes.
        const QStringList fewFrames{"--count", "100"};
        QVERIFY(writeStream(stream, 300000, fewFrames + QStringList{"--sent", sentPath}));
        QVERIFY(writeStream(dir.filePath("head"), 40000,
                            fewFrames + QStringList{"--sent", dir.filePath("head.txt")}));
        QCOMPARE(ChannelFrames::fromSentLog(dir.filePath("head.txt")).total(),
                 ChannelFrames::fromSentLog(sentPath).total());
    }

    CaptureProcess capture({"--port", port, "--trace", "pcap", "--out", trace});
    QVERIFY(capture.waitUntilInterruptible());
    if (when == "stuck") {
        QVERIFY(capture.waitUntilHolds(port));
    } else if (when == "silent") {
        const QByteArray request = line.read(9, Generous);
        QVERIFY2(request.startsWith("ATU"), request.constData());
        QVERIFY(line.write(request + fileContents(stream), Generous));
        // Read to the last byte: several empty looks in a row, as bytes may still be on their
        // way into the queue just after it was emptied.
        int emptyLooks = 0;
        QVERIFY(capture.waitUntil([&line, &emptyLooks] {
            emptyLooks = line.terminalInputQueued() == 0 ? emptyLooks + 1 : 0;
            return emptyLooks >= 3;
        }));
    }
    capture.interrupt();
    const CaptureRun run = capture.finish();
    QCOMPARE(run.status, QProcess::NormalExit);
    QVERIFY2(run.exitCode == 0 && run.hasLine("Cancelled"), qPrintable(run.describe()));
    QCOMPARE(run.count("Cannot"), 0);
    if (when == "silent") {
        const QString problem =
            traceProblem("pcap", trace, ChannelFrames::fromSentLog(sentPath), false);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    } else if (when == "stuck") {
        QVERIFY(!QFile::exists(trace));
    }
}

// Stop before the thread starts: the port is opened and closed again, nothing is asked of the
// tester, and "Cancelled" is all there is to say.
void TestFaults::cancelBeforeStart()
{
    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    QTemporaryDir dir;
    MessageHandler messages;
    StatHandler stats;
    DataGatherer gatherer;
    gatherer.setSourceType(RunSettings::PortSource);
    gatherer.setPortName(line.terminalPath());
    gatherer.setTraceType(TraceTypes::Pcap);
    gatherer.setOutputFileName(dir.filePath("trace.pcap"));
    gatherer.setMessageHandler(&messages);
    gatherer.setStatHandler(&stats);
    gatherer.cancel();
    gatherer.start();
    QVERIFY(gatherer.wait(QDeadlineTimer(Generous)));
    QCOMPARE(drainMessages(messages), QStringList{"E:Cancelled"});
    // A request would be there by now; a short look cannot report one that is not.
    QCOMPARE(line.read(1, 100), QByteArray());
    SerialDevice again;
    again.setPortName(line.terminalPath());
    QVERIFY2(again.open(QIODevice::ReadWrite), qPrintable(again.errorString()));
}

void TestFaults::portBusy_data()
{
    QTest::addColumn<bool>("heldByCapture"); // else by a SerialDevice of the test
    QTest::addColumn<bool>("portTest");      // the second program runs the port test

    QTest::newRow("capture, then capture") << true << false;
    QTest::newRow("capture, then port test") << true << true;
    QTest::newRow("serial device, then capture") << false << false;
    QTest::newRow("serial device, then port test") << false << true;
}

// A port another program holds: the second fails at once saying the port is busy, and the first
// goes on undisturbed.
void TestFaults::portBusy()
{
    QFETCH(bool, heldByCapture);
    QFETCH(bool, portTest);

    QTemporaryDir dir;
    const QString sentPath = dir.filePath("sent.txt"), first = dir.filePath("first.pcap");
    Tester tester({"--sent", sentPath});
    QVERIFY(!tester.terminal.isEmpty());
    const QString busy = tester.terminal + ": Device or resource busy";
    std::unique_ptr<CaptureProcess> holder;
    SerialDevice device;
    if (heldByCapture) {
        holder = std::make_unique<CaptureProcess>(
            QStringList{"--port", tester.terminal, "--trace", "pcap", "--out", first});
        QVERIFY(holder->waitForCounters([](const Counters& c) { return c[Packets] > 0; }));
    } else {
        device.setPortName(tester.terminal);
        QVERIFY2(device.open(QIODevice::ReadWrite), qPrintable(device.errorString()));
    }

    const QString second = dir.filePath("second.pcap");
    const CaptureRun run = runCapture(
        portTest ? QStringList{"--port", tester.terminal, "--test"}
                 : QStringList{"--port", tester.terminal, "--trace", "pcap", "--out", second});
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 1);
    if (portTest) {
        QVERIFY2(run.hasLine("Cannot set " + busy), qPrintable(run.describe()));
    } else {
        // The reason first, then the final message as it always was.
        const int reason = int(run.lines.indexOf(busy));
        QVERIFY2(reason >= 0, qPrintable(run.describe()));
        QVERIFY(run.lines.indexOf("Port isn't initialized") > reason);
        QVERIFY(!QFile::exists(second));
    }
    if (!holder)
        return;
    holder->interrupt();
    const CaptureRun firstRun = holder->finish();
    QVERIFY2(firstRun.exitCode == 0 && firstRun.hasLine("Cancelled"),
             qPrintable(firstRun.describe()));
    QCOMPARE(firstRun.count("Cannot"), 0);
    const QString problem = traceProblem("pcap", first, ChannelFrames::fromSentLog(sentPath), true);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

// Ordinary mistakes and endings, one row each: a shell line run in a fresh directory with $C
// (vezive-capture), $S (vezive-sim), $STREAM (a 200000-byte stream whose frames are in sent.txt)
// and $PORT (a tester on a terminal, or a terminal nobody answers) set; a signal, if any, sent
// once the program catches it; then the exit status, a line it must print, and the files.
void TestFaults::misuse_data()
{
    QTest::addColumn<QString>("tester"); // vezive-sim's options, "silent", or empty: none
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("exitCode"); // -1: killed
    QTest::addColumn<QString>("line");
    // same:F (as before the run), gone:F, size:F:N, begins:F:TEXT, lacks:F:TEXT, trace:TYPE:F
    // (read whole by the real readers, its frames the first of sent.txt).
    QTest::addColumn<QStringList>("checks");

    const auto row = [](const char* name, const char* tester, const char* command, int signal,
                        int exitCode, const char* line, const QStringList& checks) {
        QTest::newRow(name) << tester << command << signal << exitCode << line << checks;
    };
    const char* same = "are the same file: ";
    row("trace over the input", "",
        "cp $STREAM in.bin; exec $C --file in.bin --trace pcap --out in.bin", 0, 2, same,
        {"same:in.bin"});
    row("raw file over the input", "",
        "cp $STREAM in.bin; exec $C --file in.bin --trace raw --out ./in.bin --sync-out s.raw", 0,
        2, same, {"same:in.bin", "gone:s.raw"});
    row("i7 through a link to the input", "",
        "cp $STREAM in.bin; ln -s in.bin l.i7; exec $C --file in.bin --trace i7 --out l.i7", 0, 2,
        same, {"same:in.bin"});
    row("both raw files one new file", "",
        "exec $C --file $STREAM --trace raw --out r.raw --sync-out ./r.raw", 0, 2, same,
        {"gone:r.raw"});
    row("trace over the port", "-", "exec $C --port $PORT --trace toshiba --out $PORT", 0, 2, same,
        {});
    row("a file as the port", "",
        "cp $STREAM cap.bin; exec $C --port cap.bin --rx 1 --sync 16 --trace pcap --out o.pcap", 0,
        1, "cap.bin: Inappropriate ioctl for device", {"same:cap.bin", "gone:o.pcap"});
    row("port test on a file", "", "cp $STREAM cap.bin; exec $C --port cap.bin --test", 0, 1,
        "Cannot set cap.bin: Inappropriate ioctl for device", {"same:cap.bin"});
    row("port test on a device", "", "exec $C --port /dev/urandom --test", 0, 1,
        "Cannot set /dev/urandom: Inappropriate ioctl for device", {});
    row("port that never answers", "silent",
        "exec $C --port $PORT --rx 1 --sync 16 --trace pcap --out o.pcap", 0, 1,
        "No data from the tester for 4 s", {"gone:o.pcap"});
    row("tester falls silent", "--fast --silent-after 60000 --sent sent.txt",
        "exec $C --port $PORT --rx 1 --sync 16 --trace pcap --out o.pcap", 0, 0,
        "No data from the tester for 4 s", {"trace:pcap:o.pcap"});
    // Seconds of a live run, yet only the totals: no line with all five counters.
    row("quiet: the totals only", "--fast --silent-after 60000 --sent sent.txt",
        "$C -q --port $PORT --rx 1 --sync 16 --trace pcap --out o.pcap > log; s=$?; cat log; "
        "exit $s",
        0, 0, "Too large: 0", {"lacks:log:  Bytes: ", "trace:pcap:o.pcap"});
    row("earlier trace, no frame now", "",
        ": > empty; echo old > o.pcap; exec $C --file empty --trace pcap --out o.pcap", 0, 0,
        "End of file reached", {"gone:o.pcap"});
    row("header at once on a pipe", "",
        ": > empty; exec $C --file empty --trace pcap --out - > o.pcap", 0, 0,
        "End of file reached", {"size:o.pcap:24"});
    row("standard output appended to", "",
        "echo first > o.txt; $C --file $STREAM --trace toshiba --out - >> o.txt", 0, 0,
        "End of file reached", {"begins:o.txt:first\n"});
    row("standard output by its path", "",
        "exec $C --file $STREAM --trace pcap --out /dev/stdout > o.pcap", 0, 0,
        "End of file reached", {"trace:pcap:o.pcap"});
    row("no arguments", "", "exec $C", 0, 2, "Usage: vezive-capture [options]", {});
    row("missing replay file", "", "exec $C --file nothing --trace pcap --out o.pcap", 0, 1,
        "File doesn't exist", {"gone:o.pcap"});
    row("missing port", "", "exec $C --port /dev/nonexistent-tty --trace pcap --out o.pcap", 0, 1,
        "Port isn't initialized", {"gone:o.pcap"});
    row("port test on a missing port", "", "exec $C --port /dev/nonexistent-tty --test", 0, 1,
        "Cannot set /dev/nonexistent-tty: No such file or directory", {});
    row("i7 to standard output", "", "exec $C --file $STREAM --trace i7 --out -", 0, 2,
        "i7 traces cannot go to standard output", {});
    row("min length past 16 bits", "",
        "exec $C --file $STREAM --trace pcap --out o.pcap --min-length 65536", 0, 2,
        "--min-length must be a number from 0 to 65535", {"gone:o.pcap"});
    row("start time past 2106", "",
        "exec $C --file $STREAM --trace pcap --out o.pcap --start-time 4294967295.999999", 0, 2,
        "--start-time must be from 0 to 4294967282 for this stream", {});
    row("no trace file", "", "exec $C --file $STREAM --trace pcap", 0, 2,
        "Error: File name isn't specified", {});
    row("raw, Sync file cannot be opened", "",
        "echo keep > r.raw; exec $C --file $STREAM --trace raw --out r.raw --sync-out no/s.raw", 0,
        1, "no/s.raw: No such file or directory", {"same:r.raw"});
    row("Ctrl-C waiting for a FIFO reader", "",
        "mkfifo f; exec $C --file $STREAM --trace pcap --out f", SIGINT, 0, "Cancelled", {});
    row("SIGTERM writing a stalled FIFO", "",
        "mkfifo f; sleep 30 < f & exec $C --file $STREAM --trace pcap --out f", SIGTERM, 0,
        "Cancelled", {});
    row("SIGHUP during a port run", "--sent sent.txt",
        "exec $C --port $PORT --rx 1 --sync 16 --trace i7 --out o.i7", SIGHUP, 0, "Cancelled",
        {"trace:i7:o.i7"});
    row("killed during a port run", "--sent sent.txt",
        "exec $C --port $PORT --rx 1 --sync 16 --trace i7 --out o.i7", SIGKILL, -1, "",
        {"trace:i7:o.i7"});
    row("sim: stream over its log", "", "exec $S --write-stream x --sent ./x", 0, 2,
        "--write-stream and --sent name the same file", {"gone:x"});
    row("sim: log to a full disk", "", "exec $S --write-stream x --sent /dev/full", 0, 1,
        "vezive-sim: /dev/full: No space left on device", {});
    row("sim: SIGHUP removes its link", "", "exec $S --link lnk", SIGHUP, 0, "", {"gone:lnk"});
}

void TestFaults::misuse()
{
    QFETCH(QString, tester);
    QFETCH(QString, command);
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    QFETCH(QString, line);
    QFETCH(QStringList, checks);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString stream = dir.filePath("stream");
    QVERIFY(writeStream(stream, 200000, {"--sent", dir.filePath("sent.txt")}));
    std::unique_ptr<Tester> sim;
    PtyEndpoint silent;
    QString port;
    if (tester == "silent") {
        QVERIFY(silent.open());
        port = silent.terminalPath();
    } else if (!tester.isEmpty()) {
        QFile::remove(dir.filePath("sent.txt"));
        QStringList options = tester == "-" ? QStringList() : tester.split(' ');
        options.replaceInStrings("sent.txt", dir.filePath("sent.txt"));
        sim = std::make_unique<Tester>(options);
        port = sim->terminal;
        QVERIFY(!port.isEmpty());
    }
    QMap<QString, QByteArray> before;
    QProcess shell;
    shell.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("C", Capture);
    env.insert("S", Sim);
    env.insert("STREAM", stream);
    env.insert("PORT", port);
    shell.setProcessEnvironment(env);
    shell.setProcessChannelMode(QProcess::MergedChannels);
    // The files to keep are made by the command itself: taken once the program has started.
    shell.start("sh", {"-c", command});
    QVERIFY(shell.waitForStarted(Generous));
    const auto started = [&] {
        const QString exe = QString("/proc/%1/exe").arg(shell.processId());
        return QFileInfo(exe).symLinkTarget().contains("vezive-") &&
               (!signal || signal == SIGKILL || catches(shell.processId(), signal));
    };
    QElapsedTimer clock;
    clock.start();
    while (!started() && shell.state() == QProcess::Running && clock.elapsed() < Generous)
        shell.waitForFinished(PollMs);
    for (const QString& check : checks)
        if (check.startsWith("same:"))
            before[check.mid(5)] = fileContents(dir.filePath(check.mid(5)));
    if (signal) {
        // Some frames first, where there are any to wait for.
        if (!tester.isEmpty() && tester != "-")
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(dir.filePath("sent.txt")).size() > 0, Generous);
        QVERIFY(shell.state() == QProcess::Running);
        ::kill(pid_t(shell.processId()), signal);
    }
    QVERIFY(shell.state() == QProcess::NotRunning || shell.waitForFinished(Generous));
    const QString output = QString::fromLocal8Bit(shell.readAll());
    if (exitCode < 0)
        QCOMPARE(shell.exitStatus(), QProcess::CrashExit);
    else
        QCOMPARE(shell.exitCode(), exitCode);
    QVERIFY2(output.contains(line) && !output.contains("QIODevice"), qPrintable(output));
    for (const QString& check : checks) {
        const QStringList part = check.split(':');
        const QString path = dir.filePath(part[part[0] == "trace" ? 2 : 1]);
        if (part[0] == "same")
            QVERIFY2(fileContents(path) == before[part[1]], qPrintable(check));
        else if (part[0] == "gone")
            QVERIFY2(!QFileInfo(path).exists() && !QFileInfo(path).isSymLink(), qPrintable(check));
        else if (part[0] == "size")
            QCOMPARE(QFileInfo(path).size(), part[2].toLongLong());
        else if (part[0] == "begins")
            QVERIFY2(fileContents(path).startsWith(part[2].toUtf8()), qPrintable(check));
        else if (part[0] == "lacks")
            QVERIFY2(!fileContents(path).contains(part[2].toUtf8()), qPrintable(check));
        else {
            const ChannelFrames sent = ChannelFrames::fromSentLog(dir.filePath("sent.txt"));
            int records = 0;
            const QString problem = traceProblem(part[1], path, sent, true, &records);
            QVERIFY2(problem.isEmpty() && records > 0, qPrintable(check + ": " + problem));
        }
    }
}

void TestFaults::ringBuffer_data()
{
    QTest::addColumn<QString>("trace");
    QTest::addColumn<QString>("options");
    QTest::addColumn<int>("files"); // left at the end; 0: two or more
    // Which records of the unrotated run the files hold: all, newest (the last ones), prefix
    // (the first ones), first:N, or before:SEC (stamped within SEC seconds of the start).
    QTest::addColumn<QString>("kept");

    const auto row = [](const char* name, const char* trace, const char* options, int files,
                        const char* kept) {
        QTest::newRow(name) << trace << options << files << kept;
    };
    row("pcap by size", "pcap", "-b filesize:40", 0, "all");
    row("pcapng by line time", "pcapng", "-b duration:1", 4, "all");
    row("snoop, newest two", "toshiba", "-b filesize:90 -b files:2", 2, "newest");
    row("i4b, three files", "i4b", "--ring-buffer filesize:30 -a files:3", 3, "prefix");
    row("i7 by size", "i7", "-b filesize:30", 0, "all");
    row("pcap, packets", "pcap", "-a packets:250", 1, "first:250");
    row("pcapng, line time", "pcapng", "--autostop duration:2", 1, "before:2");
    row("i7, size", "i7", "-a filesize:20", 1, "prefix");
}

// A replay into rotated files holds the records of the same replay into one file, none lost,
// repeated or cut, each file whole on its own (the strict readers and tshark); the counters
// cover the whole run and every switch names its file.
void TestFaults::ringBuffer()
{
    QFETCH(QString, trace);
    QFETCH(QString, options);
    QFETCH(int, files);
    QFETCH(QString, kept);

    QTemporaryDir dir;
    const QString stream = dir.filePath("stream"), ext = trace == "toshiba" ? "txt" : trace;
    QVERIFY(writeStream(stream, 64000) && QDir(dir.path()).mkdir("ring"));
    const QStringList common{"--file",       stream,       "--trace",     trace,
                             "--start-time", "1700000000", "--link-type", "LAPD"};
    const int type = traceTypeNamed(trace)->index;
    const QStringList args = trace.startsWith("pcap") ? common : common.mid(0, 6);
    QCOMPARE(runCapture(args + QStringList{"--out", dir.filePath("whole." + ext)}).exitCode, 0);
    const CaptureRun run =
        runCapture(args + options.split(' ') + QStringList{"--out", dir.filePath("ring/t." + ext)});
    QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));

    // Each record as "stamp channel bytes", by the strict reader and by tshark.
    const auto read = [&](const QString& path, QStringList* records, QStringList* tshark) {
        QList<TraceRecord> read;
        QString error;
        QVERIFY2(readTrace(type, fileContents(path), &read, &error, 177), qPrintable(error));
        for (const TraceRecord& r : read)
            records->append(r.stamp + ' ' + QString::number(r.channel) + ' ' + r.frame.toHex());
        const TsharkRead frames = readWithTshark(path);
        QVERIFY2(type == TraceTypes::I7 || frames.ok, qPrintable(path + ": " + frames.error));
        for (const TsharkFrame& f : frames.frames)
            tshark->append(f.epochTime + f.interface + char('0' + f.direction) + f.bytes.toHex());
    };
    QStringList whole, all, tsharkWhole, tsharkAll;
    read(dir.filePath("whole." + ext), &whole, &tsharkWhole);
    const QStringList names = QDir(dir.filePath("ring")).entryList(QDir::Files, QDir::Name);
    QVERIFY2(files ? names.size() == files : names.size() > 1, qPrintable(names.join(' ')));
    const QRegularExpression numbered("^t_(\\d{5})_(\\d{14})\\." + ext + "$");
    const qint64 size = options.startsWith("-b filesize:") ? options.mid(12, 2).toInt() * 1000 : 0;
    for (const QString& name : names) {
        const auto match = numbered.match(name);
        QVERIFY2(match.hasMatch() || names == QStringList{"t." + ext}, qPrintable(name));
        if (match.captured(1) == "00001")
            QCOMPARE(match.captured(2),
                     QDateTime::fromSecsSinceEpoch(1700000000).toString("yyyyMMddhhmmss"));
        else if (match.hasMatch())
            QVERIFY2(run.hasLine("Switched to " + dir.filePath("ring/" + name)), qPrintable(name));
        // The first record after a file has reached the size begins the next.
        QVERIFY(name == names.last() || QFileInfo(dir.filePath("ring/" + name)).size() >= size);
        const qsizetype before = all.size();
        read(dir.filePath("ring/" + name), &all, &tsharkAll);
        QVERIFY(all.size() > before);
    }
    const qsizetype from = kept == "newest" ? whole.size() - all.size() : 0;
    qsizetype count = kept.startsWith("first:") ? kept.mid(6).toInt() : all.size();
    if (kept.startsWith("before:"))
        count = std::count_if(whole.begin(), whole.end(), [&](const QString& r) {
            return r.section('.', 0, 0).toUInt() < 1700000000u + kept.mid(7).toUInt();
        });
    QVERIFY((kept == "all") == (all.size() == whole.size()));
    QCOMPARE(all, whole.mid(from, count));
    QCOMPARE(tsharkAll, tsharkWhole.mid(from, type == TraceTypes::I7 ? 0 : count));
    QCOMPARE(run.total("Packets"), quint32(kept == "newest" ? whole.size() : all.size()));
    QCOMPARE(run.count("Stop condition reached: "), kept == "all" || kept == "newest" ? 0 : 1);
}

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
