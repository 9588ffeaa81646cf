#ifndef PCAPREADER_H
#define PCAPREADER_H

#include <QByteArray>
#include <QList>
#include <QString>

// A little-endian microsecond libpcap savefile read back for checks; every header field and
// record length is checked and a fault named in error.
struct PcapRecord
{
    quint32 seconds = 0;
    quint32 microseconds = 0;
    quint32 originalLength = 0;
    QByteArray data;
};

struct PcapFile
{
    QString error;
    quint32 linkType = 0;
    quint32 snapshotLength = 0;
    QList<PcapRecord> records;

    static PcapFile read(const QString& path);
    static PcapFile parse(const QByteArray& bytes);
    QList<QByteArray> frames() const;
};

// Whether merged is some interleaving of a and b that keeps the order within each; with
// prefixes, of the first frames of a and b (what a receiver holds when the line went away).
bool isInterleaving(const QList<QByteArray>& merged, const QList<QByteArray>& a,
                    const QList<QByteArray>& b, bool prefixes = false);

#endif
