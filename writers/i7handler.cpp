#include "writers/i7handler.h"

#include "capture/hdlchandler.h"
#include "writers/littleendian.h"
#include "writers/stathandler.h"

#include <QObject>

I7Handler::I7Handler(HdlcHandler* timeReference, const QString& fileName,
                     unsigned short minPacketLength)
    : m_timeReference(timeReference), m_file(this, fileName, QByteArray(FileHeaderSize, '\0')),
      m_minPacketLength(minPacketLength), m_packetsWritten(0), m_bytesWritten(0)
{}

I7Handler::~I7Handler()
{
    if (!m_file.exists())
        return;
    // The header holds the file length, so it can only be completed now. A file whose writes
    // failed has been cut back to its last whole record; its header states that length.
    m_file.overwriteStart(fileHeader(quint32(m_file.size())));
    postMessage(QString::number(m_packetsWritten) + QLatin1Char(' ') +
                QObject::tr("packets written"));
    postMessage(QString::number(m_bytesWritten) + QLatin1Char(' ') + QObject::tr("bytes written"));
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
    if (m_bytesWritten == 0)
        m_bytesWritten = FileHeaderSize;

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

    ++m_packetsWritten;
    const int recordLength = int(record.size());
    m_bytesWritten += quint32(recordLength);
    countStat(StatHandler::Packets);
    addStat(recordLength, StatHandler::Bytes);
}
