#include "device/serialports.h"

#include <algorithm>
#include <fcntl.h>
#include <linux/serial.h>
#include <QCollator>
#include <QDir>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QStringList sortedNaturally(QStringList names)
{
    QCollator collator;
    collator.setNumericMode(true);
    std::sort(names.begin(), names.end(), collator);
    return names;
}

// Whether a built-in serial port has a UART: the driver reports an unknown type otherwise.
bool hasUart(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    serial_struct info = {};
    const bool present = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return present;
}

QStringList devicesIn(const QDir& dir, const QStringList& patterns)
{
    QStringList paths;
    for (const QString& name : sortedNaturally(
             dir.entryList(patterns, QDir::System | QDir::Files | QDir::NoDotAndDotDot)))
        paths.append(dir.filePath(name));
    return paths;
}

} // namespace

QStringList serialPorts(const QString& devDirectory)
{
    const QDir dev(devDirectory);
    QStringList ports = devicesIn(QDir(dev.filePath(QStringLiteral("serial/by-id"))), {"*"});
    ports += devicesIn(dev, {QStringLiteral("ttyUSB*")});
    ports += devicesIn(dev, {QStringLiteral("ttyACM*")});
    for (const QString& path : devicesIn(dev, {QStringLiteral("ttyS*")})) {
        if (hasUart(path))
            ports.append(path);
    }
    return ports;
}
