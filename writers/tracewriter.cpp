#include "writers/tracewriter.h"

TraceWriter::TraceWriter(HdlcHandler* timeReference, const QString& fileName,
                         const QByteArray& fileHeader, unsigned short minPacketLength,
                         bool headerCounted)
    : m_file(this, &m_totals, fileName, fileHeader), m_timeReference(timeReference),
      m_minPacketLength(minPacketLength), m_countedHeader(headerCounted ? fileHeader.size() : 0)
{}

TraceWriter::~TraceWriter()
{
    if (!m_file.exists())
        return;
    m_file.flush();
    m_totals.post(*this);
}

bool TraceWriter::openFile()
{
    if (!m_file.openOnce())
        return false;
    if (m_countedHeader > 0) {
        m_totals.addHeader(quint32(m_countedHeader));
        m_countedHeader = 0;
    }
    return true;
}
