#include "device/event.h"
#include "device/iobase.h"
#include "device/serialdevice.h"
#include "device/serialports.h"
#include "support/ptyendpoint.h"

#include <cerrno>
#include <chrono>
#include <future>
#include <QElapsedTimer>
#include <QtTest>
#include <thread>

namespace {

// Exposes the block read and write that QIODevice keeps protected.
class ProbeDevice : public SerialDevice
{
public:
    using SerialDevice::readData;
    using SerialDevice::writeData;
};

// Cancels the device's requests when a test has not finished with it in time, so that a fault
// shows as a failed request instead of a test that hangs.
class Watchdog
{
public:
    explicit Watchdog(SerialDevice& device)
        : m_thread([&device, done = m_done.get_future()] {
              if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready)
                  device.cancel();
          })
    {}
    ~Watchdog()
    {
        m_done.set_value();
        m_thread.join();
    }

private:
    std::promise<void> m_done;
    std::thread m_thread;
};

// Every byte value, in an order that differs with step.
QByteArray pattern(int length, int step)
{
    QByteArray bytes(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        bytes[i] = char((i * step + i / 256) & 0xFF);
    return bytes;
}

// Reads until count bytes arrived or a read returns nothing.
template <typename Read> QByteArray readAll(Read read, qint64 count)
{
    QByteArray received(count, '\0');
    qint64 done = 0, n = 0;
    while (done < count && (n = read(received.data() + done, count - done)) > 0)
        done += n;
    return received.left(done);
}

bool openOn(SerialDevice& device, const PtyEndpoint& line)
{
    device.setPortName(line.terminalPath());
    return device.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

constexpr tcflag_t LineFlags = PARODD | CSTOPB | CRTSCTS | CLOCAL;
constexpr tcflag_t InputTranslation =
    IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY;
constexpr tcflag_t LocalModes = ECHO | ECHONL | ICANON | ISIG | IEXTEN;

constexpr int BlockRead = 0, AcquisitionRead = 1, BlockWrite = 2; // requests

} // namespace

class TestSerialDevice : public QObject
{
    Q_OBJECT

private slots:
    void portList();
    void eventWait_data();
    void eventWait();
    void withoutPort();
    void exclusiveOpen();
    void rawLine_data();
    void rawLine();
    void lineRead_data();
    void lineRead();
    void requestEnded_data();
    void requestEnded();
    void bytesInHandDelivered_data();
    void bytesInHandDelivered();
};

void TestSerialDevice::eventWait_data()
{
    QTest::addColumn<bool>("initially");
    QTest::addColumn<int>("thisSets");
    QTest::addColumn<int>("otherSets");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("which");

    QTest::newRow("neither: time-out") << false << 0 << 0 << 20 << -1;
    QTest::newRow("other") << false << 0 << 1 << 20 << 1;
    // One reset must clear every set.
    QTest::newRow("both, this three times: this first") << false << 3 << 1 << 20 << 0;
    QTest::newRow("initially signalled, no wait") << true << 0 << 0 << 0 << 0;
    QTest::newRow("no limit") << false << 0 << 2 << -1 << 1;
}

void TestSerialDevice::eventWait()
{
    QFETCH(bool, initially);
    QFETCH(int, thisSets);
    QFETCH(int, otherSets);
    QFETCH(int, timeoutMs);
    QFETCH(int, which);

    Event self(true, initially);
    Event other;
    QVERIFY(self.handle() >= 0 && other.handle() >= 0);
    for (int i = 0; i < thisSets; ++i)
        QCOMPARE(self.set(), 1);
    for (int i = 0; i < otherSets; ++i)
        QCOMPARE(other.set(), 1);

    // Manual reset: a wait does not consume the signal, so a second wait sees the same.
    for (int round = 0; round < 2; ++round) {
        int got = -1;
        QCOMPARE(self.waitEither(other, got, timeoutMs), which >= 0);
        QCOMPARE(got, which);
    }
    QCOMPARE(self.isSignalled(), which == 0);
    QCOMPARE(self.reset(), 1);
    QVERIFY(!self.isSignalled());
    QCOMPARE(self.reset(), 1);
}

// Without a port writes fail leaving the error text alone, and reads fail with a text.
void TestSerialDevice::withoutPort()
{
    ProbeDevice device;
    QVERIFY(device.errorString().isNull());
    char buffer[16];
    auto checkRequests = [&](const QString& readText) {
        const QString text = device.errorString();
        QCOMPARE(device.writeData("abc", 3), qint64(-1));
        QCOMPARE(device.putch('a'), -1);
        QVERIFY(!device.flush());
        QCOMPARE(device.errorString(), text);
        QCOMPARE(device.readData(buffer, sizeof buffer), qint64(-1));
        QCOMPARE(device.getch(), -1);
        QCOMPARE(device.readWithLineTimeouts(buffer, sizeof buffer), qint64(-1));
        QCOMPARE(device.errorString(), readText);
    };

    device.setPortName(QStringLiteral("/dev/vezive-no-such-port"));
    QVERIFY(!device.open(QIODevice::ReadWrite));
    QVERIFY(!device.isOpen());
    QCOMPARE(device.errorString(), QStringLiteral("No such file or directory"));
    // The failed port object stays until the next open or close; reads ask it and fail.
    checkRequests(QStringLiteral("Bad file descriptor"));

    // An empty name asks nothing of the system and leaves the last error's text.
    device.setPortName(QString());
    errno = 0;
    QVERIFY(!device.open(QIODevice::ReadWrite));
    QCOMPARE(errno, 0);
    QCOMPARE(device.errorString(), QStringLiteral("Bad file descriptor"));
    checkRequests(QStringLiteral("Internal error"));
}

// The lock keeps out a second opener even for root, whom TIOCEXCL does not stop.
void TestSerialDevice::exclusiveOpen()
{
    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    const QString busy = QStringLiteral("Device or resource busy");

    SerialDevice first;
    SerialDevice second;
    QVERIFY(openOn(first, line));
    QVERIFY(!openOn(second, line));
    QCOMPARE(second.errorString(), busy);
    QVERIFY(!second.isOpen());
    // Opening again closes the device's own port first, so its lock does not stand in the way.
    QVERIFY(first.open(QIODevice::ReadWrite));

    first.close();
    QVERIFY(second.open(QIODevice::ReadWrite));
    QVERIFY(!first.open(QIODevice::ReadWrite));
    QCOMPARE(first.errorString(), busy);

    // The destructor releases the port too.
    {
        SerialDevice third;
        second.close();
        QVERIFY(openOn(third, line));
    }
    QVERIFY(first.open(QIODevice::ReadWrite));
}

void TestSerialDevice::rawLine_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<uint>("speed");
    QTest::addColumn<uint>("flags");

    // A pseudo-terminal has no parity: it drops PARENB, and keeps PARODD.
    QTest::newRow("every value, 9600, every line flag")
        << pattern(256, 1) << uint(B9600) << uint(CSTOPB | CRTSCTS | PARODD | CLOCAL);
    QTest::newRow("more than the terminal holds, 115200, no flag")
        << pattern(4096, 7) << uint(B115200) << 0u;
}

