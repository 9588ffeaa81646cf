#ifndef I4BHANDLER_H
#define I4BHANDLER_H

#include "capture/chainhandler.h"
#include "writers/tracefile.h"
#include "writers/writertotals.h"

class HdlcHandler;

// Writes every frame of both channels as one record of an I4B ISDN trace: a 32-byte header of
// little-endian fields, then the frame. The file has no header of its own and is created by the
// first frame long enough to be written.
class I4bHandler : public ChainHandler
{
public:
    static constexpr int RecordHeaderSize = 32;
    static constexpr quint32 DChannel = 1;
    // Direction field: the RX channel is the network side.
    static constexpr quint32 NetworkToUser = 1;
    static constexpr quint32 UserToNetwork = 0;

    I4bHandler(HdlcHandler* timeReference, const QString& fileName, unsigned short minPacketLength);
    ~I4bHandler() override;
    void process(QByteArray& data, int len) override;

    // The output file, for the run to choose buffering and flush it.
    TraceFile& traceFile() { return m_file; }

private:
    HdlcHandler* m_timeReference; // not owned
    WriterTotals m_totals;        // before m_file, which counts into it
    TraceFile m_file;
    unsigned short m_minPacketLength;
};

#endif
