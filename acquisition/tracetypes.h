#ifndef TRACETYPES_H
#define TRACETYPES_H

#include <QList>
#include <QString>

class ChainHandler;
class HdlcHandler;
class TraceFile;

// The trace types, in the order of the window's list and of the number a run is given.
namespace TraceTypes {
enum Index
{
    Raw = 0,
    Pcap = 1,
    Toshiba = 2,
    I4b = 3,
    I7 = 4,
    Loopback = 5,
    Pcapng = 6,
    Count
};
} // namespace TraceTypes

// What a deframing trace type's writer is built from.
struct WriterSetup
{
    HdlcHandler* timeReference; // the RX deframer: its clock stamps both channels' frames
    QString fileName;
    unsigned short linkType;
    unsigned short minPacketLength;
    unsigned char rxTimeslot;
    unsigned char syncTimeslot;
};

// The element behind both deframers, and its output file if it writes one.
struct BuiltWriter
{
    ChainHandler* element = nullptr;
    TraceFile* file = nullptr;
};

// Everything that differs between trace types, one row each.
struct TraceType
{
    TraceTypes::Index index;
    const char* name;      // on the command line and as the window's settings group
    const char* extension; // of the default file name, empty without a file
    bool writesFile;
    bool writesSyncFile; // a second file for the Sync channel
    bool usesLinkType;
    bool usesMinLength;
    // Null for Raw, which taps the channels' octets instead of deframing them.
    BuiltWriter (*buildWriter)(const WriterSetup& setup);
    // The writer completes its file header at the end: the file cannot be a pipe.
    bool seeksBack = false;
};

// The row of a trace type number, null outside the table.
const TraceType* traceType(int index);
// The row of a command-line name, null if there is none.
const TraceType* traceTypeNamed(const QString& name);
const QList<TraceType>& traceTypes();

// PCAP link-layer header types the writers offer: the number of a name, -1 for a name the table
// does not have, and the names ordered as the window lists them.
int linkTypeNumber(const QString& name);
QStringList linkTypeNames();
extern const char DefaultLinkTypeName[];

#endif
