#include "device/event.h"
#include "device/iobase.h"
#include "device/serialdevice.h"
#include "support/ptyendpoint.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
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
        : m_thread([this, &device] {
              std::unique_lock<std::mutex> lock(m_lock);
              if (!m_wake.wait_for(lock, std::chrono::seconds(60), [this] { return m_done; }))
                  device.cancel();
          })
    {}
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread;
};

// Every byte value, in an order that differs from row to row.
QByteArray pattern(int length, int step)
{
    QByteArray bytes(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        bytes[i] = char((i * step + i / 256) & 0xFF);
    return bytes;
}

// Reads through the block read until count bytes arrived or a read fails.
QByteArray readBlocks(ProbeDevice& device, qint64 count)
{
    QByteArray received;
    char buffer[4096];
    while (received.size() < count) {
        const qint64 n =
            device.readData(buffer, qMin<qint64>(sizeof buffer, count - received.size()));
        if (n <= 0)
            break;
        received.append(buffer, int(n));
    }
    return received;
}

bool openOn(SerialDevice& device, const PtyEndpoint& line)
{
    device.setPortName(line.terminalPath());
    return device.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

constexpr tcflag_t LineFlags = PARENB | PARODD | CSTOPB | CRTSCTS | CLOCAL;

enum Request
{
    BlockRead,
    AcquisitionRead,
    BlockWrite
};

enum DeviceState
{
    NeverOpened,
    Closed,
    OpenFailed
};

} // namespace

class TestSerialDevice : public QObject
{
    Q_OBJECT

private slots:
    void eventWait_data();
    void eventWait();
    void eventSetFromAnotherThread();
    void openFailure_data();
    void openFailure();
    void exclusiveOpen();
    void rawBytes_data();
    void rawBytes();
    void staleInputDropped();
    void lineSettings_data();
    void lineSettings();
    void lineReadEndsAtPause_data();
    void lineReadEndsAtPause();
    void lineReadFullBuffer_data();
    void lineReadFullBuffer();
    void lineReadSilentLine_data();
    void lineReadSilentLine();
    void hangUp_data();
    void hangUp();
    void requestEndsWithBytesInHand_data();
    void requestEndsWithBytesInHand();
    void cancelBlockedRequest_data();
    void cancelBlockedRequest();
    void singleBytes_data();
    void singleBytes();
    void ungetchWarns_data();
    void ungetchWarns();
    void withoutPort_data();
    void withoutPort();
    void portNotOpen();
};

void TestSerialDevice::eventWait_data()
{
    QTest::addColumn<bool>("initially");
    QTest::addColumn<int>("thisSets");
    QTest::addColumn<bool>("thisReset");
    QTest::addColumn<int>("otherSets");
    QTest::addColumn<bool>("otherReset");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<bool>("signalled");
    QTest::addColumn<int>("which");

    QTest::newRow("neither: time-out") << false << 0 << false << 0 << false << 20 << false << -1;
    QTest::newRow("neither, no wait") << false << 0 << false << 0 << false << 0 << false << -1;
    QTest::newRow("this") << false << 1 << false << 0 << false << 20 << true << 0;
    QTest::newRow("other") << false << 0 << false << 1 << false << 20 << true << 1;
    QTest::newRow("both: this first") << false << 1 << false << 1 << false << 20 << true << 0;
    QTest::newRow("initially signalled") << true << 0 << false << 0 << false << 0 << true << 0;
    QTest::newRow("initially, then reset") << true << 0 << true << 0 << false << 20 << false << -1;
    QTest::newRow("set three times, one reset")
        << false << 3 << true << 0 << false << 20 << false << -1;
    QTest::newRow("this reset, other set") << false << 1 << true << 2 << false << 20 << true << 1;
    QTest::newRow("other reset, this set") << false << 1 << false << 1 << true << 20 << true << 0;
    QTest::newRow("no limit") << false << 0 << false << 1 << false << -1 << true << 1;
}

void TestSerialDevice::eventWait()
{
    QFETCH(bool, initially);
    QFETCH(int, thisSets);
    QFETCH(bool, thisReset);
    QFETCH(int, otherSets);
    QFETCH(bool, otherReset);
    QFETCH(int, timeoutMs);
    QFETCH(bool, signalled);
    QFETCH(int, which);

    Event self(true, initially);
    Event other;
    QVERIFY(self.handle() >= 0);
    QVERIFY(other.handle() >= 0);
    for (int i = 0; i < thisSets; ++i)
        QCOMPARE(self.set(), 1);
    for (int i = 0; i < otherSets; ++i)
        QCOMPARE(other.set(), 1);
    if (thisReset)
        QCOMPARE(self.reset(), 1);
    if (otherReset)
        QCOMPARE(other.reset(), 1);

    // Manual reset: a wait does not consume the signal, so a second wait sees the same.
    for (int round = 0; round < 2; ++round) {
        int got = -1;
        QCOMPARE(self.waitEither(other, got, timeoutMs), signalled);
        QCOMPARE(got, which);
    }
    QCOMPARE(self.isSignalled(), signalled && which == 0);

    // A reset of a reset event is harmless, and it clears it.
    QCOMPARE(self.reset(), 1);
    QCOMPARE(self.reset(), 1);
    QVERIFY(!self.isSignalled());
}

void TestSerialDevice::eventSetFromAnotherThread()
{
    Event self;
    Event other;
    auto waiting = std::async(std::launch::async, [&] {
        int which = -1;
        return self.waitEither(other, which, -1) ? which : -1;
    });
    QCOMPARE(other.set(), 1);
    if (waiting.wait_for(std::chrono::seconds(60)) != std::future_status::ready)
        self.set(); // lets the waiter end before the failure is reported
    QCOMPARE(waiting.get(), 1);
}

void TestSerialDevice::openFailure_data()
{
    QTest::addColumn<QString>("earlier");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    const QString missing = QStringLiteral("/dev/vezive-no-such-port");
    const QString noSuchFile = QStringLiteral("No such file or directory");
    QTest::newRow("empty name, new device") << QString() << QString() << QString();
    QTest::newRow("empty name keeps the earlier text") << missing << QString() << noSuchFile;
    QTest::newRow("missing port") << QString() << missing << noSuchFile;
    QTest::newRow("missing directory")
        << QString() << QStringLiteral("/nonexistent/ttyS0") << noSuchFile;
    QTest::newRow("directory") << QString() << QStringLiteral("/")
                               << QStringLiteral("Is a directory");
}

void TestSerialDevice::openFailure()
{
    QFETCH(QString, earlier);
    QFETCH(QString, name);
    QFETCH(QString, text);

    SerialDevice device;
    QVERIFY(device.errorString().isNull());
    if (!earlier.isEmpty()) {
        device.setPortName(earlier);
        QVERIFY(!device.open(QIODevice::ReadWrite));
    }
    device.setPortName(name);
    errno = 0;
    QVERIFY(!device.open(QIODevice::ReadWrite));
    if (name.isEmpty())
        QCOMPARE(errno, 0); // nothing was asked of the system
    QVERIFY(!device.isOpen());
    QCOMPARE(device.errorString(), text);
    QCOMPARE(device.errorString().isNull(), text.isNull());
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
    QVERIFY(first.errorString().isNull());
    QVERIFY(!openOn(second, line));
    QCOMPARE(second.errorString(), busy);
    QVERIFY(!second.isOpen());

    // Opening again closes the device's own port first, so its lock does not stand in the way.
    QVERIFY(first.open(QIODevice::ReadWrite));
    QVERIFY(first.isOpen());

    first.close();
    QVERIFY(!first.isOpen());
    QVERIFY(second.open(QIODevice::ReadWrite));
    QCOMPARE(second.errorString(), busy); // a success leaves the text of the last error
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

void TestSerialDevice::rawBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("every value, ascending") << pattern(256, 1);
    QTest::newRow("every value, descending") << pattern(256, 255);
    QByteArray controls("\r\n\r\r\n\n\x03\x1a\x11\x13\x7f\x04\x1c\x15\x17\x16\x12\x0f\xff\x00", 20);
    QTest::newRow("line ends and control characters") << controls.repeated(10);
    QTest::newRow("every value, 16 times") << pattern(4096, 7);
}

// No byte of a binary stream may be changed, swallowed or echoed, in either direction.
void TestSerialDevice::rawBytes()
{
    QFETCH(QByteArray, bytes);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    ProbeDevice device;
    QVERIFY(openOn(device, line));
    Watchdog watchdog(device);

    QVERIFY(line.write(bytes));
    QCOMPARE(readBlocks(device, bytes.size()), bytes);

    QCOMPARE(device.writeData(bytes.constData(), bytes.size()), qint64(bytes.size()));
    QVERIFY(device.flush());
    QCOMPARE(line.read(bytes.size()), bytes);
    // Nothing more: the terminal side echoed nothing back.
    QCOMPARE(line.read(1, 0), QByteArray());
    QVERIFY(device.errorString().isNull());
}

// Bytes left on the line before the device opened are not taken for the start of the stream.
void TestSerialDevice::staleInputDropped()
{
    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    termios settings;
    QVERIFY(line.terminalSettings(settings));
    cfmakeraw(&settings);
    QVERIFY(line.setTerminalSettings(settings));
    const QByteArray stale("\x00\x01stale\xff", 8);
    QVERIFY(line.write(stale));
    QTRY_COMPARE_WITH_TIMEOUT(line.terminalInputQueued(), int(stale.size()), 30000);

    ProbeDevice device;
    QVERIFY(openOn(device, line));
    Watchdog watchdog(device);
    QCOMPARE(line.terminalInputQueued(), 0);
    QVERIFY(line.write("fresh"));
    QCOMPARE(readBlocks(device, 5), QByteArray("fresh"));
}

void TestSerialDevice::lineSettings_data()
{
    QTest::addColumn<uint>("speed");
    QTest::addColumn<uint>("flags");

    QTest::newRow("9600, two stop bits") << uint(B9600) << uint(CSTOPB);
    QTest::newRow("38400, hardware flow control") << uint(B38400) << uint(CRTSCTS);
    QTest::newRow("115200, odd, local") << uint(B115200) << uint(PARODD | CLOCAL);
    QTest::newRow("19200, all at once") << uint(B19200) << uint(CSTOPB | CRTSCTS | PARODD | CLOCAL);
    QTest::newRow("4800, parity asked for") << uint(B4800) << uint(PARENB | PARODD);
    QTest::newRow("2400, none") << uint(B2400) << 0u;
}

// Set up as a user would with stty, in the terminal's default cooked mode; the device keeps the
// line's own settings and switches off every translation.
void TestSerialDevice::lineSettings()
{
    QFETCH(uint, speed);
    QFETCH(uint, flags);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    termios settings;
    QVERIFY(line.terminalSettings(settings));
    QVERIFY(cfsetispeed(&settings, speed_t(speed)) == 0);
    QVERIFY(cfsetospeed(&settings, speed_t(speed)) == 0);
    settings.c_cflag = (settings.c_cflag & ~LineFlags) | tcflag_t(flags);
    settings.c_iflag |= BRKINT | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY;
    settings.c_oflag |= OPOST | ONLCR;
    settings.c_lflag |= ECHO | ECHONL | ICANON | ISIG | IEXTEN;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 5;
    QVERIFY(line.setTerminalSettings(settings));
    // The pseudo-terminal driver decides what it keeps (it has no parity); compare with that.
    termios before;
    QVERIFY(line.terminalSettings(before));
    QCOMPARE(cfgetospeed(&before), speed_t(speed));

    SerialDevice device;
    QVERIFY(openOn(device, line));
    termios after;
    QVERIFY(line.terminalSettings(after));

    QCOMPARE(after.c_cflag & CSIZE, tcflag_t(CS8));
    QVERIFY(after.c_cflag & CREAD);
    QCOMPARE(cfgetispeed(&after), cfgetispeed(&before));
    QCOMPARE(cfgetospeed(&after), speed_t(speed));
    QCOMPARE(after.c_cflag & LineFlags, before.c_cflag & LineFlags);
    QCOMPARE(after.c_iflag &
                 (IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY),
             tcflag_t(0));
    QCOMPARE(after.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(after.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(int(after.c_cc[VMIN]), 1);
    QCOMPARE(int(after.c_cc[VTIME]), 0);
}

void TestSerialDevice::lineReadEndsAtPause_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<bool>("readFirst");

    QTest::newRow("100 then 300, read waiting") << 100 << 300 << true;
    QTest::newRow("100 then 300, bytes waiting") << 100 << 300 << false;
    QTest::newRow("1 then 1, read waiting") << 1 << 1 << true;
    QTest::newRow("1 then 1, bytes waiting") << 1 << 1 << false;
    QTest::newRow("1000 then 4000, read waiting") << 1000 << 4000 << true;
    QTest::newRow("4000 then 2, bytes waiting") << 4000 << 2 << false;
}

// The acquisition read hands over what came up to a pause in the stream. The second part is
// sent only after the first read has returned, so the pause is there however slow the machine.
void TestSerialDevice::lineReadEndsAtPause()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(bool, readFirst);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    ProbeDevice device;
    QVERIFY(openOn(device, line));
    Watchdog watchdog(device);
    const QByteArray firstPart = pattern(first, 3);
    const QByteArray secondPart = pattern(second, 5);
    QByteArray buffer(4096, '\0');
    auto readBlock = [&] { return device.readWithLineTimeouts(buffer.data(), buffer.size()); };

    std::future<qint64> reading;
    if (readFirst)
        reading = std::async(std::launch::async, readBlock);
    QVERIFY(line.write(firstPart));
    if (!readFirst) {
        QTRY_COMPARE_WITH_TIMEOUT(line.terminalInputQueued(), first, 30000);
        reading = std::async(std::launch::async, readBlock);
    }
    QCOMPARE(reading.get(), qint64(first));
    QCOMPARE(buffer.left(first), firstPart);

    QVERIFY(line.write(secondPart));
    QByteArray received;
    while (received.size() < second) {
        const qint64 n = readBlock();
        QVERIFY2(n > 0, qPrintable(device.errorString()));
        received.append(buffer.constData(), int(n));
    }
    QCOMPARE(received, secondPart);
    QVERIFY(device.errorString().isNull());
}

void TestSerialDevice::lineReadFullBuffer_data()
{
    QTest::addColumn<int>("buffered");
    QTest::addColumn<int>("maxlen");

    QTest::newRow("4096 of 4096") << 4096 << 4096;
    QTest::newRow("4096 of 10000") << 10000 << 4096;
    QTest::newRow("4096 of 30000") << 30000 << 4096;
    QTest::newRow("10 of 100") << 100 << 10;
    QTest::newRow("1 of 2") << 2 << 1;
}

// With more buffered than asked for, the read returns the requested length without waiting for
// its limit; the rest follows in order.
void TestSerialDevice::lineReadFullBuffer()
{
    QFETCH(int, buffered);
    QFETCH(int, maxlen);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    ProbeDevice device;
    QVERIFY(openOn(device, line));
    Watchdog watchdog(device);
    const QByteArray sent = pattern(buffered, 11);
    // The pseudo-terminal takes about 64 KiB before the terminal side reads; more is sent
    // while the device reads.
    auto writing = std::async(std::launch::async, [&] { return line.write(sent); });
    // The terminal side holds at most 4095 bytes; the rest waits in the driver.
    QTRY_COMPARE_WITH_TIMEOUT(line.terminalInputQueued(), qMin(buffered, 4095), 30000);

    QByteArray buffer(maxlen, '\0');
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(device.readWithLineTimeouts(buffer.data(), maxlen), qint64(maxlen));
    if (maxlen >= 1000)
        QVERIFY2(timer.elapsed() < maxlen / 2, qPrintable(QString::number(timer.elapsed())));
    QByteArray received = buffer;
    while (received.size() < buffered) {
        const qint64 n = device.readWithLineTimeouts(buffer.data(), maxlen);
        QVERIFY2(n > 0, qPrintable(device.errorString()));
        received.append(buffer.constData(), int(n));
    }
    QVERIFY(writing.get());
    QCOMPARE(received, sent);
}

void TestSerialDevice::lineReadSilentLine_data()
{
    QTest::addColumn<int>("maxlen");
    QTest::addColumn<int>("minimumMs");
    QTest::addColumn<bool>("earlierError");

    QTest::newRow("200 bytes") << 200 << 150 << false;
    QTest::newRow("200 bytes, earlier error") << 200 << 150 << true;
    QTest::newRow("50 bytes") << 50 << 40 << false;
}

// A silent line ends the read after about maxlen ms with 0, which is not an error.
void TestSerialDevice::lineReadSilentLine()
{
    QFETCH(int, maxlen);
    QFETCH(int, minimumMs);
    QFETCH(bool, earlierError);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    ProbeDevice device;
    QString text;
    if (earlierError) {
        device.setPortName(QStringLiteral("/dev/vezive-no-such-port"));
        QVERIFY(!device.open(QIODevice::ReadWrite));
        text = device.errorString();
        QVERIFY(!text.isEmpty());
    }
    QVERIFY(openOn(device, line));
    Watchdog watchdog(device);

    QByteArray buffer(maxlen, '\0');
    for (int round = 0; round < 2; ++round) {
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(device.readWithLineTimeouts(buffer.data(), maxlen), qint64(0));
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= minimumMs, qPrintable(QString::number(elapsed)));
        QVERIFY2(elapsed < maxlen + 20000, qPrintable(QString::number(elapsed)));
        QCOMPARE(device.errorString(), text);
        QCOMPARE(device.errorString().isNull(), !earlierError);
    }
}

