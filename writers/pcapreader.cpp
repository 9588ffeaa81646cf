#include "writers/pcapreader.h"

#include <QFile>

namespace {

constexpr quint32 MicrosecondMagic = 0xA1B2C3D4;
constexpr quint32 NanosecondMagic = 0xA1B23C4D;

quint32 readU32(const char* at, bool bigEndian)
{
    const auto* p = reinterpret_cast<const unsigned char*>(at);
    if (bigEndian)
        return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

quint16 readU16(const char* at, bool bigEndian)
{
    const auto* p = reinterpret_cast<const unsigned char*>(at);
    return bigEndian ? quint16((p[0] << 8) | p[1]) : quint16(p[0] | (p[1] << 8));
}

QString hex32(quint32 value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}

} // namespace

bool PcapReader::fail(const QString& name, const QString& field, const QString& problem)
{
    m_error = QStringLiteral("%1: not a valid PCAP file: %2: %3").arg(name, field, problem);
    m_records.clear();
    return false;
}

bool PcapReader::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return parse(file.readAll(), path);
}

bool PcapReader::parse(const QByteArray& bytes, const QString& name)
{
    m_records.clear();
    m_error.clear();
    const char* data = bytes.constData();
    const qint64 size = bytes.size();
    if (size < GlobalHeaderSize)
        return fail(name, QStringLiteral("file header"),
                    QStringLiteral("%1 bytes, shorter than the 24-byte header").arg(size));

    // The magic as written by the file's creator tells its byte order and time resolution.
    const quint32 asLittle = readU32(data, false);
    const quint32 asBig = readU32(data, true);
    if (asLittle == MicrosecondMagic || asLittle == NanosecondMagic) {
        m_bigEndian = false;
        m_nanoseconds = asLittle == NanosecondMagic;
    } else if (asBig == MicrosecondMagic || asBig == NanosecondMagic) {
        m_bigEndian = true;
        m_nanoseconds = asBig == NanosecondMagic;
    } else {
        return fail(name, QStringLiteral("magic number"),
                    QStringLiteral("%1 is none of a1b2c3d4 or a1b23c4d in either byte order")
                        .arg(hex32(asBig)));
    }
    const quint16 major = readU16(data + 4, m_bigEndian);
    const quint16 minor = readU16(data + 6, m_bigEndian);
    if (major != 2)
        return fail(name, QStringLiteral("version"),
                    QStringLiteral("%1.%2, expected 2.x").arg(major).arg(minor));
    m_snapshotLength = readU32(data + 16, m_bigEndian);
    m_linkType = readU32(data + 20, m_bigEndian) & 0x0FFFFFFF; // upper bits: FCS flags

    const quint32 fractionLimit = m_nanoseconds ? 1000000000u : 1000000u;
    qint64 at = GlobalHeaderSize;
    for (int record = 1; at < size; ++record) {
        const QString where = QStringLiteral("record %1").arg(record);
        if (size - at < RecordHeaderSize)
            return fail(name, where + QStringLiteral(" header"),
                        QStringLiteral("cut short after %1 of 16 bytes").arg(size - at));
        const quint32 fraction = readU32(data + at + 4, m_bigEndian);
        const quint32 captured = readU32(data + at + 8, m_bigEndian);
        const quint32 original = readU32(data + at + 12, m_bigEndian);
        if (fraction >= fractionLimit)
            return fail(name, where + QStringLiteral(" time stamp fraction"),
                        QStringLiteral("%1 is not below %2").arg(fraction).arg(fractionLimit));
        if (captured > MaxRecordLength)
            return fail(name, where + QStringLiteral(" captured length"),
                        QStringLiteral("%1 exceeds %2").arg(captured).arg(MaxRecordLength));
        if (original < captured)
            return fail(name, where + QStringLiteral(" original length"),
                        QStringLiteral("%1 is less than the captured length %2")
                            .arg(original)
                            .arg(captured));
        at += RecordHeaderSize;
        if (size - at < qint64(captured))
            return fail(name, where + QStringLiteral(" data"),
                        QStringLiteral("%1 of %2 bytes present").arg(size - at).arg(captured));
        m_records.append({readU32(data + at - RecordHeaderSize, m_bigEndian), fraction, original,
                          bytes.mid(at, captured)});
        at += captured;
    }
    return true;
}

QList<QByteArray> PcapReader::frames() const
{
    QList<QByteArray> out;
    out.reserve(m_records.size());
    for (const PcapRecord& record : m_records)
        out.append(record.data);
    return out;
}
