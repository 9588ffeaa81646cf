#ifndef I4BHANDLER_H
#define I4BHANDLER_H

#include "writers/tracewriter.h"

// Writes every frame of both channels as one record of an I4B ISDN trace: a 32-byte header of
// little-endian fields, then the frame. The file has no header of its own and is created by the
// first frame long enough to be written.
class I4bHandler : public TraceWriter
{
public:
    static constexpr int RecordHeaderSize = 32;
    static constexpr quint32 DChannel = 1;
    // Direction field: the RX channel is the network side.
    static constexpr quint32 NetworkToUser = 1;
    static constexpr quint32 UserToNetwork = 0;

    I4bHandler(HdlcHandler* timeReference, const QString& fileName, unsigned short minPacketLength);
    void process(QByteArray& data, int len) override;
};

#endif
