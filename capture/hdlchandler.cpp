#include "capture/hdlchandler.h"

#include "writers/stathandler.h"

#include <cstring>
#include <QDateTime>

namespace {

// Flag search state: bit 3 set once the frame has had a zero, bits 0-2 the ones since then or
// since the frame began (7 meaning seven or more). A zero that follows exactly six ones which
// follow a zero of the same frame closes a flag.
constexpr unsigned HadZero = 8;
constexpr unsigned OnesCap = 7;

constexpr unsigned scanBit(unsigned state, unsigned bit, bool* flag)
{
    const unsigned ones = state & OnesCap;
    if (bit) {
        *flag = false;
        return (state & HadZero) | (ones < OnesCap ? ones + 1 : OnesCap);
    }
    *flag = (state & HadZero) && ones == 6;
    // After a flag the search starts afresh: its closing zero belongs to no frame.
    return *flag ? 0 : HadZero;
}

// De-stuffing state: 0..4 ones passed on in a row, or 5: the next bit follows five ones and is
// a stuffed zero (a one there is an abort).
constexpr unsigned StuffedNext = 5;
constexpr unsigned DestuffStates = 6;

struct Tables
{
    // [state * 256 + octet]: bits 0-3 the state after the octet; bits 4-7 zero, or 1 + the
    // position (0 = first on the line) of the bit that closes a flag. After a flag the rest of
    // the octet is scanned from the fresh state; a second flag cannot close in the same octet.
    unsigned char flag[16 * 256];
    // [state * 256 + byte of raw bits, first bit in bit 0]: bits 0-7 the de-stuffed bits, 8-11
    // how many, 12-14 the state after, 15 an abort.
    quint16 destuff[DestuffStates * 256];
    // The octet with its bits in line order from bit 0: the line sends each octet MSB first.
    unsigned char lineOrder[256];
    // CRC-16/X.25 on octets whose first bit on the line is bit 0.
    quint16 crc[256];
};

constexpr Tables makeTables()
{
    Tables t{};
    for (unsigned octet = 0; octet < 256; ++octet) {
        unsigned reversed = 0;
        for (unsigned j = 0; j < 8; ++j)
            reversed |= ((octet >> j) & 1u) << (7 - j);
        t.lineOrder[octet] = static_cast<unsigned char>(reversed);

        unsigned crc = octet;
        for (int j = 0; j < 8; ++j)
            crc = (crc & 1u) ? (crc >> 1) ^ 0x8408u : crc >> 1;
        t.crc[octet] = static_cast<quint16>(crc);
    }
    for (unsigned state = 0; state < 16; ++state) {
        for (unsigned octet = 0; octet < 256; ++octet) {
            unsigned s = state;
            unsigned closing = 0;
            for (int bit = 7; bit >= 0; --bit) {
                bool flag = false;
                s = scanBit(s, (octet >> bit) & 1u, &flag);
                if (flag)
                    closing = 1 + unsigned(7 - bit);
            }
            t.flag[state * 256 + octet] = static_cast<unsigned char>(s | closing << 4);
        }
    }
    for (unsigned state = 0; state < DestuffStates; ++state) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            unsigned s = state;
            unsigned out = 0;
            unsigned count = 0;
            bool abort = false;
            for (unsigned j = 0; j < 8 && !abort; ++j) {
                const unsigned bit = (byte >> j) & 1u;
                if (s == StuffedNext) {
                    abort = bit != 0;
                    s = 0;
                    continue;
                }
                out |= bit << count++;
                s = bit ? s + 1 : 0;
            }
            t.destuff[state * 256 + byte] =
                static_cast<quint16>(out | count << 8 | s << 12 | (abort ? 0x8000u : 0u));
        }
    }
    return t;
}

constexpr Tables tables = makeTables();

// What the FCS check leaves over a frame and its correct FCS.
constexpr quint16 GoodFcsResidue = 0xF0B8;

} // namespace

HdlcHandler::HdlcHandler(int channelTag)
    : m_clock{0, 0}, m_clockUnset(true), m_channelTag(static_cast<unsigned char>(channelTag)),
      m_scanState(0), m_rawBytes(0), m_pending(0), m_pendingCount(0), m_tooLargeBytes(0), m_raw{},
      m_packet(int(PacketBufferBytes), '\0')
{
    startRegion(0, 0);
}

void HdlcHandler::setTimestamp(quint32 seconds, quint32 microseconds)
{
    m_clock.seconds = seconds + microseconds / 1000000;
    m_clock.microseconds = microseconds % 1000000;
    m_clockUnset = false;
}

void HdlcHandler::advanceClock(quint64 octets)
{
    const quint64 microseconds = m_clock.microseconds + octets * MicrosecondsPerOctet;
    if (Q_LIKELY(microseconds < 1000000)) {
        m_clock.microseconds = quint32(microseconds);
        return;
    }
    m_clock.seconds += quint32(microseconds / 1000000);
    m_clock.microseconds = quint32(microseconds % 1000000);
}

// A new frame begins with the bits of the current octet after the flag.
void HdlcHandler::startRegion(unsigned pendingBits, unsigned pendingCount)
{
    m_rawBytes = 0;
    m_pending = pendingBits;
    m_pendingCount = pendingCount;
    // The first byte count at which arrivals (8 * bytes + pending) have passed TooLargeArrival.
    m_tooLargeBytes = (TooLargeArrival - pendingCount) / 8 + 1;
}

