#include "writers/i7handler.h"

#include "capture/bytecopy.h"
#include "writers/littleendian.h"

#include <cstring>

I7Handler::I7Handler(HdlcHandler* timeReference, const QString& fileName,
                     unsigned short minPacketLength)
    : TraceWriter(timeReference, fileName, fileHeader(FileHeaderSize), minPacketLength, true)
{
    // A valid header from the start, its length kept current: a run killed before the end
    // still leaves a file that reads whole up to its last written record.
    m_file.setLengthField(FileLengthOffset);
}

I7Handler::~I7Handler()
{
    if (!m_file.exists() || !frameCame())
        return;
    // The header holds the file length, so it can only be completed now. A file whose writes
    // failed has been cut back to its last whole record; its header states that length.
    m_file.flush();
    m_file.overwriteStart(fileHeader(quint32(m_file.size())));
}

QByteArray I7Handler::fileHeader(quint32 fileLength)
{
    QByteArray header("d7cb");
    appendLe32(header, 0);
    appendLe32(header, 0);
    appendLe32(header, fileLength);
    appendLe32(header, HeaderConstant);
    header.append('\0');
    header.append('\1');
    header.append(FileHeaderSize - header.size(), '\0');
    return header;
}

void I7Handler::process(QByteArray& data, int len)
{
    const int frameLength = len - 1;
    if (tooShort(frameLength) || !openFile())
        return;

    const qsizetype recordSize = RecordHeaderSize + frameLength + ClosingBytes;
    char* record = m_file.beginRecord(recordSize);
    if (!record)
        return;
    const ChannelClock stamp = clock();
    putLe16(record, quint16(frameLength + ClosingBytes));
    record[2] = data.at(0);
    record[3] = '\0';
    putLe32(record + 4, stamp.seconds);
    putLe32(record + 8, stamp.microseconds);
    copyFrameBytes(record + RecordHeaderSize, data.constData() + 1, size_t(frameLength));
    std::memset(record + RecordHeaderSize + frameLength, 0,
                ClosingBytes); // in the place of the FCS
    m_file.endRecord();
}
