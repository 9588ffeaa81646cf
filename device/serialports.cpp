#include "device/serialports.h"

#include <algorithm>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
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

// Whether a built-in serial port has a UART: the kernel tells its type in sysfs, 0 for none.
// Read there rather than by opening the port, which would raise its modem lines.
bool hasUart(const QString& path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISCHR(status.st_mode))
        return false;
    QFile type(QStringLiteral("/sys/class/tty/") + QFileInfo(path).fileName() +
               QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const int uart = type.readAll().trimmed().toInt(&ok);
    return ok && uart != 0;
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
