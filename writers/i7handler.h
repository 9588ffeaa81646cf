#ifndef I7HANDLER_H
#define I7HANDLER_H

#include "writers/tracewriter.h"

// Writes an I7 trace: a 260-byte file header whose length field follows every write and is
// completed when the writer is destroyed, then one record per frame of either channel. A file
// never grows past the 4 GiB the field can state: the trace goes on in a new file instead.
class I7Handler : public TraceWriter
{
public:
    static constexpr int FileHeaderSize = 260;
    static constexpr int RecordHeaderSize = 12;
    static constexpr int ClosingBytes = 2;
    static constexpr quint32 HeaderConstant = 300;
    static constexpr int FileLengthOffset = 12;

    I7Handler(HdlcHandler* timeReference, const QString& fileName, unsigned short minPacketLength);
    ~I7Handler() override;
    void process(QByteArray& data, int len) override;

    static QByteArray fileHeader(quint32 fileLength);
};

#endif
