#include "writers/i4bhandler.h"

#include "capture/hdlchandler.h"
#include "writers/littleendian.h"

#include <cstring>

I4bHandler::I4bHandler(HdlcHandler* timeReference, const QString& fileName,
                       unsigned short minPacketLength)
    : m_timeReference(timeReference), m_file(this, &m_totals, fileName, QByteArray()),
      m_minPacketLength(minPacketLength)
{}

I4bHandler::~I4bHandler()
{
    if (!m_file.exists())
        return;
    m_file.flush();
    m_totals.post(*this);
}

void I4bHandler::process(QByteArray& data, int len)
{
    const int frameLength = len - 1;
    // Too short comes first: such frames never create the file.
    if (frameLength < int(m_minPacketLength) || !m_file.openOnce())
        return;

    const quint32 recordLength = quint32(RecordHeaderSize + frameLength);
    char* record = m_file.beginRecord(recordLength);
    if (!record)
        return;
    const ChannelClock& clock = m_timeReference->timestamp();
    putLe32(record, recordLength);
    putLe32(record + 4, 0); // unit
    putLe32(record + 8, DChannel);
    putLe32(record + 12, data.at(0) == 0 ? NetworkToUser : UserToNetwork);
    putLe32(record + 16, 0); // truncated bytes
    putLe32(record + 20, 0); // frame count
    putLe32(record + 24, clock.seconds);
    putLe32(record + 28, clock.microseconds);
    std::memcpy(record + RecordHeaderSize, data.constData() + 1, size_t(frameLength));
    m_file.endRecord();
}
