#ifndef FUZZINPUT_H
#define FUZZINPUT_H

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// Reads the fixed fields at the front of a fuzz input. Fields past the end of a short input read
// as zero, so every input, however short, decodes to something.
class ByteReader
{
public:
    ByteReader(const char* data, qsizetype size) : m_data(data), m_size(size), m_at(0) {}

    quint8 u8()
    {
        if (m_at >= m_size) {
            m_at = m_size;
            return 0;
        }
        return static_cast<quint8>(m_data[m_at++]);
    }
    quint16 le16()
    {
        const quint16 low = u8();
        return quint16(low | (quint16(u8()) << 8));
    }
    quint32 le32()
    {
        const quint32 low = le16();
        return low | (quint32(le16()) << 16);
    }
    // Everything not read yet.
    QByteArray rest() const { return QByteArray(m_data + m_at, m_size - m_at); }

private:
    const char* m_data;
    qsizetype m_size;
    qsizetype m_at;
};

inline void putLe16(QByteArray& out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

inline void putLe32(QByteArray& out, quint32 value)
{
    putLe16(out, quint16(value & 0xFFFF));
    putLe16(out, quint16(value >> 16));
}

// Block sizes, cycled over a stream: a count byte (modulo maxCount + 1), then that many 16-bit
// sizes, each modulo maxSize + 1. A size of 0 is an empty call. No sizes, or only zeros, mean one
// block of fallback bytes at a time, so the stream always advances.
struct Cuts
{
    QList<int> sizes;
    int fallback = 1;

    static Cuts read(ByteReader& in, int maxCount, int maxSize, int fallback);
    void write(QByteArray& out) const;
    // The blocks of a stream of n bytes, in order, empty calls included.
    QList<int> blocks(qsizetype n) const;
};

#endif