void TestSerialDevice::hangUp_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("acquisition");
    QTest::addColumn<bool>("blocked");

    const QByteArray bytes("\x7e\x00\xff\r\n", 5);
    QTest::newRow("block read, after the line went") << QByteArray() << false << false;
    QTest::newRow("acquisition read, after the line went") << QByteArray() << true << false;
    QTest::newRow("block read, waiting when the line goes") << QByteArray() << false << true;
    QTest::newRow("acquisition read, waiting when the line goes") << QByteArray() << true << true;
    QTest::newRow("block read, bytes first") << bytes << false << false;
    QTest::newRow("acquisition read, bytes first") << bytes << true << true;
}

// A vanished line is a failure with the system's text, never a silent line.
void TestSerialDevice::hangUp()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, acquisition);
    QFETCH(bool, blocked);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    ProbeDevice device;
    QVERIFY(openOn(device, line));
    Watchdog watchdog(device);
    char buffer[4096];
    auto readBlock = [&] {
        return acquisition ? device.readWithLineTimeouts(buffer, sizeof buffer)
                           : device.readData(buffer, sizeof buffer);
    };

    if (!before.isEmpty()) {
        QVERIFY(line.write(before));
        QByteArray received;
        while (received.size() < before.size()) {
            const qint64 n = readBlock();
            QVERIFY2(n >= 0, qPrintable(device.errorString()));
            received.append(buffer, int(n));
        }
        QCOMPARE(received, before);
    }

    QElapsedTimer timer;
    timer.start();
    std::future<qint64> reading;
    if (blocked)
        reading = std::async(std::launch::async, readBlock);
    line.hangUp();
    if (!blocked)
        reading = std::async(std::launch::async, readBlock);
    QCOMPARE(reading.get(), qint64(-1));
    const QString ioError = QStringLiteral("Input/output error");
    QCOMPARE(device.errorString(), ioError);
    // Well before the acquisition read's own limit: the hang-up ended it, not the time.
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));

    // Every later request fails as well.
    QCOMPARE(readBlock(), qint64(-1));
    QCOMPARE(device.getch(), -1);
    QCOMPARE(device.errorString(), ioError);
    QCOMPARE(device.writeData("x", 1), qint64(-1));
    QCOMPARE(device.putch('x'), -1);
    device.close();
    QVERIFY(!device.isOpen());
}

