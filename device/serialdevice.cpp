#include "device/serialdevice.h"

#include "device/iobase.h"

#include <cerrno>
#include <cstring>
#include <QCoreApplication>
#include <QtDebug>

SerialDevice::SerialDevice(QObject* parent) : QIODevice(parent), m_opened(false) {}

SerialDevice::~SerialDevice()
{
    // Closed first: a port object destroyed while open would keep the port locked.
    if (m_port)
        m_port->close();
}

bool SerialDevice::open(OpenMode /*mode*/)
{
    if (m_port) {
        m_port->close();
        m_port.reset();
    }
    if (QIODevice::isOpen())
        QIODevice::close();
    m_opened = false;
    if (m_portName.isEmpty())
        return false;

    m_port = std::make_unique<IOBase>(m_portName.toLatin1());
    m_opened = m_port->open(m_portName);
    if (m_opened)
        QIODevice::open(ReadWrite | Unbuffered);
    else
        setErrorFromSystem(m_port->lastError());
    return m_opened;
}

void SerialDevice::close()
{
    if (m_port) {
        m_port->close();
        m_port.reset();
    }
    QIODevice::close();
}

bool SerialDevice::flush()
{
    return m_port && m_port->flush(m_cancel) == 1;
}

int SerialDevice::getch()
{
    char c;
    return readData(&c, 1) == 1 ? int(uchar(c)) : -1;
}

int SerialDevice::putch(int c)
{
    const char byte = char(c);
    return writeData(&byte, 1) == 1 ? c : -1;
}

int SerialDevice::ungetch(int /*c*/)
{
    qWarning("THIS FUNCTION SHOULDN'T BE CALLED!!!");
    return -1;
}

qint64 SerialDevice::readWithLineTimeouts(char* data, qint64 maxlen)
{
    if (!m_port) {
        m_errorText = QCoreApplication::translate("QObject", "Internal error");
        setErrorString(m_errorText);
        return -1;
    }
    // 1 ms between bytes, 1 ms per requested byte: ends at the first pause of the stream, or
    // after about maxlen ms of silence. They stay in force for later reads.
    ReadTimeouts timeouts;
    timeouts.interval = 1;
    timeouts.multiplier = 1;
    timeouts.constant = 0;
    m_port->setReadTimeouts(timeouts);
    return readData(data, maxlen);
}

void SerialDevice::cancel()
{
    m_cancel.set();
}

qint64 SerialDevice::readData(char* data, qint64 maxlen)
{
    if (!m_port)
        return -1;
    qint64 count = 0;
    const int result = m_port->read(data, maxlen, count, m_cancel);
    if (result == IOBase::Completed)
        return count;
    setErrorFromSystem(result == IOBase::CancelledByEvent ? ECANCELED : m_port->lastError());
    return -1;
}

qint64 SerialDevice::writeData(const char* data, qint64 len)
{
    if (!m_port)
        return -1;
    return m_port->write(data, len, m_cancel) == IOBase::Completed ? len : -1;
}

void SerialDevice::setErrorFromSystem(int error)
{
    // The system's text as it is: Linux texts carry no line end.
    m_errorText = QString::fromLocal8Bit(std::strerror(error));
    setErrorString(m_errorText);
}
