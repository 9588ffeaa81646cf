#ifndef LITTLEENDIAN_H
#define LITTLEENDIAN_H

#include <QByteArray>
#include <QtEndian>
#include <QtGlobal>

// Byte layouts of the binary trace formats are little-endian whatever the host is.
inline void appendLe16(QByteArray& out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

inline void appendLe32(QByteArray& out, quint32 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.append(char((value >> shift) & 0xFF));
}

// One store each: byte by byte, the compiler may gather a record header's fields on the stack
// and copy them on, a read that waits for the writes before it.
inline void putLe16(char* at, quint16 value)
{
    qToLittleEndian(value, at);
}

inline void putLe32(char* at, quint32 value)
{
    qToLittleEndian(value, at);
}

inline quint16 readLe16(const char* at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(at);
    return quint16(p[0] | (p[1] << 8));
}

inline quint32 readLe32(const char* at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(at);
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

#endif
