#ifndef PCAPFRAMES_H
#define PCAPFRAMES_H

#include <QByteArray>
#include <QList>
#include <QString>

// The records of a libpcap savefile, taken as frames to send. Both byte orders and both time
// stamp resolutions are read; anything that is not a well-formed savefile is refused with a
// message that names the file and the field at fault.
class PcapFrames
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

    const QList<QByteArray>& frames() const { return m_frames; }
    bool nanosecondStamps() const { return m_nanoseconds; }
    bool bigEndian() const { return m_bigEndian; }
    quint32 linkType() const { return m_linkType; }
    QString error() const { return m_error; }

private:
    bool fail(const QString& name, const QString& field, const QString& problem);

    QList<QByteArray> m_frames;
    bool m_nanoseconds = false;
    bool m_bigEndian = false;
    quint32 m_linkType = 0;
    QString m_error;
};

#endif