void TestSerialDevice::requestEndsWithBytesInHand_data()
{
    QTest::addColumn<bool>("hangUp");

    QTest::newRow("the line goes") << true;
    QTest::newRow("cancelled") << false;
}

// A request that has bytes when the line goes or the cancel comes delivers them; the next one
// reports why the line ended.
void TestSerialDevice::requestEndsWithBytesInHand()
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
    QCOMPARE(count, qint64(5));
    QCOMPARE(QByteArray(buffer, 5), bytes);

    QCOMPARE(port.read(buffer, sizeof buffer, count, cancel),
             int(hangUp ? IOBase::Failed : IOBase::CancelledByEvent));
    QCOMPARE(count, qint64(0));
    if (hangUp)
        QCOMPARE(port.lastError(), EIO);
    QCOMPARE(port.close(), 1);
    QCOMPARE(port.close(), 0);
}

void TestSerialDevice::cancelBlockedRequest_data()
{
    QTest::addColumn<int>("request");

    QTest::newRow("block read on a silent line") << int(BlockRead);
    QTest::newRow("acquisition read on a silent line") << int(AcquisitionRead);
    QTest::newRow("write to a line that takes nothing") << int(BlockWrite);
}

// cancel() from another thread ends a blocked request, and every later one returns at once.
void TestSerialDevice::cancelBlockedRequest()
{
    QFETCH(int, request);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    ProbeDevice device;
    QVERIFY(openOn(device, line));
    Watchdog watchdog(device);
    QByteArray buffer(4096, '\0');
    // Far more than the line holds while its other end reads nothing.
    const QByteArray flood(1 << 20, '\x55');

    auto blocked = std::async(std::launch::async, [&]() -> qint64 {
        switch (request) {
        case BlockRead:
            return device.readData(buffer.data(), buffer.size());
        case AcquisitionRead:
            return device.readWithLineTimeouts(buffer.data(), buffer.size());
        default:
            return device.writeData(flood.constData(), flood.size());
        }
    });
    // Gives the request time to block; the outcome is the same if it has not yet.
    QTest::qWait(50);
    QVERIFY(!device.isCancelled());
    device.cancel();
    QVERIFY(device.isCancelled());
    QCOMPARE(blocked.get(), qint64(-1));
    const QString cancelled = QStringLiteral("Operation canceled");
    if (request == BlockWrite)
        QVERIFY(device.errorString().isNull()); // a failed write leaves the text
    else
        QCOMPARE(device.errorString(), cancelled);

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(device.readData(buffer.data(), buffer.size()), qint64(-1));
    QCOMPARE(device.errorString(), cancelled);
    QCOMPARE(device.readWithLineTimeouts(buffer.data(), buffer.size()), qint64(-1));
    QCOMPARE(device.getch(), -1);
    QCOMPARE(device.writeData(flood.constData(), flood.size()), qint64(-1));
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));

    // What has arrived is still handed over: a cancel loses no data.
    if (request != BlockWrite) {
        QVERIFY(line.write("xyz"));
        QTRY_COMPARE_WITH_TIMEOUT(line.terminalInputQueued(), 3, 30000);
        QCOMPARE(device.readData(buffer.data(), buffer.size()), qint64(3));
        QCOMPARE(buffer.left(3), QByteArray("xyz"));
    }
}

