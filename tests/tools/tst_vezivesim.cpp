// The simulated tester seen from the receiver's side: through its pseudo-terminal with the
// project's serial device, and through the replay files it writes.

#include "capture/streamencoder.h"
#include "capture/unitfeeder.h"
#include "device/serialdevice.h"
#include "support/testchains.h"
#include "writers/pcaphandler.h"
#include "writers/stathandler.h"

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
const QByteArray HeaderError = "Error reading ATU header. Invalid data. Halting.";

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool store(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// The simulator's list of frames the receiver must deliver, per channel.
struct Sent
{
    QList<QByteArray> rx;
    QList<QByteArray> sync;

    static Sent read(const QString& path)
    {
        Sent sent;
        for (const QByteArray& line : contents(path).split('\n')) {
            if (line.startsWith("rx "))
                sent.rx.append(QByteArray::fromHex(line.mid(3)));
            else if (line.startsWith("sync "))
                sent.sync.append(QByteArray::fromHex(line.mid(5)));
            else if (!line.isEmpty())
                sent.rx.append("unexpected line: " + line);
        }
        return sent;
    }
};

// One simulator process serving a terminal.
class Sim
{
public:
    explicit Sim(const QStringList& arguments)
    {
        m_process.start(SimPath, arguments);
        if (!m_process.waitForStarted(Generous))
            return;
        QElapsedTimer guard;
        guard.start();
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running &&
               guard.elapsed() < Generous)
            m_process.waitForReadyRead(1000);
        terminal = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~Sim()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(Generous);
        }
    }
    // Asks it to end (SIGTERM) and returns its exit status, -1 if it did not end normally.
    int stop()
    {
        m_process.terminate();
        return finish();
    }
    int finish()
    {
        if (!m_process.waitForFinished(Generous) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        return m_process.exitCode();
    }
    qint64 pid() const { return m_process.processId(); }
    QByteArray errors() { return m_process.readAllStandardError(); }

    QString terminal;

private:
    QProcess m_process;
};

// The receiver's end: the serial device on the simulator's terminal.
class Line
{
public:
    bool open(const QString& path)
    {
        m_device.setPortName(path);
        return m_device.open(QIODevice::ReadWrite);
    }
    void close() { m_device.close(); }
    bool send(const QByteArray& bytes) { return m_device.write(bytes) == bytes.size(); }

    // Reads until count bytes arrived, the line failed, or (quietMs > 0) the line stayed silent
    // that long; the bytes are appended to received. Returns false when the line failed.
    bool read(qint64 count, int quietMs = 0)
    {
        char buffer[4096];
        QElapsedTimer guard;
        guard.start();
        while (received.size() < count && guard.elapsed() < Generous) {
            const qint64 want =
                quietMs > 0 ? std::min<qint64>(quietMs, sizeof buffer) : qint64(sizeof buffer);
            const qint64 n = m_device.readWithLineTimeouts(buffer, want);
            if (n < 0)
                return false;
            if (n == 0 && quietMs > 0)
                return true;
            received.append(buffer, int(n));
        }
        return true;
    }
    // Reads until the bytes received end with suffix.
    bool readUntil(const QByteArray& suffix)
    {
        char buffer[4096];
        QElapsedTimer guard;
        guard.start();
        while (!received.endsWith(suffix) && guard.elapsed() < Generous) {
            const qint64 n = m_device.readWithLineTimeouts(buffer, sizeof buffer);
            if (n < 0)
                return false;
            received.append(buffer, int(n));
        }
        return received.endsWith(suffix);
    }
    // Reads until the line fails; false if it never does.
    bool readToFailure()
    {
        char buffer[4096];
        QElapsedTimer guard;
        guard.start();
        while (guard.elapsed() < Generous) {
            const qint64 n = m_device.readWithLineTimeouts(buffer, sizeof buffer);
            if (n < 0)
                return true;
            received.append(buffer, int(n));
        }
        return false;
    }
    QString errorString() const { return m_device.errorString(); }

