#include "writers/i7handler.h"

#include "capture/hdlchandler.h"
#include "writers/littleendian.h"


I7Handler::I7Handler(HdlcHandler* timeReference, const QString& fileName,
                     unsigned short minPacketLength)
    : m_timeReference(timeReference), m_file(this, fileName, QByteArray(FileHeaderSize, '\0')),
      m_minPacketLength(minPacketLength)
{}

I7Handler::~I7Handler()
{
    if (!m_file.exists())
        return;
    // The header holds the file length, so it can only be completed now. A file whose writes
    // failed has been cut back to its last whole record; its header states that length.
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

    const ChannelClock& clock = m_timeReference->timestamp();
    QByteArray record;
    record.reserve(RecordHeaderSize + frameLength + ClosingBytes);
    appendLe16(record, quint16(frameLength + ClosingBytes));
    record.append(data.at(0));
    record.append('\0');
    appendLe32(record, clock.seconds);
    appendLe32(record, clock.microseconds);
    record.append(data.constData() + 1, frameLength);
    record.append(ClosingBytes, '\0'); // in the place of the FCS
    if (!m_file.write(record))
        return;

    m_totals.addRecord(*this, quint32(record.size()));
}
