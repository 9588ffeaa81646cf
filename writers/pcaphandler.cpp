#include "writers/pcaphandler.h"

#include "capture/hdlchandler.h"
#include "writers/littleendian.h"

#include <cstring>

PcapHandler::PcapHandler(HdlcHandler* timeReference, const QString& fileName,
                         unsigned short linkType, unsigned short minPacketLength)
    : m_timeReference(timeReference), m_file(this, &m_totals, fileName, globalHeader(linkType)),
      m_minPacketLength(minPacketLength)
{}

PcapHandler::~PcapHandler()
{
    if (!m_file.exists())
        return;
    m_file.flush();
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

    char* record = m_file.beginRecord(RecordHeaderSize + qsizetype(frameLength));
    if (!record)
        return;
    const ChannelClock& clock = m_timeReference->timestamp();
    putLe32(record, clock.seconds);
    putLe32(record + 4, clock.microseconds);
    putLe32(record + 8, frameLength);  // captured length
    putLe32(record + 12, frameLength); // length on the line
    std::memcpy(record + RecordHeaderSize, data.constData() + 1, frameLength);
    m_file.endRecord();
}