    QByteArray received;

private:
    SerialDevice m_device;
};

// What the receiver's chain makes of a port stream (echo included) or of a replay file.
struct Decoded
{
    QList<QByteArray> rx;
    QList<QByteArray> sync;
    quint32 erroredLength = 0;
    quint32 badCrc = 0;
    quint32 tooLarge = 0;
    QStringList messages;

    static Decoded of(const QByteArray& bytes, DeframingChain::Source source)
    {
        DeframingChain chain(source, 6);
        feedInUnits(chain.head(), bytes.constData(), int(bytes.size()));
        Decoded d;
        d.rx = chain.sink.framesOf(0);
        d.sync = chain.sink.framesOf(1);
        d.erroredLength = chain.stats.value(StatHandler::ErroredLength);
        d.badCrc = chain.stats.value(StatHandler::BadCrc);
        d.tooLarge = chain.stats.value(StatHandler::TooLarge);
        d.messages = drainMessages(chain.messages);
        return d;
    }
};

struct RunResult
{
    int status = -2;
    QByteArray stderrText;
};

RunResult runSim(const QStringList& arguments)
{
    QProcess process;
    process.start(SimPath, arguments);
    RunResult result;
    if (process.waitForFinished(Generous) && process.exitStatus() == QProcess::NormalExit)
        result.status = process.exitCode();
    result.stderrText = process.readAllStandardError() + process.readAllStandardOutput();
    return result;
}

// libpcap savefile layouts, written field by field in either byte order.
void append16(QByteArray& out, quint16 v, bool bigEndian)
{
    if (bigEndian) {
        out.append(char(v >> 8));
        out.append(char(v & 0xFF));
    } else {
        out.append(char(v & 0xFF));
        out.append(char(v >> 8));
    }
}

void append32(QByteArray& out, quint32 v, bool bigEndian)
{
    for (int i = 0; i < 4; ++i) {
        const int shift = bigEndian ? 24 - 8 * i : 8 * i;
        out.append(char((v >> shift) & 0xFF));
    }
}

QByteArray pcapHeader(quint32 magic, bool bigEndian, quint16 major = 2)
{
    QByteArray out;
    append32(out, magic, bigEndian);
    append16(out, major, bigEndian);
    append16(out, 4, bigEndian);
    append32(out, 0, bigEndian);
    append32(out, 0, bigEndian);
    append32(out, 65535, bigEndian);
    append32(out, 140, bigEndian);
    return out;
}

QByteArray pcapRecord(const QByteArray& frame, quint32 fraction, bool bigEndian)
{
    QByteArray out;
    append32(out, 1700000000, bigEndian);
    append32(out, fraction, bigEndian);
    append32(out, quint32(frame.size()), bigEndian);
    append32(out, quint32(frame.size()), bigEndian);
    return out + frame;
}

QList<QByteArray> sampleFrames(quint32 seed, int count)
{
    QRandomGenerator random(seed);
    QList<QByteArray> frames;
    for (int i = 0; i < count; ++i)
        frames.append(randomBytes(random, 1 + int(random.bounded(300))));
    return frames;
}

} // namespace

class TestVeziveSim : public QObject
{
    Q_OBJECT

private slots:
    void options_data();
    void options();
    void commandMode_data();
    void commandMode();
    void streamMatchesSent_data();
    void streamMatchesSent();
    void writeStream_data();
    void writeStream();
    void badEcho();
    void hangupAfter_data();
    void hangupAfter();
    void silentAfter_data();
    void silentAfter();
    void receiverReopens();
    void interruptStopsStream();
    void pcapFrames_data();
    void pcapFrames();
    void garbagePcap_data();
    void garbagePcap();
    void realTimePacing();
    void linkAndSignals_data();
    void linkAndSignals();

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
};

