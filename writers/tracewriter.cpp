#include "writers/tracewriter.h"

TraceWriter::TraceWriter(HdlcHandler* timeReference, const QString& fileName,
                         const QByteArray& fileHeader, unsigned short minPacketLength,
                         bool headerCounted)
    : m_file(this, &m_totals, fileName, fileHeader), m_timeReference(timeReference),
      m_minPacketLength(minPacketLength), m_countedHeader(headerCounted ? fileHeader.size() : 0)
{
    m_file.setClock(timeReference);
}

TraceWriter::~TraceWriter()
{
    if (!m_file.exists())
        return;
    m_file.flush();
    if (!m_frameCame && m_file.removeIfRegular())
        return;
    // A header the disk refused is not counted.
    m_totals.addHeader(quint64(m_countedHeader) * quint64(m_file.headersWritten()));
    m_totals.post(*this);
}