void TestSerialDevice::singleBytes_data()
{
    QTest::addColumn<int>("value");

    QTest::newRow("0xFF") << 0xFF;
    QTest::newRow("0x00") << 0x00;
    QTest::newRow("0x80") << 0x80;
    QTest::newRow("carriage return") << 0x0D;
    QTest::newRow("interrupt") << 0x03;
}

void TestSerialDevice::singleBytes()
{
    QFETCH(int, value);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    ProbeDevice device;
    QVERIFY(openOn(device, line));
    Watchdog watchdog(device);
    QVERIFY(device.isOpen());
    QVERIFY(device.isSequential());
    QCOMPARE(device.size(), qint64(0));

    QVERIFY(line.write(QByteArray(1, char(value))));
    QCOMPARE(device.getch(), value);
    QCOMPARE(device.putch(value), value);
    QVERIFY(device.flush());
    QCOMPARE(line.read(1), QByteArray(1, char(value)));
    QVERIFY(device.errorString().isNull());
}

void TestSerialDevice::ungetchWarns_data()
{
    QTest::addColumn<int>("c");
    QTest::addColumn<bool>("open");

    QTest::newRow("0xFF, open") << 0xFF << true;
    QTest::newRow("'A', open") << int('A') << true;
    QTest::newRow("0, closed") << 0 << false;
    QTest::newRow("-1, closed") << -1 << false;
    QTest::newRow("1000, open") << 1000 << true;
}