void TestVeziveSim::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("Usage: vezive-sim");
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << QByteArray("Usage");
    QTest::newRow("positional") << QStringList{"extra"} << 2 << QByteArray("Usage");
    QTest::newRow("not a number") << QStringList{"--seed", "x1"} << 2 << QByteArray("--seed");
    QTest::newRow("negative") << QStringList{"--bad-fcs", "-3"} << 2 << QByteArray("--bad-fcs");
    QTest::newRow("trailing junk") << QStringList{"--count=12k"} << 2 << QByteArray("--count");
    QTest::newRow("missing value")
        << QStringList{"--fast", "--hangup-after"} << 2 << QByteArray("--hangup-after");
    QTest::newRow("bad duration") << QStringList{"--duration", "soon"} << 2
                                  << QByteArray("--duration");
    QTest::newRow("switch with value") << QStringList{"--fast=1"} << 2 << QByteArray("--fast");
    QTest::newRow("bytes without file")
        << QStringList{"--bytes", "10"} << 2 << QByteArray("--write-stream");
    QTest::newRow("stream file unwritable")
        << QStringList{"--write-stream", "/nonexistent-dir/x.bin"} << 1
        << QByteArray("/nonexistent-dir/x.bin: ");
    QTest::newRow("sent file unwritable") << QStringList{"--sent", "/nonexistent-dir/s.txt"} << 1
                                          << QByteArray("/nonexistent-dir/s.txt: ");
}

void TestVeziveSim::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, expected);
    const RunResult result = runSim(arguments);
    QCOMPARE(result.status, status);
    QVERIFY2(result.stderrText.contains(expected), result.stderrText.constData());
}

void TestVeziveSim::commandMode_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("answer"); // "<date>" stands for today's date

    const QByteArray ati = "ATI\r\nVezive-V1 E1 line tester\r\n<date>\r\nModel: Vezive-V1\r\n"
                           "Firmware: 1.0 (simulated)\r\nSerial number: SIM-000001\r\n"
                           "Timeslots: 0-31\r\n\r\nOK\r\n";
    QTest::newRow("AT") << QStringList()
                        << QByteArray("\x03"
                                      "AT\n")
                        << AttentionAnswer;
    QTest::newRow("AT with CR LF") << QStringList() << QByteArray("AT\r\n") << AttentionAnswer;
    QTest::newRow("ATI") << QStringList() << QByteArray("ATI\n") << ati;
    QTest::newRow("port test dialogue") << QStringList()
                                        << QByteArray("\x03"
                                                      "AT\nATI\n")
                                        << AttentionAnswer + ati;
    QTest::newRow("unknown") << QStringList() << QByteArray("ATZ\n") << QByteArray("ERROR\r\n");
    QTest::newRow("timeslot out of range")
        << QStringList() << QByteArray("ATU32 01\n") << QByteArray("ERROR\r\n");
    QTest::newRow("one digit timeslot")
        << QStringList() << QByteArray("ATU1 16\n") << QByteArray("ERROR\r\n");
    QTest::newRow("0x03 drops the collected line") << QStringList()
                                                   << QByteArray("ATZZ\x03"
                                                                 "AT\n")
                                                   << AttentionAnswer;
    QTest::newRow("over-long line") << QStringList() << QByteArray(300, 'A') + "\nAT\n"
                                    << QByteArray("ERROR\r\n") + AttentionAnswer;
    // The failing port test: "ATI" stays unanswered, so the next answer is that to "AT".
    QTest::newRow("at-only") << QStringList{"--at-only"} << QByteArray("AT\nATI\nAT\n")
                             << AttentionAnswer + AttentionAnswer;
}

