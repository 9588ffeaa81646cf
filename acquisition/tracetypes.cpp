#include "acquisition/tracetypes.h"

#include "writers/i4bhandler.h"
#include "writers/i7handler.h"
#include "writers/lapdheader.h"
#include "writers/loopbackhandler.h"
#include "writers/pcaphandler.h"
#include "writers/pcapnghandler.h"
#include "writers/toshibahandler.h"

const char DefaultLinkTypeName[] = "ISDN";

namespace {

template <typename Writer> BuiltWriter buildFileWriter(Writer* writer)
{
    return {writer, &writer->traceFile()};
}

BuiltWriter buildPcap(const WriterSetup& s)
{
    return buildFileWriter(
        new PcapHandler(s.timeReference, s.fileName, s.linkType, s.minPacketLength));
}

BuiltWriter buildPcapng(const WriterSetup& s)
{
    return buildFileWriter(new PcapngHandler(s.timeReference, s.fileName, s.linkType,
                                             s.minPacketLength, s.rxTimeslot, s.syncTimeslot));
}

BuiltWriter buildToshiba(const WriterSetup& s)
{
    return buildFileWriter(new ToshibaHandler(s.timeReference, s.fileName, s.minPacketLength));
}

BuiltWriter buildI4b(const WriterSetup& s)
{
    return buildFileWriter(new I4bHandler(s.timeReference, s.fileName, s.minPacketLength));
}

BuiltWriter buildI7(const WriterSetup& s)
{
    return buildFileWriter(new I7Handler(s.timeReference, s.fileName, s.minPacketLength));
}

BuiltWriter buildLoopback(const WriterSetup& s)
{
    return {new LoopbackHandler(s.linkType, s.minPacketLength), nullptr};
}

struct LinkType
{
    const char* name;
    unsigned short number;
};

const LinkType LinkTypes[] = {
    {"ISDN", 147}, {"NULL", 0}, {"SS7/MTP2", 140}, {"LAPD", LapdHeader::LinkType}};

} // namespace

const QList<TraceType>& traceTypes()
{
    using namespace TraceTypes;
    // name, extension, file, sync file, link type, min. length, writer, seeks back
    static const QList<TraceType> table{
        {Raw, "raw", "raw", true, true, false, false, nullptr},
        {Pcap, "pcap", "pcap", true, false, true, true, buildPcap},
        {Toshiba, "toshiba", "txt", true, false, false, true, buildToshiba},
        {I4b, "i4b", "i4b", true, false, false, true, buildI4b},
        {I7, "i7", "i7", true, false, false, true, buildI7, true},
        {Loopback, "loopback", "", false, false, true, true, buildLoopback},
        {Pcapng, "pcapng", "pcapng", true, false, true, true, buildPcapng},
    };
    return table;
}

const TraceType* traceType(int index)
{
    const QList<TraceType>& table = traceTypes();
    return index >= 0 && index < table.size() ? &table[index] : nullptr;
}

const TraceType* traceTypeNamed(const QString& name)
{
    for (const TraceType& type : traceTypes()) {
        if (name == QLatin1String(type.name))
            return &type;
    }
    return nullptr;
}

int linkTypeNumber(const QString& name)
{
    for (const LinkType& type : LinkTypes) {
        if (name == QLatin1String(type.name))
            return type.number;
    }
    return -1;
}

QStringList linkTypeNames()
{
    QStringList names;
    for (const LinkType& type : LinkTypes)
        names.append(QLatin1String(type.name));
    return names;
}