void TestSerialDevice::ungetchWarns()
{
    QFETCH(int, c);
    QFETCH(bool, open);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    SerialDevice device;
    if (open)
        QVERIFY(openOn(device, line));
    QTest::ignoreMessage(QtWarningMsg, "THIS FUNCTION SHOULDN'T BE CALLED!!!");
    QCOMPARE(device.ungetch(c), -1);
    QCOMPARE(device.isOpen(), open);
}

void TestSerialDevice::withoutPort_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("readText");

    const QString internal = QStringLiteral("Internal error");
    QTest::newRow("never opened") << int(NeverOpened) << internal;
    QTest::newRow("closed") << int(Closed) << internal;
    // The failed port object stays until the next open or close; reads ask it and fail.
    QTest::newRow("open failed") << int(OpenFailed) << QStringLiteral("Bad file descriptor");
}

void TestSerialDevice::withoutPort()
{
    QFETCH(int, state);
    QFETCH(QString, readText);

    PtyEndpoint line;
    QVERIFY2(line.open(), qPrintable(line.errorString()));
    ProbeDevice device;
    QString text;
    if (state == Closed) {
        QVERIFY(openOn(device, line));
        device.close();
    } else if (state == OpenFailed) {
        device.setPortName(QStringLiteral("/dev/vezive-no-such-port"));
        QVERIFY(!device.open(QIODevice::ReadWrite));
        text = device.errorString();
    }
    QVERIFY(!device.isOpen());
    QCOMPARE(device.size(), qint64(0));

    // Writes fail and leave the error text alone.
    QCOMPARE(device.writeData("abc", 3), qint64(-1));
    QCOMPARE(device.putch('a'), -1);
    QVERIFY(!device.flush());
    QCOMPARE(device.errorString(), text);

    char buffer[16];
    QCOMPARE(device.readData(buffer, sizeof buffer), qint64(-1));
    QCOMPARE(device.getch(), -1);
    QCOMPARE(device.readWithLineTimeouts(buffer, sizeof buffer), qint64(-1));
    QCOMPARE(device.errorString(), readText);
    // Nothing reached the line.
    QCOMPARE(line.read(1, 0), QByteArray());
}

void TestSerialDevice::portNotOpen()
{
    IOBase port("/dev/vezive-no-such-port");
    Event cancel;
    char buffer[8];
    qint64 count = -1;
    QVERIFY(!port.isOpen());
    QCOMPARE(port.read(buffer, sizeof buffer, count, cancel), int(IOBase::NotOpen));
    QCOMPARE(count, qint64(0));
    QCOMPARE(port.write("x", 1, cancel), int(IOBase::NotOpen));
    QCOMPARE(port.flush(cancel), 0);
    QCOMPARE(port.close(), 0);

    QVERIFY(!port.open(QStringLiteral("/dev/vezive-no-such-port")));
    QCOMPARE(port.lastError(), ENOENT);
    QVERIFY(!port.isOpen());
    QCOMPARE(port.read(buffer, sizeof buffer, count, cancel), int(IOBase::NotOpen));
    QCOMPARE(port.close(), 0);
}

QTEST_GUILESS_MAIN(TestSerialDevice)
#include "tst_serialdevice.moc"
