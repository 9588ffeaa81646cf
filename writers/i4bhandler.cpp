#include "writers/i4bhandler.h"

#include "capture/hdlchandler.h"
#include "writers/littleendian.h"


I4bHandler::I4bHandler(HdlcHandler* timeReference, const QString& fileName,
                       unsigned short minPacketLength)
    : m_timeReference(timeReference), m_file(this, fileName, QByteArray()),
      m_minPacketLength(minPacketLength)
{}

I4bHandler::~I4bHandler()
{
    if (!m_file.exists())
        return;
    m_totals.post(*this);
}

void I4bHandler::process(QByteArray& data, int len)
{
    const int frameLength = len - 1;
    // Too short comes first: such frames never create the file.
    if (frameLength < int(m_minPacketLength) || !m_file.openOnce())
        return;

    const ChannelClock& clock = m_timeReference->timestamp();
    const quint32 recordLength = quint32(RecordHeaderSize + frameLength);
    QByteArray record;
    record.reserve(int(recordLength));
    appendLe32(record, recordLength);
    appendLe32(record, 0); // unit
    appendLe32(record, DChannel);
    appendLe32(record, data.at(0) == 0 ? NetworkToUser : UserToNetwork);
    appendLe32(record, 0); // truncated bytes
    appendLe32(record, 0); // frame count
    appendLe32(record, clock.seconds);
    appendLe32(record, clock.microseconds);
    record.append(data.constData() + 1, frameLength);
    // One unbuffered write per record: the file is whole up to the last frame during the run.
    if (!m_file.write(record))
        return;

    m_totals.addRecord(*this, recordLength);
}
