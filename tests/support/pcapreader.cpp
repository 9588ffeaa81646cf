#include "pcapreader.h"

#include "writers/littleendian.h"

#include <QFile>
#include <QSet>

PcapFile PcapFile::read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        PcapFile failed;
        failed.error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return failed;
    }
    return parse(file.readAll());
}

PcapFile PcapFile::parse(const QByteArray& bytes)
{
    PcapFile out;
    const char* p = bytes.constData();
    if (bytes.size() < 24) {
        out.error = QStringLiteral("PCAP: global header cut short");
        return out;
    }
    if (readLe32(p) != 0xA1B2C3D4u)
        out.error = QStringLiteral("PCAP: bad magic");
    else if (readLe16(p + 4) != 2 || readLe16(p + 6) != 4)
        out.error = QStringLiteral("PCAP: bad version");
    else if (readLe32(p + 8) != 0 || readLe32(p + 12) != 0)
        out.error = QStringLiteral("PCAP: time zone or accuracy not zero");
    if (!out.error.isEmpty())
        return out;
    out.snapshotLength = readLe32(p + 16);
    out.linkType = readLe32(p + 20);
    qsizetype at = 24;
    while (at < bytes.size()) {
        if (bytes.size() - at < 16) {
            out.error = QStringLiteral("PCAP: record header cut short at %1").arg(at);
            return out;
        }
        PcapRecord record;
        record.seconds = readLe32(p + at);
        record.microseconds = readLe32(p + at + 4);
        const quint32 included = readLe32(p + at + 8);
        record.originalLength = readLe32(p + at + 12);
        if (record.microseconds >= 1000000u) {
            out.error = QStringLiteral("PCAP: microseconds out of range at %1").arg(at);
            return out;
        }
        if (included != record.originalLength || included > out.snapshotLength) {
            out.error = QStringLiteral("PCAP: bad record length at %1").arg(at);
            return out;
        }
        at += 16;
        if (bytes.size() - at < qsizetype(included)) {
            out.error = QStringLiteral("PCAP: record data cut short at %1").arg(at);
            return out;
        }
        record.data = bytes.mid(at, included);
        at += included;
        out.records.append(record);
    }
    return out;
}

QList<QByteArray> PcapFile::frames() const
{
    QList<QByteArray> out;
    for (const PcapRecord& record : records)
        out.append(record.data);
    return out;
}

bool isInterleaving(const QList<QByteArray>& merged, const QList<QByteArray>& a,
                    const QList<QByteArray>& b, bool prefixes)
{
    if (prefixes ? merged.size() > a.size() + b.size() : merged.size() != a.size() + b.size())
        return false;
    // The positions in a still possible after each merged frame (the position in b follows).
    QSet<qsizetype> reachable{0};
    for (qsizetype k = 0; k < merged.size(); ++k) {
        QSet<qsizetype> next;
        for (qsizetype i : std::as_const(reachable)) {
            const qsizetype j = k - i;
            if (i < a.size() && a[i] == merged[k])
                next.insert(i + 1);
            if (j < b.size() && b[j] == merged[k])
                next.insert(i);
        }
        if (next.isEmpty())
            return false;
        reachable.swap(next);
    }
    return true;
}
