// Runs started and cancelled over and over must give back every descriptor and thread they
// took; memory is left to LeakSanitizer (sanitized builds) or valgrind. VEZIVE_STARTCANCEL_CYCLES
// sets the total number of runs (default 2000), shared out among the rows.

#include "acquisition/datagatherer.h"
#include "acquisition/tracetypes.h"
#include "capture/messagehandler.h"
#include "capture/signallingtraffic.h"
#include "capture/stathandler.h"
#include "capture/streamencoder.h"
#include "device/pseudoterminal.h"
#include "support/testchains.h"
#include "support/testfiles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int DefaultCycles = 2000;
// Last guards only: nothing here should take more than milliseconds.
constexpr int GuardMs = 30000;
constexpr int StreamOctets = 64 * 1024;
constexpr int PortStreamOctets = 2048;

enum Source
{
    File,
    Port
};

enum CancelPoint
{
    BeforeStart,
    AfterStart,
    OnceDataFlows,
    // Port only: the tester reads the request and stays silent, so the run waits in a read.
    WhileSilent,
    // Port only: the tester hangs up while data flows, then Stop comes.
    HangUp
};

int entriesIn(const QString& path)
{
    return int(QDir(path)
                   .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)
                   .size());
}

int openDescriptors()
{
    return entriesIn(QStringLiteral("/proc/self/fd"));
}

int threads()
{
    return entriesIn(QStringLiteral("/proc/self/task"));
}

QByteArray captureData(int octets, quint32 seed)
{
    ChannelEncoder rx;
    ChannelEncoder sync;
    SignallingTraffic rxTraffic(seed);
    SignallingTraffic syncTraffic(seed + 1);
    rx.setRecording(false);
    sync.setRecording(false);
    while (rx.bitCount() < quint64(octets) * 8) {
        rx.addFrame(rxTraffic.nextFrame());
        sync.addFrame(syncTraffic.nextFrame());
    }
    return StreamFormat::captureData(rx, sync);
}

// The tester's side of the line for one port run.
class Tester
{
public:
    bool open() { return m_pty.open() && m_pty.makeRaw(); }
    QString path() const { return m_pty.terminalPath(); }

    // Waits for the whole timeslot request.
    bool readRequest(int length)
    {
        QByteArray request;
        const QDeadlineTimer guard(GuardMs);
        while (request.size() < length && !guard.hasExpired()) {
            if (m_pty.wait(false, int(guard.remainingTime())) <= 0)
                return false;
            char buffer[64];
            const qint64 n = m_pty.read(buffer, sizeof buffer);
            if (n < 0)
                return false;
            request.append(buffer, int(n));
        }
        return request.startsWith("ATU");
    }

    bool send(const QByteArray& bytes)
    {
        const QDeadlineTimer guard(GuardMs);
        for (qint64 at = 0; at < bytes.size();) {
            const qint64 n = m_pty.write(bytes.constData() + at, bytes.size() - at);
            if (n < 0 || guard.hasExpired())
                return false;
            at += n;
            if (at < bytes.size() && m_pty.wait(true, int(guard.remainingTime())) <= 0)
                return false;
        }
        return true;
    }

    // Stop ends a read in progress; should it not, one byte does, so that no run here waits
    // out a silent line's limit of seconds.
    void nudge() { m_pty.write("A", 1); }
    void hangUp() { m_pty.close(); }

private:
    PseudoTerminal m_pty;
};

} // namespace

class TestStartCancel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cycles_data();
    void cycles();

private:
    bool oneRun(Source source, int traceType, CancelPoint point, quint32 spin);

    QTemporaryDir m_dir;
    QString m_stream;
    QByteArray m_portStream;
    int m_threads = 0;
};

void TestStartCancel::initTestCase()
{
    // The thread's set-up narrates itself on the debug channel, thousands of times here.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    // A loopback run that finds its adapter records it in the user's settings: not this user's.
    QStandardPaths::setTestModeEnabled(true);
    // Taken before any run: a finished run's system thread may still be on its way out later.
    m_threads = threads();
    QVERIFY(m_dir.isValid());
    m_stream = m_dir.filePath(QStringLiteral("stream"));
    QVERIFY(writeFile(m_stream, captureData(StreamOctets, 11)));
    m_portStream = StreamFormat::request(0, 0) + captureData(PortStreamOctets, 12);
}