void TestVeziveSim::commandMode()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, answer);

    const QByteArray before = QDate::currentDate().toString(Qt::ISODate).toLatin1();
    Sim sim(arguments);
    QVERIFY(sim.terminal.startsWith("/dev/"));
    Line line;
    QVERIFY2(line.open(sim.terminal), qPrintable(line.errorString()));
    QVERIFY(line.send(input));
    // Same length whichever day it is.
    const QByteArray expected = QByteArray(answer).replace("<date>", before);
    QVERIFY(line.read(expected.size()));
    const QByteArray after = QDate::currentDate().toString(Qt::ISODate).toLatin1();
    QVERIFY(line.received == expected ||
            line.received == QByteArray(answer).replace("<date>", after));
    // Nothing more follows.
    QVERIFY(line.read(expected.size() + 1, 300));
    QCOMPARE(line.received.size(), expected.size());
    line.close();
    QCOMPARE(sim.stop(), 0);
}

void TestVeziveSim::streamMatchesSent_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<bool>("erroredLength");
    QTest::addColumn<bool>("badCrc");
    QTest::addColumn<bool>("tooLarge");
    QTest::addColumn<int>("frameCount"); // per channel, -1: not fixed

    QTest::newRow("clean") << QStringList() << false << false << false << -1;
    QTest::newRow("bad FCS") << QStringList{"--bad-fcs", "3"} << false << true << false << -1;
    QTest::newRow("abort") << QStringList{"--abort", "2"} << false << false << false << -1;
    QTest::newRow("idle ones") << QStringList{"--idle-ones", "40"} << false << false << true << -1;
    QTest::newRow("oversize") << QStringList{"--oversize", "25"} << false << false << true << -1;
    QTest::newRow("extra bits") << QStringList{"--extra-bits", "4"} << true << false << false << -1;
    QTest::newRow("every fault") << QStringList{"--bad-fcs",    "5",  "--abort",    "7",
                                                "--idle-ones",  "60", "--oversize", "45",
                                                "--extra-bits", "3"}
                                 << true << true << true << -1;
    QTest::newRow("count") << QStringList{"--count", "9", "--bad-fcs", "4"} << false << true
                           << false << 7;
    QTest::newRow("other seed") << QStringList{"--seed", "4711"} << false << false << false << -1;
}

// The stream after the echo, cut by the line wherever it happens to be, decodes to exactly the
// frames listed as sent, with exactly the counts the faults call for.
void TestVeziveSim::streamMatchesSent()
{
    QFETCH(QStringList, faults);
    QFETCH(bool, erroredLength);
    QFETCH(bool, badCrc);
    QFETCH(bool, tooLarge);
    QFETCH(int, frameCount);

    const qint64 streamBytes = 300001; // odd: the last pair stays incomplete
    const QString sentFile = path(QStringLiteral("sent-%1.txt").arg(QTest::currentDataTag()));
    Sim sim(
        QStringList{"--fast", "--sent", sentFile, "--silent-after", QString::number(streamBytes)} +
        faults);
    Line line;
    QVERIFY2(line.open(sim.terminal), qPrintable(line.errorString()));
    QVERIFY(line.send(Echo));
    QVERIFY(line.read(Echo.size() + streamBytes));
    QCOMPARE(line.received.size(), Echo.size() + streamBytes);
    QCOMPARE(line.received.left(Echo.size()), Echo);
    line.close();
    QCOMPARE(sim.stop(), 0); // every line of the sent list is out once it has ended

    const Sent sent = Sent::read(sentFile);
    const Decoded decoded = Decoded::of(line.received, DeframingChain::Port);
    QVERIFY(!sent.rx.isEmpty());
    QVERIFY(!sent.sync.isEmpty());
    QCOMPARE(decoded.rx, sent.rx);
    QCOMPARE(decoded.sync, sent.sync);
    QVERIFY(decoded.rx != decoded.sync);
    QCOMPARE(decoded.erroredLength > 0, erroredLength);
    QCOMPARE(decoded.badCrc > 0, badCrc);
    QCOMPARE(decoded.tooLarge > 0, tooLarge);
    QVERIFY2(decoded.messages.isEmpty(), qPrintable(decoded.messages.join('\n')));
    if (frameCount >= 0) {
        QCOMPARE(int(sent.rx.size()), frameCount);
        QCOMPARE(int(sent.sync.size()), frameCount);
    }

    // The replay writer makes the same stream.
    const QString replay = path(QStringLiteral("replay-%1.bin").arg(QTest::currentDataTag()));
    QCOMPARE(runSim(QStringList{"--write-stream", replay, "--bytes", QString::number(streamBytes)} +
                    faults)
                 .status,
             0);
    QCOMPARE(contents(replay), line.received.mid(Echo.size()));
}

