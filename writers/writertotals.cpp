#include "writers/writertotals.h"

#include "capture/chainhandler.h"
#include "capture/stathandler.h"

#include <QObject>

void WriterTotals::addRecords(ChainHandler& writer, quint64 records, quint64 recordBytes)
{
    m_packets += records;
    m_bytes += recordBytes;
    writer.addStat(records, StatHandler::Packets);
    writer.addStat(recordBytes, StatHandler::Bytes);
}

void WriterTotals::post(ChainHandler& writer) const
{
    writer.postMessage(QString::number(m_packets) + QLatin1Char(' ') +
                       QObject::tr("packets written"));
    writer.postMessage(QString::number(m_bytes) + QLatin1Char(' ') + QObject::tr("bytes written"));
}
