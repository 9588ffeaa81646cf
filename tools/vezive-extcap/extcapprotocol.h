#ifndef EXTCAPPROTOCOL_H
#define EXTCAPPROTOCOL_H

#include "acquisition/runsettings.h"

#include <QString>
#include <QStringList>

// Wireshark's side of vezive-extcap: what it asks for (its extcap calls) and the answers that
// describe the one interface, its link type and its options.
struct ExtcapRequest
{
    enum Kind
    {
        Help,
        Version,
        Interfaces,
        Dlts,
        Config,
        Capture
    };

    Kind kind = Help;
    RunSettings run; // a capture's settings, pcapng into the FIFO
    QString error;   // the arguments cannot be served
};

namespace Extcap {
extern const char InterfaceName[];
extern const char DefaultLinkType[];
constexpr unsigned char DefaultRxTimeslot = 1;
constexpr unsigned char DefaultSyncTimeslot = 16;

ExtcapRequest parse(const QStringList& arguments);
QString interfaces();
QString dlts();
// The options Wireshark shows, offering the serial ports given.
QString config(const QStringList& serialPorts);
QString usage();
} // namespace Extcap

#endif