void TestVeziveSim::writeStream_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<qint64>("length");

    QTest::newRow("default ten seconds") << QStringList() << qint64(160000);
    QTest::newRow("duration") << QStringList{"--duration", "0.25"} << qint64(4000);
    QTest::newRow("bytes win") << QStringList{"--duration", "2", "--bytes", "777"} << qint64(777);
    QTest::newRow("empty") << QStringList{"--bytes", "0"} << qint64(0);
    QTest::newRow("one byte") << QStringList{"--bytes", "1"} << qint64(1);
    QTest::newRow("faults") << QStringList{"--bytes",    "250000", "--bad-fcs",    "3",
                                           "--abort",    "5",      "--idle-ones",  "50",
                                           "--oversize", "30",     "--extra-bits", "6",
                                           "--seed",     "9"}
                            << qint64(250000);
    QTest::newRow("silence ends the file")
        << QStringList{"--bytes", "5000", "--silent-after", "3001"} << qint64(3001);
}

void TestVeziveSim::writeStream()
{
    QFETCH(QStringList, arguments);
    QFETCH(qint64, length);

    const QString file = path(QStringLiteral("stream-%1.bin").arg(QTest::currentDataTag()));
    const QString sentFile = path(QStringLiteral("wsent-%1.txt").arg(QTest::currentDataTag()));
    const RunResult result =
        runSim(QStringList{"--write-stream", file, "--sent", sentFile} + arguments);
    QCOMPARE(result.status, 0);
    const QByteArray stream = contents(file);
    QCOMPARE(qint64(stream.size()), length);

    const Sent sent = Sent::read(sentFile);
    const Decoded decoded = Decoded::of(stream, DeframingChain::File);
    QCOMPARE(decoded.rx, sent.rx);
    QCOMPARE(decoded.sync, sent.sync);
    if (length >= 4000) {
        QVERIFY(!sent.rx.isEmpty());
        QVERIFY(!sent.sync.isEmpty());
    }
    // Cut differently, the same frames.
    DeframingChain chain(DeframingChain::File);
    feedInBlocks(chain.head(), stream, {1, 3, 2, 7, 4096, 5});
    QCOMPARE(chain.sink.framesOf(0), sent.rx);
    QCOMPARE(chain.sink.framesOf(1), sent.sync);
}

void TestVeziveSim::badEcho()
{
    Sim sim(QStringList{"--fast", "--bad-echo", "--silent-after", "100"});
    Line line;
    QVERIFY2(line.open(sim.terminal), qPrintable(line.errorString()));
    QVERIFY(line.send("ATU05 30\n"));
    QVERIFY(line.read(9 + 100));
    QCOMPARE(line.received.left(9), QByteArray("ATX05 30\n"));
    const Decoded decoded = Decoded::of(line.received, DeframingChain::Port);
    QCOMPARE(decoded.messages, QStringList{"E:" + QString::fromLatin1(HeaderError)});
    QVERIFY(decoded.rx.isEmpty());
    line.close();
    QCOMPARE(sim.stop(), 0);
}

void TestVeziveSim::hangupAfter_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::newRow("right after the echo") << qint64(0);
    QTest::newRow("one byte") << qint64(1);
    QTest::newRow("odd") << qint64(777);
    // More than the terminal's buffers hold at once.
    QTest::newRow("beyond the buffers") << qint64(200000);
}

