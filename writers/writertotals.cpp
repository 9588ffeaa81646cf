#include "writers/writertotals.h"

#include "capture/chainhandler.h"
#include "capture/stathandler.h"

#include <QObject>

void WriterTotals::addRecords(ChainHandler& writer, quint32 records, quint32 recordBytes)
{
    m_packets += records;
    m_bytes += recordBytes;
    writer.addStat(int(records), StatHandler::Packets);
    writer.addStat(int(recordBytes), StatHandler::Bytes);
}

void WriterTotals::post(ChainHandler& writer) const
{
    writer.postMessage(QString::number(m_packets) + QLatin1Char(' ') +
                       QObject::tr("packets written"));
    writer.postMessage(QString::number(m_bytes) + QLatin1Char(' ') + QObject::tr("bytes written"));
}
