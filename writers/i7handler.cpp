#include "writers/i7handler.h"

#include "capture/hdlchandler.h"
#include "writers/littleendian.h"

#include <cstring>

I7Handler::I7Handler(HdlcHandler* timeReference, const QString& fileName,
                     unsigned short minPacketLength)
    : m_timeReference(timeReference),
      m_file(this, &m_totals, fileName, QByteArray(FileHeaderSize, '\0')),
      m_minPacketLength(minPacketLength)
{}

I7Handler::~I7Handler()
{
    if (!m_file.exists())
        return;
    // The header holds the file length, so it can only be completed now. A file whose writes
    // failed has been cut back to its last whole record; its header states that length.
    m_file.flush();
    m_file.overwriteStart(fileHeader(quint32(m_file.size())));
    m_totals.post(*this);
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
    if (frameLength < int(m_minPacketLength) || !m_file.openOnce())
        return;
    if (m_totals.bytes() == 0)
        m_totals.addHeader(FileHeaderSize);

    const qsizetype recordSize = RecordHeaderSize + frameLength + ClosingBytes;
    char* record = m_file.beginRecord(recordSize);
    if (!record)
        return;
    const ChannelClock& clock = m_timeReference->timestamp();
    putLe16(record, quint16(frameLength + ClosingBytes));
    record[2] = data.at(0);
    record[3] = '\0';
    putLe32(record + 4, clock.seconds);
    putLe32(record + 8, clock.microseconds);
    std::memcpy(record + RecordHeaderSize, data.constData() + 1, size_t(frameLength));
    std::memset(record + RecordHeaderSize + frameLength, 0,
                ClosingBytes); // in the place of the FCS
    m_file.endRecord();
}