void HdlcHandler::process(QByteArray& data, int len)
{
    if (len <= 0)
        return;
    if (m_clockUnset) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        setTimestamp(quint32(now / 1000), quint32(now % 1000) * 1000);
    }
    const auto* octets = reinterpret_cast<const unsigned char*>(data.constData());
    int i = 0;
    int clocked = 0; // octets of this call already on the clock
    for (;;) {
        // One frame's stretch of the call, with its state in locals.
        unsigned state = m_scanState;
        unsigned rawBytes = m_rawBytes;
        quint32 pending = m_pending;
        const unsigned pendingCount = m_pendingCount;
        const unsigned tooLargeBytes = m_tooLargeBytes;
        unsigned entry = 0;
        quint32 bits = 0;
        for (; i < len; ++i) {
            const unsigned octet = octets[i];
            entry = tables.flag[state * 256 + octet];
            bits = tables.lineOrder[octet];
            if (Q_UNLIKELY(entry >= 16))
                break;
            pending |= bits << pendingCount;
            m_raw[rawBytes++] = static_cast<unsigned char>(pending);
            pending >>= 8;
            state = entry;
            if (Q_UNLIKELY(rawBytes >= tooLargeBytes)) {
                m_rawBytes = rawBytes;
                tooLargeMidFrame();
                rawBytes = m_rawBytes;
            }
        }
        m_scanState = state;
        m_rawBytes = rawBytes;
        m_pending = pending;
        if (i == len)
            break;

        // A flag closes in octet i: its frame is stamped with the time before that octet.
        advanceClock(quint64(i - clocked));
        clocked = i;
        const unsigned closing = (entry >> 4) - 1;
        flagEnds(8 * rawBytes + pendingCount + closing);
        startRegion(bits >> (closing + 1), 7 - closing);
        m_scanState = entry & 15;
        ++i;
    }
    advanceClock(quint64(len - clocked));
}

// The bit that fills the buffer arrived in the last octet, and no flag with it.
void HdlcHandler::tooLargeMidFrame()
{
    countStat(StatHandler::TooLarge);
    constexpr unsigned Dropped = BitBufferSize / 8;
    m_rawBytes -= Dropped;
    std::memmove(m_raw, m_raw + Dropped, m_rawBytes);
}

// flagEndBit: the position in the raw bits of the flag's last bit.
void HdlcHandler::flagEnds(unsigned flagEndBit)
{
    m_raw[m_rawBytes] = static_cast<unsigned char>(m_pending);
    unsigned start = 0;
    if (flagEndBit > TooLargeArrival) {
        // The buffer filled earlier in this octet, before the flag.
        countStat(StatHandler::TooLarge);
        start = BitBufferSize;
    }
    const unsigned end = flagEndBit - 7;
    if (end > start)
        deliverFrame(start, end);
}

// De-stuffs raw bits [startBit, endBit), checks the result and passes a good frame on.
void HdlcHandler::deliverFrame(unsigned startBit, unsigned endBit)
{
    const unsigned char* in = m_raw + startBit / 8;
    const unsigned rawBits = endBit - startBit;
    const unsigned wholeBytes = rawBits / 8;
    auto* out = reinterpret_cast<unsigned char*>(m_packet.data()) + 1;

    unsigned state = 0;
    quint32 collected = 0;
    unsigned collectedCount = 0;
    unsigned outBytes = 0;
    for (unsigned k = 0; k < wholeBytes; ++k) {
        const unsigned entry = tables.destuff[state * 256 + in[k]];
        if (entry & 0x8000u)
            return; // abort: dropped without a count
        collected |= (entry & 0xFFu) << collectedCount;
        collectedCount += (entry >> 8) & 15u;
        state = (entry >> 12) & 7u;
        out[outBytes] = static_cast<unsigned char>(collected);
        const unsigned full = collectedCount >> 3;
        outBytes += full;
        collected >>= 8 * full;
        collectedCount &= 7u;
    }
    const unsigned last = in[wholeBytes];
    for (unsigned j = 0; j < rawBits % 8; ++j) {
        const unsigned bit = (last >> j) & 1u;
        if (state == StuffedNext) {
            if (bit)
                return;
            state = 0;
            continue;
        }
        collected |= bit << collectedCount++;
        state = bit ? state + 1 : 0;
        if (collectedCount == 8) {
            out[outBytes++] = static_cast<unsigned char>(collected);
            collected = 0;
            collectedCount = 0;
        }
    }

    if (collectedCount != 0) {
        countStat(StatHandler::ErroredLength);
        return;
    }
    if (outBytes <= 2)
        return;
    unsigned crc = 0xFFFF;
    for (unsigned k = 0; k < outBytes; ++k)
        crc = (crc >> 8) ^ tables.crc[(crc ^ out[k]) & 0xFFu];
    if (crc != GoodFcsResidue) {
        countStat(StatHandler::BadCrc);
        return;
    }
    out[-1] = static_cast<char>(m_channelTag);
    passOn(m_packet, int(outBytes) - 2 + 1);
}
