#include "writers/i7reader.h"

#include "writers/i7handler.h"
#include "writers/littleendian.h"

#include <QFile>

bool I7Reader::fail(const QString& name, const QString& field, const QString& problem)
{
    m_error = QStringLiteral("%1: not a valid I7 file: %2: %3").arg(name, field, problem);
    m_records.clear();
    return false;
}

bool I7Reader::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = path + QStringLiteral(": ") + file.errorString();
        m_records.clear();
        return false;
    }
    return parse(file.readAll(), path);
}

bool I7Reader::parse(const QByteArray& bytes, const QString& name)
{
    m_records.clear();
    m_error.clear();
    const qint64 size = bytes.size();
    if (size < I7Handler::FileHeaderSize)
        return fail(name, QStringLiteral("file header"),
                    QStringLiteral("%1 bytes, shorter than 260").arg(size));
    const char* header = bytes.constData();
    if (bytes.first(I7Handler::FileHeaderSize).count('\0') == I7Handler::FileHeaderSize)
        return fail(name, QStringLiteral("file header"),
                    QStringLiteral("all zero: the writer never completed it"));
    if (QByteArray(header, 4) != "d7cb")
        return fail(name, QStringLiteral("magic"),
                    QString::fromLatin1(QByteArray(header, 4).toHex()));
    if (readLe32(header + 4) != 0 || readLe32(header + 8) != 0)
        return fail(name, QStringLiteral("reserved bytes 4 to 11"), QStringLiteral("not zero"));
    const quint32 fileLength = readLe32(header + 12);
    if (fileLength != size)
        return fail(name, QStringLiteral("file length"),
                    QStringLiteral("%1, but the file has %2 bytes").arg(fileLength).arg(size));
    if (readLe32(header + 16) != I7Handler::HeaderConstant)
        return fail(name, QStringLiteral("constant at offset 16"),
                    QString::number(readLe32(header + 16)));
    if (header[20] != 0 || header[21] != 1)
        return fail(name, QStringLiteral("flags at offset 20"),
                    QStringLiteral("%1 %2").arg(int(header[20])).arg(int(header[21])));
    for (int i = 22; i < I7Handler::FileHeaderSize; ++i) {
        if (header[i] != 0)
            return fail(name, QStringLiteral("reserved byte %1").arg(i),
                        QStringLiteral("not zero"));
    }

    qint64 offset = I7Handler::FileHeaderSize;
    while (offset < size) {
        const QString field =
            QStringLiteral("record %1 at offset %2").arg(m_records.size() + 1).arg(offset);
        if (size - offset < I7Handler::RecordHeaderSize)
            return fail(name, field, QStringLiteral("header cut short"));
        const char* at = bytes.constData() + offset;
        const int dataLength = readLe16(at);
        if (dataLength < I7Handler::ClosingBytes)
            return fail(name, field, QStringLiteral("data length %1").arg(dataLength));
        if (size - offset - I7Handler::RecordHeaderSize < dataLength)
            return fail(name, field,
                        QStringLiteral("data length %1 runs past the end").arg(dataLength));
        I7Record record;
        record.channel = static_cast<unsigned char>(at[2]);
        if (record.channel > 1 || at[3] != 0)
            return fail(
                name, field,
                QStringLiteral("channel %1, reserved %2").arg(record.channel).arg(int(at[3])));
        record.seconds = readLe32(at + 4);
        record.microseconds = readLe32(at + 8);
        if (record.microseconds >= 1000000)
            return fail(name, field, QStringLiteral("microseconds %1").arg(record.microseconds));
        const int frameLength = dataLength - I7Handler::ClosingBytes;
        record.frame = QByteArray(at + I7Handler::RecordHeaderSize, frameLength);
        if (at[I7Handler::RecordHeaderSize + frameLength] != 0 ||
            at[I7Handler::RecordHeaderSize + frameLength + 1] != 0)
            return fail(name, field, QStringLiteral("closing bytes not zero"));
        m_records.append(record);
        offset += I7Handler::RecordHeaderSize + dataLength;
    }
    return true;
}
