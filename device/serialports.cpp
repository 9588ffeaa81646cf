#include "device/serialports.h"

#include <algorithm>
#include <fcntl.h>
#include <linux/serial.h>
#include <QDir>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

namespace {

// ttyUSB2 before ttyUSB10: by the name without its trailing number, then by the number. (A
// collator's numeric mode depends on the locale the program runs under.)
QStringList sortedNaturally(QStringList names)
{
    const auto split = [](const QString& name) {
        qsizetype digits = name.size();
        while (digits > 0 && name.at(digits - 1).isDigit())
            --digits;
        return std::make_pair(name.left(digits), name.mid(digits).toULongLong());
    };
    std::sort(names.begin(), names.end(),
              [&split](const QString& a, const QString& b) { return split(a) < split(b); });
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
