#include "capture/streamencoder.h"

#include "capture/hdlchandler.h"

#include <algorithm>

namespace {
constexpr unsigned Flag = 0x7E;
constexpr int MaxExtraBits = 7;
} // namespace

ChannelEncoder::ChannelEncoder()
    : m_partial(0), m_partialBits(0), m_bitCount(0), m_ones(0), m_recording(true)
{
    putFlag();
}

quint16 ChannelEncoder::frameCheckSequence(const char* data, int len)
{
    unsigned crc = 0xFFFF;
    for (int i = 0; i < len; ++i) {
        crc ^= static_cast<unsigned char>(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    }
    return quint16(~crc & 0xFFFF);
}

void ChannelEncoder::putBit(unsigned bit)
{
    m_partial = (m_partial << 1) | (bit & 1u);
    ++m_bitCount;
    if (++m_partialBits == 8) {
        m_octets.append(char(m_partial));
        m_partial = 0;
        m_partialBits = 0;
    }
}

void ChannelEncoder::putOctetPlain(unsigned octet)
{
    for (int bit = 0; bit < 8; ++bit)
        putBit((octet >> bit) & 1u);
}

void ChannelEncoder::putFlag()
{
    putOctetPlain(Flag);
    m_ones = 0;
}

// Frame octets least significant bit first, with a zero after every five ones in a row.
void ChannelEncoder::putStuffed(const QByteArray& bytes, int octetLimit)
{
    const int count = std::min(int(bytes.size()), octetLimit);
    for (int i = 0; i < count; ++i) {
        const unsigned octet = static_cast<unsigned char>(bytes[i]);
        for (int bit = 0; bit < 8; ++bit) {
            const unsigned b = (octet >> bit) & 1u;
            putBit(b);
            m_ones = b ? m_ones + 1 : 0;
            if (m_ones == 5) {
                putBit(0);
                m_ones = 0;
            }
        }
    }
}

void ChannelEncoder::putFrameBody(const QByteArray& frame, quint16 fcs)
{
    m_ones = 0;
    QByteArray withFcs = frame;
    withFcs.append(char(fcs & 0xFF));
    withFcs.append(char(fcs >> 8));
    putStuffed(withFcs, int(withFcs.size()));
}

void ChannelEncoder::addFlags(int count)
{
    for (int i = 0; i < count; ++i)
        putFlag();
}

void ChannelEncoder::addFrame(const QByteArray& frame)
{
    putFrameBody(frame, frameCheckSequence(frame.constData(), int(frame.size())));
    putFlag();
    if (m_recording)
        m_outcome.frames.append(frame);
}

void ChannelEncoder::addFrameWithBadFcs(const QByteArray& frame)
{
    const quint16 good = frameCheckSequence(frame.constData(), int(frame.size()));
    putFrameBody(frame, quint16(good ^ 0x0100));
    putFlag();
    // One or two octets plus FCS are at least 24 bits: always checked, so always counted.
    ++m_outcome.badCrc;
}

void ChannelEncoder::addAbortedFrame(const QByteArray& frame)
{
    m_ones = 0;
    putStuffed(frame, std::max(1, int(frame.size()) / 2));
    for (int i = 0; i < 7; ++i)
        putBit(1);
    putFlag();
}

void ChannelEncoder::addIdleOnes(int count)
{
    for (int i = 0; i < count; ++i)
        putBit(1);
    putFlag();
    const unsigned bufferSize = HdlcHandler::BitBufferSize;
    m_outcome.tooLarge += unsigned(count) / bufferSize;
    const unsigned rest = unsigned(count) % bufferSize;
    // Six or more ones left are an abort; one to five are a frame of the wrong length.
    if (rest >= 1 && rest <= 5)
        ++m_outcome.erroredLength;
}

void ChannelEncoder::addFrameWithExtraBits(const QByteArray& frame, int extraBits)
{
    putFrameBody(frame, frameCheckSequence(frame.constData(), int(frame.size())));
    const int zeros = std::clamp(extraBits, 1, MaxExtraBits);
    for (int i = 0; i < zeros; ++i)
        putBit(0);
    putFlag();
    ++m_outcome.erroredLength;
}

void ChannelEncoder::addRawBits(quint32 bits, int count)
{
    for (int i = count - 1; i >= 0; --i)
        putBit((bits >> i) & 1u);
}

QByteArray ChannelEncoder::octets(qint64 octetCount) const
{
    ChannelEncoder padded(*this);
    padded.m_recording = false;
    const quint64 target = quint64(std::max<qint64>(octetCount, 0)) * 8;
    while (padded.m_bitCount + 8 <= target)
        padded.putFlag();
    while (padded.m_bitCount < target)
        padded.putBit(1);
    return padded.m_octets;
}

namespace StreamFormat {

QByteArray request(unsigned rxTimeslot, unsigned syncTimeslot)
{
    return QByteArray("ATU") + QByteArray::number(rxTimeslot).rightJustified(2, '0') + ' ' +
           QByteArray::number(syncTimeslot).rightJustified(2, '0') + '\n';
}

QByteArray interleave(const QByteArray& rx, const QByteArray& sync)
{
    const qsizetype n = std::max(rx.size(), sync.size());
    QByteArray out(n * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned r = i < rx.size() ? static_cast<unsigned char>(rx[i]) : 0xFF;
        const unsigned s = i < sync.size() ? static_cast<unsigned char>(sync[i]) : 0xFF;
        out[2 * i] = char((s & 0xF0) | (r >> 4));
        out[2 * i + 1] = char(((s & 0x0F) << 4) | (r & 0x0F));
    }
    return out;
}

QByteArray captureData(const ChannelEncoder& rx, const ChannelEncoder& sync)
{
    const qint64 octetCount = qint64((std::max(rx.bitCount(), sync.bitCount()) + 7) / 8);
    return interleave(rx.octets(octetCount), sync.octets(octetCount));
}

QByteArray testerAnswer(unsigned rxTimeslot, unsigned syncTimeslot, const ChannelEncoder& rx,
                        const ChannelEncoder& sync)
{
    return request(rxTimeslot, syncTimeslot) + captureData(rx, sync);
}

} // namespace StreamFormat
