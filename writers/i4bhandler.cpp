#include "writers/i4bhandler.h"

#include "capture/bytecopy.h"
#include "writers/littleendian.h"

I4bHandler::I4bHandler(HdlcHandler* timeReference, const QString& fileName,
                       unsigned short minPacketLength)
    : TraceWriter(timeReference, fileName, QByteArray(), minPacketLength, false)
{}

void I4bHandler::process(QByteArray& data, int len)
{
    const int frameLength = len - 1;
    // Too short comes first: such frames never create the file.
    if (tooShort(frameLength) || !openFile())
        return;

    const quint32 recordLength = quint32(RecordHeaderSize + frameLength);
    char* record = m_file.beginRecord(recordLength);
    if (!record)
        return;
    const ChannelClock stamp = clock();
    putLe32(record, recordLength);
    putLe32(record + 4, 0); // unit
    putLe32(record + 8, DChannel);
    putLe32(record + 12, data.at(0) == 0 ? NetworkToUser : UserToNetwork);
    putLe32(record + 16, 0); // truncated bytes
    putLe32(record + 20, 0); // frame count
    putLe32(record + 24, stamp.seconds);
    putLe32(record + 28, stamp.microseconds);
    copyFrameBytes(record + RecordHeaderSize, data.constData() + 1, size_t(frameLength));
    m_file.endRecord();
}
