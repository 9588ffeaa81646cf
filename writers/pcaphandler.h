#ifndef PCAPHANDLER_H
#define PCAPHANDLER_H

#include "capture/chainhandler.h"
#include "writers/tracefile.h"
#include "writers/writertotals.h"

class HdlcHandler;

// Writes every frame of both channels as one record of a libpcap savefile, stamped with the RX
// channel's clock. The file is created by the first frame that arrives.
class PcapHandler : public ChainHandler
{
public:
    static constexpr quint32 Magic = 0xA1B2C3D4;
    // Larger than any frame the deframer can deliver, so no reader cuts a record short.
    static constexpr quint32 SnapshotLength = 65535;
    static constexpr int GlobalHeaderSize = 24;
    static constexpr int RecordHeaderSize = 16;

    PcapHandler(HdlcHandler* timeReference, const QString& fileName, unsigned short linkType,
                unsigned short minPacketLength);
    ~PcapHandler() override;
    void process(QByteArray& data, int len) override;

    // The output file, for the run to choose buffering and flush it.
    TraceFile& traceFile() { return m_file; }

    static QByteArray globalHeader(unsigned short linkType);

private:
    HdlcHandler* m_timeReference; // not owned
    WriterTotals m_totals;        // before m_file, which counts into it
    TraceFile m_file;
    unsigned short m_minPacketLength;
};

#endif
