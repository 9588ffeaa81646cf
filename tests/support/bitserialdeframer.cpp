#include "bitserialdeframer.h"

#include "capture/stathandler.h"

#include <QDateTime>

namespace {
constexpr unsigned char Flag = 0x7E;
}

BitSerialDeframer::BitSerialDeframer(int channelTag)
    : m_clock{0, 0}, m_clockUnset(true), m_bits(BitBufferSize, 0), m_bitCount(0), m_window(0),
      m_windowFill(0), m_channelTag(static_cast<unsigned char>(channelTag))
{}

void BitSerialDeframer::setTimestamp(quint32 seconds, quint32 microseconds)
{
    m_clock.seconds = seconds + microseconds / 1000000;
    m_clock.microseconds = microseconds % 1000000;
    m_clockUnset = false;
}

void BitSerialDeframer::process(QByteArray& data, int len)
{
    if (len <= 0)
        return;
    if (m_clockUnset) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        setTimestamp(quint32(now / 1000), quint32(now % 1000) * 1000);
    }
    const auto* octets = reinterpret_cast<const unsigned char*>(data.constData());
    for (int i = 0; i < len; ++i) {
        const unsigned octet = octets[i];
        for (int bit = 7; bit >= 0; --bit)
            feedBit((octet >> bit) & 1u);
        advanceClock();
    }
}

void BitSerialDeframer::advanceClock()
{
    m_clock.microseconds += MicrosecondsPerOctet;
    if (m_clock.microseconds >= 1000000) {
        m_clock.seconds += 1;
        m_clock.microseconds -= 1000000;
    }
}

// The window holds the last eight line bits, the newest in bit 7. The bit buffer runs seven bits
// behind the line so that a flag is seen before any of its bits are stored.
void BitSerialDeframer::feedBit(unsigned bit)
{
    m_window = static_cast<unsigned char>(m_window | (bit << 7));
    if (m_windowFill < 7) {
        ++m_windowFill;
        m_window >>= 1;
        return;
    }
    if (m_window == Flag) {
        endOfFrame();
        // A flag must be followed by eight fresh bits: flags never share a zero.
        m_window = 0;
        m_windowFill = 0;
        return;
    }
    m_bits[m_bitCount++] = m_window & 1u;
    if (m_bitCount >= BitBufferSize) {
        countStat(StatHandler::TooLarge);
        m_bitCount = 0;
    }
    m_window >>= 1;
}

void BitSerialDeframer::endOfFrame()
{
    if (m_bitCount == 0)
        return;
    if (!destuff()) {
        m_bitCount = 0; // abort: dropped without a count
        return;
    }
    if (m_bitCount % 8 != 0) {
        countStat(StatHandler::ErroredLength);
        m_bitCount = 0;
        return;
    }
    if (m_bitCount <= 16) {
        m_bitCount = 0;
        return;
    }
    if (!fcsIsGood()) {
        countStat(StatHandler::BadCrc);
        m_bitCount = 0;
        return;
    }
    const int frameOctets = int(m_bitCount / 8) - 2;
    QByteArray packet(frameOctets + 1, Qt::Uninitialized);
    packet[0] = char(m_channelTag);
    const unsigned char* bits = m_bits.data();
    for (int k = 0; k < frameOctets; ++k) {
        unsigned octet = 0;
        for (int j = 0; j < 8; ++j)
            octet |= unsigned(bits[8 * k + j]) << j; // first bit on the line is the LSB
        packet[k + 1] = char(octet);
    }
    m_bitCount = 0;
    passOn(packet, frameOctets + 1);
}

// Removes the zero stuffed after every five ones, in place. Returns false for an abort (six or
// more ones in a row).
bool BitSerialDeframer::destuff()
{
    unsigned char* bits = m_bits.data();
    unsigned ones = 0;
    unsigned out = 0;
    for (unsigned i = 0; i < m_bitCount; ++i) {
        ones = bits[i] ? ones + 1 : 0;
        bits[out++] = bits[i];
        if (ones == 5) {
            if (i + 1 < m_bitCount && bits[i + 1])
                return false;
            ++i; // the stuffed zero, if the frame has one here
            ones = 0;
        }
    }
    m_bitCount = out;
    return true;
}

bool BitSerialDeframer::fcsIsGood() const
{
    unsigned r = 0xFFFF;
    for (unsigned i = 0; i < m_bitCount; ++i) {
        const unsigned feedback = m_bits[i] ^ (r >> 15);
        r = (r << 1) & 0xFFFF;
        if (feedback)
            r ^= 0x1021;
    }
    return r == GoodFcsResidue;
}
