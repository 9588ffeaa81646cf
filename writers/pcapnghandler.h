#ifndef PCAPNGHANDLER_H
#define PCAPNGHANDLER_H

#include "writers/tracewriter.h"

#include <QString>

// Writes a pcapng file: a section header naming the tester, the system and the program, one
// interface per channel (RX as interface 0, Sync as 1, named after their timeslots) and an
// enhanced packet block per frame on its channel's interface, stamped as the PCAP writer stamps
// it and marked inbound (RX, the network side) or outbound (Sync, the user side). The header
// blocks are the file header, so a reader at the other end of a FIFO sees the interfaces before
// the first frame.
class PcapngHandler : public TraceWriter
{
public:
    static constexpr quint32 SectionHeaderBlock = 0x0A0D0D0A;
    static constexpr quint32 InterfaceBlock = 1;
    static constexpr quint32 EnhancedPacketBlock = 6;
    static constexpr quint32 ByteOrderMagic = 0x1A2B3C4D;
    static constexpr quint32 SnapshotLength = 65535;
    // epb_flags direction bits
    static constexpr quint32 Inbound = 1;
    static constexpr quint32 Outbound = 2;
    // Enhanced packet block without the packet: 28 bytes before it, epb_flags, the end of the
    // options and the closing length after it.
    static constexpr int PacketBlockOverhead = 28 + 8 + 4 + 4;
    static const char Hardware[];

    PcapngHandler(HdlcHandler* timeReference, const QString& fileName, unsigned short linkType,
                  unsigned short minPacketLength, unsigned char rxTimeslot,
                  unsigned char syncTimeslot);
    void process(QByteArray& data, int len) override;

    static QByteArray fileHeader(unsigned short linkType, unsigned char rxTimeslot,
                                 unsigned char syncTimeslot);
    // The texts of the section header and of an interface (channel 0 RX, 1 Sync).
    static QString userApplication();
    static QString operatingSystem();
    static QString interfaceName(int channel, unsigned char timeslot);
    static QString interfaceDescription(int channel, unsigned char timeslot);

private:
    int m_headerLength; // of the link type's pseudo-header before each frame
};

#endif
