#include "writers/pcaphandler.h"

#include "capture/hdlchandler.h"
#include "writers/littleendian.h"


PcapHandler::PcapHandler(HdlcHandler* timeReference, const QString& fileName,
                         unsigned short linkType, unsigned short minPacketLength)
    : m_timeReference(timeReference), m_file(this, fileName, globalHeader(linkType)),
      m_minPacketLength(minPacketLength)
{}

PcapHandler::~PcapHandler()
{
    if (!m_file.exists())
        return;
    m_totals.post(*this);
}

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
    if (len <= 0 || !m_file.openOnce())
        return;
    const quint32 frameLength = quint32(len - 1);
    if (frameLength < m_minPacketLength)
        return;

    const ChannelClock& clock = m_timeReference->timestamp();
    QByteArray record;
    record.reserve(RecordHeaderSize + int(frameLength));
    appendLe32(record, clock.seconds);
    appendLe32(record, clock.microseconds);
    appendLe32(record, frameLength); // captured length
    appendLe32(record, frameLength); // length on the line
    record.append(data.constData() + 1, int(frameLength));
    if (!m_file.write(record))
        return;

    m_totals.addRecord(*this, frameLength + RecordHeaderSize);
}
