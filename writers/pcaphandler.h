#ifndef PCAPHANDLER_H
#define PCAPHANDLER_H

#include "writers/tracewriter.h"

// Writes every frame of both channels as one record of a libpcap savefile, stamped with the RX
// channel's clock. The file is created by the first frame that arrives. With link type LAPD each
// frame is preceded by its pseudo-header, which tells the channels apart.
class PcapHandler : public TraceWriter
{
public:
    static constexpr quint32 Magic = 0xA1B2C3D4;
    // Larger than any frame the deframer can deliver, so no reader cuts a record short.
    static constexpr quint32 SnapshotLength = 65535;
    static constexpr int GlobalHeaderSize = 24;
    static constexpr int RecordHeaderSize = 16;

    PcapHandler(HdlcHandler* timeReference, const QString& fileName, unsigned short linkType,
                unsigned short minPacketLength);
    void process(QByteArray& data, int len) override;

    static QByteArray globalHeader(unsigned short linkType);

private:
    int m_headerLength; // of the link type's pseudo-header before each frame
};

#endif