// The reader gets exactly the promised bytes, then a read failure; the frames closed within
// those bytes are exactly the ones listed.
void TestVeziveSim::hangupAfter()
{
    QFETCH(qint64, bytes);
    const QString sentFile = path(QStringLiteral("hsent-%1.txt").arg(QTest::currentDataTag()));
    Sim sim(QStringList{"--fast", "--sent", sentFile, "--hangup-after", QString::number(bytes),
                        "--oversize", "40"});
    Line line;
    QVERIFY2(line.open(sim.terminal), qPrintable(line.errorString()));
    QVERIFY(line.send(Echo));
    QVERIFY(line.readToFailure());
    QVERIFY(!line.errorString().isEmpty());
    QCOMPARE(qint64(line.received.size()), Echo.size() + bytes);
    QCOMPARE(line.received.left(Echo.size()), Echo);
    line.close();
    QCOMPARE(sim.finish(), 0);

    const Sent sent = Sent::read(sentFile);
    const Decoded decoded = Decoded::of(line.received, DeframingChain::Port);
    QCOMPARE(decoded.rx, sent.rx);
    QCOMPARE(decoded.sync, sent.sync);
    if (bytes > 100000)
        QVERIFY(decoded.tooLarge > 0);
}

void TestVeziveSim::silentAfter_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<bool>("fast");
    QTest::newRow("right after the echo") << qint64(0) << true;
    QTest::newRow("some") << qint64(4001) << true;
    QTest::newRow("some, real time") << qint64(1600) << false;
}

// After the promised bytes nothing more comes, the line stays open, and 0x03 brings back the
// command mode.
void TestVeziveSim::silentAfter()
{
    QFETCH(qint64, bytes);
    QFETCH(bool, fast);
    Sim sim(QStringList{"--silent-after", QString::number(bytes)} +
            (fast ? QStringList{"--fast"} : QStringList()));
    Line line;
    QVERIFY2(line.open(sim.terminal), qPrintable(line.errorString()));
    QVERIFY(line.send(Echo));
    QVERIFY(line.read(Echo.size() + bytes));
    QVERIFY(line.read(Echo.size() + bytes + 1, 300));
    QCOMPARE(qint64(line.received.size()), Echo.size() + bytes);
    line.received.clear();
    QVERIFY(line.send("\x03"
                      "AT\n"));
    QVERIFY(line.readUntil(AttentionAnswer));
    QCOMPARE(line.received, AttentionAnswer);
    line.close();
    QCOMPARE(sim.stop(), 0);
}

// A receiver that closes mid-stream and opens again finds the command mode.
void TestVeziveSim::receiverReopens()
{
    Sim sim(QStringList{"--fast"});
    for (int round = 0; round < 3; ++round) {
        Line line;
        QVERIFY2(line.open(sim.terminal), qPrintable(line.errorString()));
        // What the simulator still sends from the last round may precede the answer.
        QVERIFY(line.send("\x03"
                          "AT\n"));
        QVERIFY(line.readUntil(AttentionAnswer));
        line.received.clear();
        QVERIFY(line.send(Echo));
        QVERIFY(line.read(Echo.size() + 50000));
        QCOMPARE(line.received.left(Echo.size()), Echo);
        line.close();
    }
    QCOMPARE(sim.stop(), 0);
}

void TestVeziveSim::interruptStopsStream()
{
    const QString sentFile = path(QStringLiteral("isent.txt"));
    Sim sim(QStringList{"--fast", "--sent", sentFile});
    Line line;
    QVERIFY2(line.open(sim.terminal), qPrintable(line.errorString()));
    QVERIFY(line.send(Echo));
    QVERIFY(line.read(Echo.size() + 100000));
    QVERIFY(line.send("\x03"));
    QVERIFY(line.send("AT\n"));
    QVERIFY(line.readUntil(AttentionAnswer));
    // The stream has stopped: nothing follows the answer.
    const qsizetype total = line.received.size();
    QVERIFY(line.read(total + 1, 300));
    QCOMPARE(line.received.size(), total);
    line.close();
    QCOMPARE(sim.stop(), 0);

    // Every frame listed went out before the answer.
    const Decoded decoded =
        Decoded::of(line.received.left(total - AttentionAnswer.size()), DeframingChain::Port);
    const Sent sent = Sent::read(sentFile);
    QCOMPARE(decoded.rx, sent.rx);
    QCOMPARE(decoded.sync, sent.sync);
}

