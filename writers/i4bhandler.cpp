#include "writers/i4bhandler.h"

#include "capture/hdlchandler.h"
#include "writers/littleendian.h"
#include "writers/stathandler.h"

#include <QObject>

I4bHandler::I4bHandler(HdlcHandler* timeReference, const QString& fileName,
                       unsigned short minPacketLength)
    : m_timeReference(timeReference), m_file(this, fileName, QByteArray()),
      m_minPacketLength(minPacketLength), m_packetsWritten(0), m_bytesWritten(0)
{}

I4bHandler::~I4bHandler()
{
    if (!m_file.exists())
        return;
    postMessage(QString::number(m_packetsWritten) + QLatin1Char(' ') +
                QObject::tr("packets written"));
    postMessage(QString::number(m_bytesWritten) + QLatin1Char(' ') + QObject::tr("bytes written"));
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

    ++m_packetsWritten;
    m_bytesWritten += recordLength;
    countStat(StatHandler::Packets);
    addStat(int(recordLength), StatHandler::Bytes);
}