// Set up as a user would with stty, every translation on and bytes left unread: the device
// keeps speed and line flags, drops the stale input, and no byte is changed, swallowed or
// echoed in either direction.
void TestSerialDevice::rawLine()
{
    QFETCH(QByteArray, bytes);
    QFETCH(uint, speed);
    QFETCH(uint, flags);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    termios settings;
    QVERIFY(line.terminalSettings(settings));
    cfmakeraw(&settings); // so that the stale bytes count as queued before the cooked mode
    QVERIFY(line.setTerminalSettings(settings));
    QVERIFY(line.write(QByteArray("\x00\x01stale\xff", 8)));
    QTRY_COMPARE_WITH_TIMEOUT(line.terminalInputQueued(), 8, 30000);

    QVERIFY(cfsetispeed(&settings, speed_t(speed)) == 0);
    QVERIFY(cfsetospeed(&settings, speed_t(speed)) == 0);
    settings.c_cflag = (settings.c_cflag & ~LineFlags) | tcflag_t(flags);
    settings.c_iflag |= InputTranslation;
    settings.c_oflag |= OPOST | ONLCR;
    settings.c_lflag |= LocalModes;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 5;
    QVERIFY(line.setTerminalSettings(settings));

    ProbeDevice device;
    QVERIFY(openOn(device, line));
    Watchdog watchdog(device);
    termios after;
    QVERIFY(line.terminalSettings(after));
    QCOMPARE(cfgetispeed(&after), speed_t(speed));
    QCOMPARE(cfgetospeed(&after), speed_t(speed));
    QCOMPARE(after.c_cflag & LineFlags, tcflag_t(flags));
    QCOMPARE(after.c_cflag & (CSIZE | CREAD), tcflag_t(CS8 | CREAD));
    QCOMPARE(after.c_iflag & InputTranslation, tcflag_t(0));
    QCOMPARE(after.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(after.c_lflag & LocalModes, tcflag_t(0));
    QCOMPARE(int(after.c_cc[VMIN]), 1);
    QCOMPARE(int(after.c_cc[VTIME]), 0);
    QCOMPARE(line.terminalInputQueued(), 0);

    QVERIFY(line.write(bytes));
    const auto read = [&](char* data, qint64 n) { return device.readData(data, n); };
    QCOMPARE(readAll(read, bytes.size()), bytes);
    QCOMPARE(device.writeData(bytes.constData(), bytes.size()), qint64(bytes.size()));
    QVERIFY(device.flush());
    QCOMPARE(line.read(bytes.size()), bytes);
    QCOMPARE(line.read(1, 0), QByteArray());

    // ungetch() gives nothing back to later reads.
    QTest::ignoreMessage(QtWarningMsg, "THIS FUNCTION SHOULDN'T BE CALLED!!!");
    QCOMPARE(device.ungetch('A'), -1);
    QVERIFY(line.write("\xff"));
    QCOMPARE(device.getch(), 0xFF);
    QCOMPARE(device.putch(0xFF), 0xFF);
    QCOMPARE(line.read(1), QByteArray("\xff"));
    QVERIFY(device.errorString().isNull());
}

void TestSerialDevice::lineRead_data()
{
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("maxlen");

    QTest::newRow("pause") << 100 << 4096;
    // Below what the terminal holds, so the request is met without waiting for the driver.
    QTest::newRow("full buffer, more behind it") << 30000 << 4000;
    QTest::newRow("full buffer, one of two") << 2 << 1;
}

// The acquisition read ends at a pause in the stream or at a full buffer, well before its
// limit of maxlen ms, and the rest follows in order. The next part is sent only after the
// first read has returned, so the pause is there however slow the machine. A silent line then
// ends the read with 0 after about maxlen ms, which leaves the error text as it was.
void TestSerialDevice::lineRead()
{
    QFETCH(int, sent);
    QFETCH(int, maxlen);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    ProbeDevice device;
    device.setPortName(QStringLiteral("/dev/vezive-no-such-port"));
    QVERIFY(!device.open(QIODevice::ReadWrite));
    const QString text = device.errorString();
    QVERIFY(openOn(device, line));
    Watchdog watchdog(device);
    const QByteArray firstPart = pattern(sent, 3);
    const QByteArray secondPart = pattern(300, 5);
    QByteArray buffer(maxlen, '\0');

    auto writing = std::async(std::launch::async, [&] { return line.write(firstPart); });
    QTRY_COMPARE_WITH_TIMEOUT(line.terminalInputQueued(), qMin(sent, 4095), 30000);
    QElapsedTimer timer;
    timer.start();
    const int first = qMin(sent, maxlen);
    QCOMPARE(device.readWithLineTimeouts(buffer.data(), maxlen), qint64(first));
    QVERIFY2(timer.elapsed() < maxlen / 2 + 1000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(buffer.left(first), firstPart.left(first));

    auto writingRest =
        std::async(std::launch::async, [&] { return writing.get() && line.write(secondPart); });
    const QByteArray rest = firstPart.mid(first) + secondPart;
    const auto read = [&](char* data, qint64 n) { return device.readWithLineTimeouts(data, n); };
    QCOMPARE(readAll(read, rest.size()), rest);
    QVERIFY(writingRest.get());

    timer.start();
    QCOMPARE(device.readWithLineTimeouts(buffer.data(), 200), qint64(0));
    QVERIFY2(timer.elapsed() >= 150, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(device.errorString(), text);
}

void TestSerialDevice::requestEnded_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<bool>("hangUp");

    QTest::newRow("block read, the line goes") << BlockRead << true;
    QTest::newRow("acquisition read, the line goes") << AcquisitionRead << true;
    QTest::newRow("block read, cancelled") << BlockRead << false;
    QTest::newRow("acquisition read, cancelled") << AcquisitionRead << false;
    QTest::newRow("write to a line that takes nothing, cancelled") << BlockWrite << false;
}

// A vanished line is a failure with the system's text, never a silent line; cancel() from
// another thread ends a blocked request. Either way every later request fails at once.
void TestSerialDevice::requestEnded()
{
    QFETCH(int, request);
    QFETCH(bool, hangUp);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    ProbeDevice device;
    QVERIFY(openOn(device, line));
    Watchdog watchdog(device);
    QByteArray buffer(4096, '\0');
    const QByteArray flood(1 << 20, '\x55'); // far more than the line holds unread

    auto running = std::async(std::launch::async, [&]() -> qint64 {
        switch (request) {
        case BlockRead:
            return device.readData(buffer.data(), buffer.size());
        case AcquisitionRead:
            return device.readWithLineTimeouts(buffer.data(), buffer.size());
        default:
            return device.writeData(flood.constData(), flood.size());
        }
    });
    QTest::qWait(50); // lets the request block; the outcome is the same if it has not yet
    if (hangUp)
        line.hangUp();
    else
        device.cancel();
    QCOMPARE(running.get(), qint64(-1));
    const QString text =
        hangUp ? QStringLiteral("Input/output error") : QStringLiteral("Operation canceled");
    // A failed write leaves the error text as it was.
    QCOMPARE(device.errorString(), request == BlockWrite ? QString() : text);
    QCOMPARE(device.isCancelled(), !hangUp);

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(device.readData(buffer.data(), buffer.size()), qint64(-1));
    QCOMPARE(device.readWithLineTimeouts(buffer.data(), buffer.size()), qint64(-1));
    QCOMPARE(device.getch(), -1);
    // Only a request that would have to wait fails: a byte may still fit once the line has
    // drained a little, a megabyte never does.
    QCOMPARE(device.writeData(flood.constData(), flood.size()), qint64(-1));
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(device.errorString(), text);

    // A cancel loses no data: what has arrived is still handed over.
    if (!hangUp) {
        QVERIFY(line.write("xyz"));
        QTRY_COMPARE_WITH_TIMEOUT(line.terminalInputQueued(), 3, 30000);
        QCOMPARE(device.readData(buffer.data(), buffer.size()), qint64(3));
        QCOMPARE(buffer.left(3), QByteArray("xyz"));
    }
}

void TestSerialDevice::bytesInHandDelivered_data()
{
    QTest::addColumn<bool>("hangUp");

    QTest::newRow("the line goes") << true;
    QTest::newRow("cancelled") << false;
}

// A request that has bytes when the line goes or the cancel comes delivers them; the next one
// reports why the line ended.
void TestSerialDevice::bytesInHandDelivered()
{
    QFETCH(bool, hangUp);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    IOBase port(line.terminalPath().toLatin1());
    QVERIFY(port.open(line.terminalPath()));
    // Only a total limit, far away: the request keeps waiting for more after the first bytes.
    ReadTimeouts timeouts;
    timeouts.constant = 30000;
    port.setReadTimeouts(timeouts);
    Event cancel;

    const QByteArray bytes("he\x00lo", 5);
    QVERIFY(line.write(bytes));
    QTRY_COMPARE_WITH_TIMEOUT(line.terminalInputQueued(), 5, 30000);
    char buffer[64];
    qint64 count = -1;
    auto reading = std::async(std::launch::async,
                              [&] { return port.read(buffer, sizeof buffer, count, cancel); });
    // Once the terminal side holds nothing, the request has taken the bytes and waits for more.
    QTRY_COMPARE_WITH_TIMEOUT(line.terminalInputQueued(), 0, 30000);
    if (hangUp)
        line.hangUp();
    else
        QCOMPARE(cancel.set(), 1);
    QCOMPARE(reading.get(), int(IOBase::Completed));
    QCOMPARE(QByteArray(buffer, int(count)), bytes);

    QCOMPARE(port.read(buffer, sizeof buffer, count, cancel),
             int(hangUp ? IOBase::Failed : IOBase::CancelledByEvent));
    QCOMPARE(count, qint64(0));
    if (hangUp)
        QCOMPARE(port.lastError(), EIO);
    QCOMPARE(port.close(), 1);
}

// The devices offered for the port: stable names first, then each kind in natural order; a
// ttyS without a UART behind it (here a plain file) and other names are left out.
void TestSerialDevice::portList()
{
    QTemporaryDir dev;
    QVERIFY(QDir(dev.path()).mkpath("serial/by-id"));
    for (const char* name :
         {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "tty1", "serial/by-id/usb-x"})
        QVERIFY(QFile(dev.filePath(name)).open(QIODevice::WriteOnly));
    QStringList expected{"serial/by-id/usb-x", "ttyUSB2", "ttyUSB10", "ttyACM0"};
    for (QString& name : expected)
        name = dev.filePath(name);
    QCOMPARE(serialPorts(dev.path()), expected);
}

QTEST_GUILESS_MAIN(TestSerialDevice)
#include "tst_serialdevice.moc"
