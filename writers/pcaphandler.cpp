#include "writers/pcaphandler.h"

#include "capture/bytecopy.h"
#include "writers/lapdheader.h"
#include "writers/littleendian.h"

PcapHandler::PcapHandler(HdlcHandler* timeReference, const QString& fileName,
                         unsigned short linkType, unsigned short minPacketLength)
    : TraceWriter(timeReference, fileName, globalHeader(linkType), minPacketLength, false),
      m_headerLength(LapdHeader::usedBy(linkType) ? LapdHeader::Size : 0)
{}

QByteArray PcapHandler::globalHeader(unsigned short linkType)
{
    QByteArray header;
    header.reserve(GlobalHeaderSize);
    appendLe32(header, Magic);
    appendLe16(header, 2); // major version
    appendLe16(header, 4); // minor version
    appendLe32(header, 0); // time zone correction
    appendLe32(header, 0); // time stamp accuracy
    appendLe32(header, SnapshotLength);
    appendLe32(header, linkType);
    return header;
}

void PcapHandler::process(QByteArray& data, int len)
{
    if (len <= 0 || !openFile())
        return;
    const quint32 frameLength = quint32(len - 1);
    if (tooShort(int(frameLength)))
        return;

    const quint32 packetLength = quint32(m_headerLength) + frameLength;
    char* record = m_file.beginRecord(RecordHeaderSize + qsizetype(packetLength));
    if (!record)
        return;
    const ChannelClock stamp = clock();
    putLe32(record, stamp.seconds);
    putLe32(record + 4, stamp.microseconds);
    putLe32(record + 8, packetLength);  // captured length
    putLe32(record + 12, packetLength); // length on the line
    if (m_headerLength > 0)
        LapdHeader::put(record + RecordHeaderSize, data.at(0));
    copyFrameBytes(record + RecordHeaderSize + m_headerLength, data.constData() + 1, frameLength);
    m_file.endRecord();
}
