#ifndef SERIALPORTS_H
#define SERIALPORTS_H

#include <QStringList>

// The serial devices present, for a user to choose from: the stable names under
// /dev/serial/by-id first, then ttyUSB*, ttyACM* and the ttyS* that have a UART behind them
// (the kernel makes ttyS0 to ttyS31 whether or not one is there), each list in natural order.
QStringList serialPorts(const QString& devDirectory = QStringLiteral("/dev"));

#endif
