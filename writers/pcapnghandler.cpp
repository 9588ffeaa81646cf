#include "writers/pcapnghandler.h"

#include "capture/bytecopy.h"
#include "writers/lapdheader.h"
#include "writers/littleendian.h"

#include <QCoreApplication>
#include <QSysInfo>

const char PcapngHandler::Hardware[] = "Vezive-V1";

namespace {

enum OptionCode : quint16
{
    EndOfOptions = 0,
    ShbHardware = 2,
    ShbOs = 3,
    ShbUserApplication = 4,
    IfName = 2,
    IfDescription = 3,
    IfTimestampResolution = 9,
    EpbFlags = 2
};

int padding(qsizetype length)
{
    return int((4 - length % 4) % 4);
}

void appendOption(QByteArray& block, quint16 code, const QByteArray& value)
{
    appendLe16(block, code);
    appendLe16(block, quint16(value.size()));
    block += value;
    block.append(padding(value.size()), '\0');
}

// Type, total length, body and the length again; body is the part between the two lengths.
QByteArray block(quint32 type, const QByteArray& body)
{
    QByteArray out;
    const quint32 length = quint32(12 + body.size());
    appendLe32(out, type);
    appendLe32(out, length);
    out += body;
    appendLe32(out, length);
    return out;
}

QByteArray interfaceBlock(unsigned short linkType, int channel, unsigned char timeslot)
{
    QByteArray body;
    appendLe16(body, linkType);
    appendLe16(body, 0); // reserved
    appendLe32(body, PcapngHandler::SnapshotLength);
    appendOption(body, IfName, PcapngHandler::interfaceName(channel, timeslot).toUtf8());
    appendOption(body, IfDescription,
                 PcapngHandler::interfaceDescription(channel, timeslot).toUtf8());
    appendOption(body, IfTimestampResolution, QByteArray(1, 6)); // microseconds
    appendOption(body, EndOfOptions, QByteArray());
    return block(PcapngHandler::InterfaceBlock, body);
}

} // namespace

PcapngHandler::PcapngHandler(HdlcHandler* timeReference, const QString& fileName,
                             unsigned short linkType, unsigned short minPacketLength,
                             unsigned char rxTimeslot, unsigned char syncTimeslot)
    : TraceWriter(timeReference, fileName, fileHeader(linkType, rxTimeslot, syncTimeslot),
                  minPacketLength, false),
      m_headerLength(LapdHeader::usedBy(linkType) ? LapdHeader::Size : 0)
{}

QString PcapngHandler::userApplication()
{
    return QCoreApplication::applicationName() + QLatin1Char(' ') + QLatin1String(VEZIVE_VERSION);
}

QString PcapngHandler::operatingSystem()
{
    return QSysInfo::prettyProductName();
}

QString PcapngHandler::interfaceName(int channel, unsigned char timeslot)
{
    return QLatin1String(channel == 0 ? "rx-ts" : "sync-ts") + QString::number(timeslot);
}

QString PcapngHandler::interfaceDescription(int channel, unsigned char timeslot)
{
    return QLatin1String(Hardware) + QLatin1String(channel == 0 ? " RX" : " Sync") +
           QLatin1String(", timeslot ") + QString::number(timeslot);
}

QByteArray PcapngHandler::fileHeader(unsigned short linkType, unsigned char rxTimeslot,
                                     unsigned char syncTimeslot)
{
    QByteArray body;
    appendLe32(body, ByteOrderMagic);
    appendLe16(body, 1);          // major version
    appendLe16(body, 0);          // minor version
    appendLe32(body, 0xFFFFFFFF); // section length: not given
    appendLe32(body, 0xFFFFFFFF);
    appendOption(body, ShbHardware, QByteArray(Hardware));
    appendOption(body, ShbOs, operatingSystem().toUtf8());
    appendOption(body, ShbUserApplication, userApplication().toUtf8());
    appendOption(body, EndOfOptions, QByteArray());
    return block(SectionHeaderBlock, body) + interfaceBlock(linkType, 0, rxTimeslot) +
           interfaceBlock(linkType, 1, syncTimeslot);
}

void PcapngHandler::process(QByteArray& data, int len)
{
    const int frameLength = len - 1;
    // As in PCAP; the file is there from the start of the run.
    if (len <= 0 || !openFile() || tooShort(frameLength))
        return;

    const int channel = data.at(0) == 0 ? 0 : 1;
    const quint32 packetLength = quint32(m_headerLength + frameLength);
    const int pad = padding(packetLength);
    const quint32 blockLength = quint32(PacketBlockOverhead) + packetLength + quint32(pad);
    char* record = m_file.beginRecord(blockLength);
    if (!record)
        return;
    const ChannelClock stamp = clock();
    const quint64 microseconds = quint64(stamp.seconds) * 1000000u + stamp.microseconds;
    putLe32(record, EnhancedPacketBlock);
    putLe32(record + 4, blockLength);
    putLe32(record + 8, quint32(channel)); // interface
    putLe32(record + 12, quint32(microseconds >> 32));
    putLe32(record + 16, quint32(microseconds));
    putLe32(record + 20, packetLength); // captured length
    putLe32(record + 24, packetLength); // length on the line
    char* packet = record + 28;
    if (m_headerLength > 0)
        LapdHeader::put(packet, channel);
    copyFrameBytes(packet + m_headerLength, data.constData() + 1, size_t(frameLength));
    char* options = packet + packetLength;
    // The padding, up to three bytes: four zeros, the option written over the rest.
    putLe32(options, 0);
    options += pad;
    putLe16(options, EpbFlags);
    putLe16(options + 2, 4);
    putLe32(options + 4, channel == 0 ? Inbound : Outbound);
    putLe32(options + 8, 0); // end of options
    putLe32(options + 12, blockLength);
    m_file.endRecord();
}