void TestVeziveSim::pcapFrames_data()
{
    QTest::addColumn<QString>("layout");
    QTest::newRow("project writer") << "writer";
    QTest::newRow("little-endian microseconds") << "le-us";
    QTest::newRow("big-endian microseconds") << "be-us";
    QTest::newRow("little-endian nanoseconds") << "le-ns";
    QTest::newRow("big-endian nanoseconds") << "be-ns";
}

// Frames from a savefile go out in order, each once; then only flags.
void TestVeziveSim::pcapFrames()
{
    QFETCH(QString, layout);
    const QList<QByteArray> rxFrames = sampleFrames(3, 40);
    const QList<QByteArray> syncFrames = sampleFrames(4, 25);
    const QString rxFile = path("rx-" + layout + ".pcap");
    const QString syncFile = path("sync-" + layout + ".pcap");

    if (layout == "writer") {
        for (const auto& [file, frames] :
             {std::pair{rxFile, rxFrames}, std::pair{syncFile, syncFrames}}) {
            HdlcHandler clock(0);
            clock.setTimestamp(1700000000, 0);
            PcapHandler writer(&clock, file, 140, 0);
            for (const QByteArray& frame : frames) {
                QByteArray packet = QByteArray(1, '\0') + frame;
                writer.process(packet, int(packet.size()));
            }
        }
    } else {
        const bool big = layout.startsWith("be");
        const bool nano = layout.endsWith("ns");
        for (const auto& [file, frames] :
             {std::pair{rxFile, rxFrames}, std::pair{syncFile, syncFrames}}) {
            QByteArray bytes = pcapHeader(nano ? 0xA1B23C4D : 0xA1B2C3D4, big);
            for (int i = 0; i < frames.size(); ++i)
                bytes += pcapRecord(frames[i], nano ? 999999999u - i : 999999u - i, big);
            bytes += pcapRecord(QByteArray(), 0, big); // an empty record carries nothing
            QVERIFY(store(file, bytes));
        }
    }

    const QString stream = path("pcap-" + layout + ".bin");
    const QString sentFile = path("psent-" + layout + ".txt");
    QCOMPARE(runSim({"--write-stream", stream, "--bytes", "60000", "--frames", rxFile,
                     "--sync-frames", syncFile, "--sent", sentFile})
                 .status,
             0);
    const Decoded decoded = Decoded::of(contents(stream), DeframingChain::File);
    QCOMPARE(decoded.rx, rxFrames);
    QCOMPARE(decoded.sync, syncFrames);
    const Sent sent = Sent::read(sentFile);
    QCOMPARE(sent.rx, rxFrames);
    QCOMPARE(sent.sync, syncFrames);

    // A count and a fault apply to file frames as to the scenario.
    QCOMPARE(runSim({"--write-stream", stream, "--bytes", "60000", "--frames", rxFile, "--count",
                     "10", "--bad-fcs", "4"})
                 .status,
             0);
    const Decoded counted = Decoded::of(contents(stream), DeframingChain::File);
    QCOMPARE(counted.rx, (QList<QByteArray>{rxFrames[0], rxFrames[1], rxFrames[2], rxFrames[4],
                                            rxFrames[5], rxFrames[6], rxFrames[8], rxFrames[9]}));
    QCOMPARE(counted.badCrc, 4u); // two per channel
}

