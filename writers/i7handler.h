#ifndef I7HANDLER_H
#define I7HANDLER_H

#include "writers/tracewriter.h"

// Writes an I7 trace: a 260-byte file header, left zero while the run goes on and completed with
// the file length when the writer is destroyed, then one record per frame of either channel.
// The file is created by the first frame long enough to be written.
class I7Handler : public TraceWriter
{
public:
    static constexpr int FileHeaderSize = 260;
    static constexpr int RecordHeaderSize = 12;
    static constexpr int ClosingBytes = 2;
    static constexpr quint32 HeaderConstant = 300;

    I7Handler(HdlcHandler* timeReference, const QString& fileName, unsigned short minPacketLength);
    ~I7Handler() override;
    void process(QByteArray& data, int len) override;

    static QByteArray fileHeader(quint32 fileLength);
};

#endif
