#include "device/porttestthread.h"
#include "device/serialdevice.h"
#include "support/ptyendpoint.h"

#include <functional>
#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

namespace {

// Keeps the log lines it is given, and the thread each came on.
class LogOwner : public PortTestOwner
{
public:
    void logMessage(const QString& line) override
    {
        lines.append(line);
        threads.append(QThread::currentThread());
    }
    QStringList lines;
    QList<QThread*> threads;
};

// The tester's side of the dialogue, scripted: for each command it waits for, the lines it
// answers with (an empty list: it stays silent from then on).
class ScriptedTester : public QThread
{
public:
    struct Step
    {
        QByteArray command;
        QList<QByteArray> answer;
        bool hangUpAfter = false;
    };

    ScriptedTester(PtyEndpoint& line, QList<Step> steps) : m_line(line), m_steps(std::move(steps))
    {}

    QByteArray received;
    int commandsSeen = 0; // awaited commands received whole
    bool scriptBroken = false;

protected:
    void run() override
    {
        for (const Step& step : std::as_const(m_steps)) {
            while (!received.endsWith(step.command)) {
                const QByteArray bytes = m_line.read(1, 20000);
                if (bytes.isEmpty()) {
                    scriptBroken = true;
                    return;
                }
                received += bytes;
            }
            ++commandsSeen;
            for (const QByteArray& line : step.answer)
                m_line.write(line + "\r\n");
            if (step.hangUpAfter) {
                m_line.hangUp();
                return;
            }
            if (step.answer.isEmpty())
                return;
        }
    }

private:
    PtyEndpoint& m_line;
    QList<Step> m_steps;
};

const QList<QByteArray> AtAnswer{"AT", "", "OK"};
const QList<QByteArray> AtiAnswer{
    "ATI",       "Vezive-V1",    "2026-12-06", "Model V1", "Firmware 1.0",
    "Serial 42", "Timeslots 32", "",           "OK"};

} // namespace

Q_DECLARE_METATYPE(ScriptedTester::Step)

class TestPortTestThread : public QObject
{
    Q_OBJECT

private slots:
    void dialogue_data();
    void dialogue();
    void noPort_data();
    void noPort();
};

void TestPortTestThread::dialogue_data()
{
    QTest::addColumn<QList<ScriptedTester::Step>>("script");
    QTest::addColumn<QStringList>("expectedLog"); // %p stands for the port name
    QTest::addColumn<bool>("passes");

    const QStringList identified{"Device found!", " Date: 2026-12-06", " Model V1",
                                 " Firmware 1.0", " Serial 42",        " Timeslots 32"};
    QTest::newRow("tester answers") << QList<ScriptedTester::Step>{{"\x03"
                                                                    "AT\n",
                                                                    AtAnswer},
                                                                   {"ATI\n", AtiAnswer}}
                                    << identified + QStringList{"Port test successful"} << true;
    QTest::newRow("tester answers only AT")
        << QList<ScriptedTester::Step>{{"\x03"
                                        "AT\n",
                                        AtAnswer},
                                       {"ATI\n", {}}}
        << QStringList{"Cannot set %p: Reading timeout"} << false;
    QTest::newRow("tester silent from the start")
        << QList<ScriptedTester::Step>{{"\x03"
                                        "AT\n",
                                        {}}}
        << QStringList{"Cannot set %p: Reading timeout"} << false;
    // The lines logged before the dialogue stopped come first, in order.
    QTest::newRow("identification cut short")
        << QList<ScriptedTester::Step>{{"\x03"
                                        "AT\n",
                                        AtAnswer},
                                       {"ATI\n", AtiAnswer.mid(0, 5)}}
        << QStringList{"Device found!", " Date: 2026-12-06", " Model V1", " Firmware 1.0",
                       "Cannot set %p: Reading timeout"}
        << false;
    // Control bytes from the line reach the log escaped, never as themselves.
    QList<QByteArray> controlAnswer = AtiAnswer;
    controlAnswer[3] = "Model \x1b[2J\x07V1";
    QTest::newRow("control bytes in the answer")
        << QList<ScriptedTester::Step>{{"\x03"
                                        "AT\n",
                                        AtAnswer},
                                       {"ATI\n", controlAnswer}}
        << QStringList{"Device found!",       " Date: 2026-12-06", " Model \\x1b[2J\\x07V1",
                       " Firmware 1.0",       " Serial 42",        " Timeslots 32",
                       "Port test successful"}
        << true;
    // A line that goes away is not a silent tester: it fails at once with the system's text.
    QTest::newRow("line hangs up") << QList<ScriptedTester::Step>{{"\x03"
                                                                   "AT\n",
                                                                   {"AT"},
                                                                   true}}
                                   << QStringList{"Cannot set %p: Input/output error"} << false;
}

void TestPortTestThread::dialogue()
{
    QFETCH(QList<ScriptedTester::Step>, script);
    QFETCH(QStringList, expectedLog);
    QFETCH(bool, passes);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    ScriptedTester tester(line, script);
    tester.start();

    LogOwner owner;
    // A short limit keeps the failing cases quick; the dialogue itself needs about 200 ms.
    const int limit = 3000;
    QElapsedTimer clock;
    clock.start();
    const bool result = PortTestThread::runTest(&owner, line.terminalPath(), true, limit);
    const qint64 took = clock.elapsed();
    QVERIFY(tester.wait(30000));
    QVERIFY(!tester.scriptBroken);

    QCOMPARE(result, passes);
    expectedLog.replaceInStrings("%p", line.terminalPath());
    QCOMPARE(owner.lines, expectedLog);
    for (QThread* thread : std::as_const(owner.threads))
        QCOMPARE(thread, QThread::currentThread());

    // The dialogue opens with 0x03 and lets each command settle for 100 ms before reading.
    QVERIFY(tester.received.startsWith("\x03"
                                       "AT\n"));
    if (tester.commandsSeen == 2) {
        QCOMPARE(tester.received, QByteArray("\x03"
                                             "AT\nATI\n"));
        // Timed here, not by when the tester saw the commands: a tester slow to read the first
        // one would see them closer together than they were sent.
        QVERIFY(took >= 195);
    }
    // A stuck dialogue is ended at the limit, not left blocked.
    if (expectedLog.last().endsWith("Reading timeout"))
        QVERIFY(took >= limit - 50);
    else
        QVERIFY(took < limit);

    // The thread closed the port behind it: it opens again at once.
    SerialDevice port;
    port.setPortName(line.terminalPath());
    if (!expectedLog.last().endsWith("Input/output error"))
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
}

void TestPortTestThread::noPort_data()
{
    QTest::addColumn<QString>("portName");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty name") << ""
                                << "Cannot set : Port isn't set";
    QTest::newRow("no such port") << "/dev/no-such-tty"
                                  << "Cannot set /dev/no-such-tty: No such file or directory";
    // Never written to: the test's 0x03 and AT would land in the file.
    QTest::newRow("a file") << "/proc/version"
                            << "Cannot set /proc/version: Inappropriate ioctl for device";
}

void TestPortTestThread::noPort()
{
    QFETCH(QString, portName);
    QFETCH(QString, expected);

    LogOwner owner;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!PortTestThread::runTest(&owner, portName, true));
    QCOMPARE(owner.lines, QStringList{expected});
    QVERIFY(clock.elapsed() < PortTestThread::TimeLimitMs);
}

QTEST_GUILESS_MAIN(TestPortTestThread)
#include "tst_porttestthread.moc"