void TestVeziveSim::garbagePcap_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("field");

    const QByteArray good = pcapHeader(0xA1B2C3D4, false);
    const QByteArray record = pcapRecord("abc", 5, false);
    QTest::newRow("empty") << QByteArray() << "file header";
    QTest::newRow("short header") << good.left(23) << "file header";
    QTest::newRow("bad magic") << QByteArray("GIF89a") + QByteArray(30, 'x') << "magic number";
    QTest::newRow("version") << pcapHeader(0xA1B2C3D4, true, 1) << "version";
    QTest::newRow("record header cut") << good + record.left(10) << "record 1 header";
    QTest::newRow("record data cut") << good + record + record.left(18) << "record 2 data";
    QByteArray huge = good;
    append32(huge, 1, false);
    append32(huge, 0, false);
    append32(huge, 0x7FFFFFFF, false);
    append32(huge, 0x7FFFFFFF, false);
    QTest::newRow("captured length") << huge << "record 1 captured length";
    QTest::newRow("microseconds") << good + pcapRecord("abc", 1000000, false)
                                  << "record 1 time stamp fraction";
    QByteArray shorter = good;
    append32(shorter, 1, false);
    append32(shorter, 0, false);
    append32(shorter, 3, false);
    append32(shorter, 2, false);
    QTest::newRow("original length") << shorter + "abc"
                                     << "record 1 original length";
}

void TestVeziveSim::garbagePcap()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, field);
    const QString file = path(QStringLiteral("garbage-%1.pcap").arg(QTest::currentDataTag()));
    QVERIFY(store(file, bytes));
    for (const QString& option : {QStringLiteral("--frames"), QStringLiteral("--sync-frames")}) {
        const RunResult result =
            runSim({option, file, "--write-stream", path("never.bin"), "--bytes", "10"});
        QCOMPARE(result.status, 2);
        const QString message = QString::fromLocal8Bit(result.stderrText);
        QVERIFY2(message.contains(file) && message.contains(field), qPrintable(message));
    }
    const RunResult missing = runSim({"--frames", path("missing.pcap")});
    QCOMPARE(missing.status, 2);
    QVERIFY(missing.stderrText.contains("missing.pcap"));
}

// In real time the stream comes in many small chunks and never faster than the line's rate:
// 8000 bytes take half a second of line time.
void TestVeziveSim::realTimePacing()
{
    Sim sim{QStringList()};
    Line line;
    QVERIFY2(line.open(sim.terminal), qPrintable(line.errorString()));
    QVERIFY(line.send(Echo));
    QVERIFY(line.read(Echo.size()));
    QElapsedTimer elapsed;
    elapsed.start();
    int chunks = 0;
    while (line.received.size() < Echo.size() + 8000 && elapsed.elapsed() < Generous) {
        const qsizetype before = line.received.size();
        QVERIFY(line.read(before + 1));
        ++chunks;
    }
    QVERIFY(elapsed.elapsed() >= 400);
    QVERIFY2(chunks >= 10, qPrintable(QString::number(chunks)));
    line.close();
    QCOMPARE(sim.stop(), 0);
}

void TestVeziveSim::linkAndSignals_data()
{
    QTest::addColumn<QString>("signal");
    QTest::newRow("SIGTERM") << "TERM";
    QTest::newRow("SIGINT") << "INT";
}

void TestVeziveSim::linkAndSignals()
{
    QFETCH(QString, signal);
    const QString link = path("tester-" + signal);
    Sim sim({"--link", link});
    QCOMPARE(QFileInfo(link).symLinkTarget(), sim.terminal);
    Line line;
    QVERIFY2(line.open(link), qPrintable(line.errorString()));
    QVERIFY(line.send("AT\n"));
    QVERIFY(line.readUntil(AttentionAnswer));
    QCOMPARE(
        QProcess::execute("sh", {"-c", QStringLiteral("kill -%1 %2").arg(signal).arg(sim.pid())}),
        0);
    QCOMPARE(sim.finish(), 0);
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(TestVeziveSim)
#include "tst_vezivesim.moc"
