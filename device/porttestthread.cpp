#include "device/porttestthread.h"

#include "device/serialdevice.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QTextStream>

namespace {

// The tester's lines as text a log can show: a control character or anything else that is not
// printable appears as an escape, never as itself (a terminal would act on it).
QString printable(const QString& line)
{
    QString out;
    out.reserve(line.size());
    for (const QChar c : line) {
        if (c.isPrint())
            out += c;
        else if (c.unicode() < 0x100)
            out += QString::asprintf("\\x%02x", unsigned(c.unicode()));
        else
            out += QString::asprintf("\\u%04x", unsigned(c.unicode()));
    }
    return out;
}

} // namespace

PortTestThread::PortTestThread(PortTestOwner* owner, QObject* parent)
    : QThread(parent), m_owner(owner), m_device(nullptr), m_cancelled(false), m_failed(false)
{}

PortTestThread::~PortTestThread()
{
    cancel();
    wait();
}

QString PortTestThread::status()
{
    QMutexLocker locker(&m_statusLock);
    return m_statusText;
}

void PortTestThread::setStatus(const QString& text)
{
    QMutexLocker locker(&m_statusLock);
    m_statusText = text;
}

void PortTestThread::cancel()
{
    QMutexLocker locker(&m_statusLock);
    m_cancelled = true;
    if (m_device)
        m_device->cancel();
}

void PortTestThread::log(const QString& line)
{
    QMutexLocker locker(&m_statusLock);
    m_lines.append(line);
}

void PortTestThread::deliverLog()
{
    QStringList lines;
    {
        QMutexLocker locker(&m_statusLock);
        lines.swap(m_lines);
    }
    if (m_owner) {
        for (const QString& line : std::as_const(lines))
            m_owner->logMessage(line);
    }
}

void PortTestThread::run()
{
    if (m_portName.isEmpty()) {
        setStatus(QObject::tr("Port isn't set"));
        return;
    }
    setStatus(QLatin1String(""));

    SerialDevice device;
    device.setPortName(m_portName);
    {
        QMutexLocker locker(&m_statusLock);
        if (m_cancelled)
            return;
        m_device = &device;
    }
    if (!device.open(QIODevice::ReadWrite | QIODevice::Text | QIODevice::Unbuffered)) {
        setStatus(device.errorString());
    } else {
        if (dialogue(device))
            setStatus(QString());
        device.close();
    }
    QMutexLocker locker(&m_statusLock);
    m_device = nullptr;
}

// A request that failed or was cancelled ends the dialogue with the status of its step; going
// on would read lines that never came and pass a silent or vanished tester.
bool PortTestThread::stopped(SerialDevice& device)
{
    return device.isCancelled() || m_failed;
}

bool PortTestThread::dialogue(SerialDevice& device)
{
    QTextStream stream(&device);
    const auto readLine = [&](QString* line) {
        const QString text = stream.readLine();
        if (text.isNull() && !device.isCancelled()) {
            // The device failed (a hang-up, say): say so instead of the step's time-out.
            if (!device.errorString().isEmpty())
                setStatus(device.errorString());
            m_failed = true;
        }
        if (line)
            *line = text;
        return !stopped(device);
    };
    const auto send = [&](const QByteArray& command) {
        stream << command;
        stream.flush();
        device.flush();
        if (stream.status() != QTextStream::Ok)
            m_failed = true;
        return !stopped(device);
    };
    const auto pause = [&]() {
        msleep(CommandPauseMs);
        return !stopped(device);
    };

    m_failed = false;
    setStatus(QObject::tr("Writing timeout"));
    if (!send(QByteArray("\x03"
                         "AT\n")) ||
        !pause())
        return false;

    setStatus(QObject::tr("Reading timeout"));
    for (int i = 0; i < 3; ++i) {
        if (!readLine(nullptr))
            return false;
        device.flush();
    }

    setStatus(QObject::tr("Writing timeout"));
    if (!send(QByteArray("ATI\n")) || !pause())
        return false;

    setStatus(QObject::tr("Reading timeout"));
    QString date;
    for (int i = 0; i < 3; ++i) {
        if (!readLine(&date))
            return false;
    }
    log(QObject::tr("Device found!"));
    log(QObject::tr(" Date: ") + printable(date));
    for (int i = 0; i < 4; ++i) {
        QString line;
        if (!readLine(&line))
            return false;
        log(QLatin1Char(' ') + printable(line));
    }
    for (int i = 0; i < 2; ++i) {
        if (!readLine(nullptr))
            return false;
    }
    return true;
}

bool PortTestThread::runTest(PortTestOwner* owner, const QString& portName, bool showSuccess,
                             int timeLimitMs)
{
    PortTestThread thread(owner);
    thread.setPortName(portName);
    thread.start();
    const bool inTime = thread.wait(QDeadlineTimer(timeLimitMs));
    if (!inTime) {
        // The dialogue is stuck in a request: end it and let the thread close the port itself.
        thread.cancel();
        thread.wait();
    }
    return thread.conclude(inTime, showSuccess);
}

bool PortTestThread::conclude(bool inTime, bool showSuccess)
{
    deliverLog();
    const QString status = this->status();
    if (inTime && status.isEmpty()) {
        if (showSuccess && m_owner)
            m_owner->logMessage(
                QCoreApplication::translate("VarodariDoro", "Port test successful"));
        return true;
    }
    if (m_owner)
        m_owner->logMessage(QCoreApplication::translate("VarodariDoro", "Cannot set ") +
                            m_portName + QLatin1String(": ") + status);
    return false;
}
