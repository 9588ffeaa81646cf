#ifndef PCAPREADER_H
#define PCAPREADER_H

#include <QByteArray>
#include <QList>
#include <QString>

// One record of a savefile: its time stamp (the fraction in micro- or nanoseconds, as the file
// says), the length on the wire and the bytes captured.
struct PcapRecord
{
    quint32 seconds = 0;
    quint32 fraction = 0;
    quint32 originalLength = 0;
    QByteArray data;
};

// Reads a libpcap savefile: the simulated tester sends its records as frames, and the tests read
// back what the writer made. Both byte orders and both time stamp resolutions are read; anything
// that is not a well-formed savefile is refused with a message that names the file and the field
// at fault.
class PcapReader
{
public:
    static constexpr int GlobalHeaderSize = 24;
    static constexpr int RecordHeaderSize = 16;
    // libpcap's own upper bound on a record; anything longer is garbage.
    static constexpr quint32 MaxRecordLength = 262144;

    // False with error() set when the file cannot be read or is not a savefile.
    bool load(const QString& path);
    // The same checks on bytes already in memory; name is used in messages.
    bool parse(const QByteArray& bytes, const QString& name);

    const QList<PcapRecord>& records() const { return m_records; }
    // The records' bytes, in file order.
    QList<QByteArray> frames() const;
    bool nanosecondStamps() const { return m_nanoseconds; }
    bool bigEndian() const { return m_bigEndian; }
    quint32 snapshotLength() const { return m_snapshotLength; }
    quint32 linkType() const { return m_linkType; }
    QString error() const { return m_error; }

private:
    bool fail(const QString& name, const QString& field, const QString& problem);

    QList<PcapRecord> m_records;
    bool m_nanoseconds = false;
    bool m_bigEndian = false;
    quint32 m_snapshotLength = 0;
    quint32 m_linkType = 0;
    QString m_error;
};

#endif