void TestStartCancel::cycles_data()
{
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("traceType");
    QTest::addColumn<int>("point");
    QTest::addColumn<int>("runs");

    struct Row
    {
        QByteArray name;
        Source source;
        int traceType;
        CancelPoint point;
    };
    QList<Row> rows;
    const char* const pointNames[] = {"before start", "after start", "once data flows"};
    for (const TraceType& type : traceTypes()) {
        for (int point = BeforeStart; point <= OnceDataFlows; ++point) {
            rows.append({QByteArray("file, ") + type.name + ", " + pointNames[point], File,
                         type.index, CancelPoint(point)});
        }
    }
    for (int type : {int(TraceTypes::Raw), int(TraceTypes::Pcap)}) {
        for (int point = BeforeStart; point <= OnceDataFlows; ++point) {
            rows.append({QByteArray("port, ") + traceType(type)->name + ", " + pointNames[point],
                         Port, type, CancelPoint(point)});
        }
    }
    rows.append({"port, pcap, silent line", Port, int(TraceTypes::Pcap), WhileSilent});
    rows.append({"port, pcap, line hangs up", Port, int(TraceTypes::Pcap), HangUp});

    int total = DefaultCycles;
    if (qEnvironmentVariableIsSet("VEZIVE_STARTCANCEL_CYCLES"))
        total = qMax(1, qEnvironmentVariableIntValue("VEZIVE_STARTCANCEL_CYCLES"));
    const int perRow = qMax(2, int((total + rows.size() - 1) / rows.size()));
    for (const Row& row : rows) {
        QTest::newRow(row.name.constData())
            << int(row.source) << row.traceType << int(row.point) << perRow;
    }
}

void TestStartCancel::cycles()
{
    QFETCH(int, source);
    QFETCH(int, traceType);
    QFETCH(int, point);
    QFETCH(int, runs);

    QRandomGenerator random(quint32(source * 100 + traceType * 10 + point));
    // The first run loads what stays loaded (libraries, the system's tables): not a leak.
    QVERIFY(oneRun(Source(source), traceType, CancelPoint(point), 0));
    const int descriptorsBefore = openDescriptors();
    for (int i = 1; i < runs; ++i) {
        if (!oneRun(Source(source), traceType, CancelPoint(point), random.bounded(20000u)))
            QFAIL(qPrintable(QStringLiteral("run %1").arg(i)));
    }
    QCOMPARE(openDescriptors(), descriptorsBefore);
    // QThread::wait() returns before the system thread has quite gone.
    QTRY_COMPARE_WITH_TIMEOUT(threads(), m_threads, GuardMs);
}

// One run to its end; false, with the failure recorded, when it did not end as it should.
bool TestStartCancel::oneRun(Source source, int traceType, CancelPoint point, quint32 spin)
{
    MessageHandler messages;
    StatHandler stats;
    Tester tester;
    DataGatherer gatherer;
    gatherer.setMessageHandler(&messages);
    gatherer.setStatHandler(&stats);
    gatherer.setTraceType(traceType);
    gatherer.setOutputFileName(m_dir.filePath(QStringLiteral("out")));
    gatherer.setSyncFileName(m_dir.filePath(QStringLiteral("sync")));
    if (source == File) {
        gatherer.setSourceType(RunSettings::FileSource);
        gatherer.setInputFileName(m_stream);
        gatherer.setStartTime(1700000000, 0);
    } else {
        if (!tester.open()) {
            qWarning("no pseudo-terminal");
            return false;
        }
        gatherer.setSourceType(RunSettings::PortSource);
        gatherer.setPortName(tester.path());
    }

    auto dataFlows = [&] {
        return stats.value(StatHandler::Bytes) > 0 || messages.hasMessages() ||
               gatherer.isFinished();
    };
    bool ok = true;
    if (point == BeforeStart)
        gatherer.cancel();
    gatherer.start();
    if (point == AfterStart) {
        for (volatile quint32 k = 0; k < spin; ++k) {
        }
    }
    if (point == WhileSilent)
        ok = tester.readRequest(int(StreamFormat::request(0, 0).size()));
    if (source == Port && (point == OnceDataFlows || point == HangUp))
        ok = tester.readRequest(int(StreamFormat::request(0, 0).size())) &&
             tester.send(m_portStream);
    if (ok && (point == OnceDataFlows || point == HangUp)) {
        const QDeadlineTimer guard(GuardMs);
        while (!dataFlows() && !guard.hasExpired())
            QThread::yieldCurrentThread();
        ok = dataFlows();
    }
    if (point == HangUp)
        tester.hangUp();
    gatherer.cancel();
    if (source == Port)
        tester.nudge();
    if (!gatherer.wait(GuardMs))
        qFatal("a cancelled run did not end within %d ms", GuardMs);

    // The final message is the last error; an error before it may come from the header check
    // (a nudge where the echo belongs) or from a loopback run without an adapter.
    const QStringList lines = drainMessages(messages);
    QString final;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("E:")))
            final = line.mid(2);
    }
    QStringList allowed{QStringLiteral("Cancelled")};
    if (source == File && point != BeforeStart)
        allowed << QStringLiteral("End of file reached");
    if (point == HangUp)
        allowed << QStringLiteral("Input/output error");
    if (!ok || !allowed.contains(final)) {
        qWarning("ended with \"%s\"; messages: %s", qPrintable(final),
                 qPrintable(lines.join(QStringLiteral(" | "))));
        return false;
    }
    return true;
}

QTEST_GUILESS_MAIN(TestStartCancel)
#include "tst_startcancel.moc"
