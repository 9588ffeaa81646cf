#ifndef WRITERTOTALS_H
#define WRITERTOTALS_H

#include <QtGlobal>

class ChainHandler;

// What a trace writer has written in a run: counted into the statistics record by record, and
// posted as two log lines when the writer goes.
class WriterTotals
{
public:
    // records records of recordBytes bytes in all reached the file.
    void addRecords(ChainHandler& writer, quint64 records, quint64 recordBytes);
    // Bytes written outside any record (a file header); not a statistic.
    void addHeader(quint64 bytes) { m_bytes += bytes; }
    // "N packets written" and "N bytes written".
    void post(ChainHandler& writer) const;

    quint64 packets() const { return m_packets; }
    quint64 bytes() const { return m_bytes; }

private:
    quint64 m_packets = 0;
    quint64 m_bytes = 0;
};

#endif
