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

// De-stuffing state: 0..4 ones passed on in a row; 5: the next bit follows five ones and is a
// stuffed zero (a one there is an abort); 6: aborted, nothing more is passed on; 7: the frame
// has no raw byte yet, so the first step takes none.
constexpr unsigned StuffedNext = 5;
constexpr unsigned Aborted = 6;
constexpr unsigned NoByteYet = 7;
constexpr unsigned DestuffStates = 8;

struct Tables
{
    // [state * 256 + octet]: the state after the octet, times 256, so that the next lookup needs
    // only the next octet added; plus, in bits 12-15, zero, or 1 + the position (0 = first on the
    // line) of the bit that closes a flag. After a flag the rest of the octet is scanned from the
    // fresh state; a second flag cannot close in the same octet.
    quint16 flag[16 * 256];
    // [state * 256 + byte of raw bits, first bit in bit 0]: bits 0-7 the de-stuffed bits, 8-11
    // how many, 16-31 the state after times 256.
    quint32 destuff[DestuffStates * 256];
    // The octet with its bits in line order from bit 0: the line sends each octet MSB first.
    unsigned char lineOrder[256];
    // CRC-16/X.25 on octets whose first bit on the line is bit 0: crc[k][b] is what byte b
    // followed by k zero bytes adds, so four bytes take one step.
    quint16 crc[4][256];
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
        t.crc[0][octet] = static_cast<quint16>(crc);
    }
    for (unsigned k = 1; k < 4; ++k)
        for (unsigned b = 0; b < 256; ++b)
            t.crc[k][b] =
                static_cast<quint16>((t.crc[k - 1][b] >> 8) ^ t.crc[0][t.crc[k - 1][b] & 0xFFu]);
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
            t.flag[state * 256 + octet] = static_cast<quint16>(s * 256 | closing << 12);
        }
    }
    for (unsigned state = 0; state < DestuffStates; ++state) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            unsigned s = state == NoByteYet ? 0 : state;
            unsigned out = 0;
            unsigned count = 0;
            for (unsigned j = 0; j < 8 && state != NoByteYet && s != Aborted; ++j) {
                const unsigned bit = (byte >> j) & 1u;
                if (s == StuffedNext) {
                    s = bit ? Aborted : 0;
                    continue;
                }
                out |= bit << count++;
                s = bit ? s + 1 : 0;
            }
            t.destuff[state * 256 + byte] = out | count << 8 | (s * 256) << 16;
        }
    }
    return t;
}

constexpr Tables tables = makeTables();

// What the FCS check leaves over a frame and its correct FCS.
constexpr quint16 GoodFcsResidue = 0xF0B8;

} // namespace

HdlcHandler::HdlcHandler(int channelTag)
    : m_clock{0, 0}, m_clockUnset(true),
      m_channelTag(static_cast<unsigned char>(channelTag)), m_frame{}, m_raw{}, m_out{},
      m_packet(int(RawBufferBytes), '\0')
{
    startFrame(0, 0);
}

void HdlcHandler::setTimestamp(quint32 seconds, quint32 microseconds)
{
    m_clock.seconds = seconds + microseconds / 1000000;
    m_clock.microseconds = microseconds % 1000000;
    m_clockUnset = false;
}

inline void HdlcHandler::advanceClock(quint64 octets)
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
void HdlcHandler::startFrame(unsigned pendingBits, unsigned pendingCount)
{
    Frame& frame = m_frame;
    frame.rawBytes = 0;
    frame.pending = pendingBits;
    frame.pendingCount = pendingCount;
    // The first byte count at which arrivals (8 * bytes + pending) have passed TooLargeArrival.
    frame.tooLargeBytes = (TooLargeArrival - pendingCount) / 8 + 1;
    frame.stuff = NoByteYet * 256;
    frame.collected = 0;
    frame.collectedCount = 0;
    frame.outBytes = 0;
    frame.lastRaw = 0;
}

void HdlcHandler::process(QByteArray& data, int len)
{
    if (len <= 0)
        return;
    if (Q_UNLIKELY(m_clockUnset)) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        setTimestamp(quint32(now / 1000), quint32(now % 1000) * 1000);
    }
    const auto* octets = reinterpret_cast<const unsigned char*>(data.constData());
    Frame& f = m_frame;
    int clocked = 0; // octets of this call already on the clock
    for (int i = 0; i < len; ++i) {
        const unsigned octet = octets[i];
        const unsigned entry = tables.flag[f.scan + octet];
        const quint32 bits = tables.lineOrder[octet];
        if (Q_LIKELY(entry < 4096)) {
            f.scan = entry;
            f.pending |= bits << f.pendingCount;
            const unsigned raw = f.pending & 0xFFu;
            m_raw[f.rawBytes++] = Octet(raw);
            f.pending >>= 8;

            const quint32 step = tables.destuff[f.stuff + f.lastRaw];
            f.lastRaw = raw;
            f.collected |= (step & 0xFFu) << f.collectedCount;
            f.collectedCount += (step >> 8) & 15u;
            f.stuff = step >> 16;
            m_out[f.outBytes] = Octet(f.collected);
            const unsigned whole = f.collectedCount >> 3;
            f.outBytes += whole;
            f.collected >>= 8 * whole;
            f.collectedCount &= 7u;

            if (Q_UNLIKELY(f.rawBytes >= f.tooLargeBytes))
                tooLargeMidFrame();
            continue;
        }
        // A flag closes in octet i: its frame is stamped with the time before that octet.
        advanceClock(quint64(i - clocked));
        clocked = i;
        const unsigned closing = (entry >> 12) - 1;
        flagEnds(8 * f.rawBytes + f.pendingCount + closing);
        startFrame(bits >> (closing + 1), 7 - closing);
        f.scan = entry & 0xF00u;
    }
    advanceClock(quint64(len - clocked));
}

// The bit that fills the buffer arrived in the last octet, and no flag with it: the bits held
// so far are dropped, the frame goes on from raw bit BitBufferSize.
void HdlcHandler::tooLargeMidFrame()
{
    Frame& frame = m_frame;
    countStat(StatHandler::TooLarge);
    constexpr unsigned Dropped = BitBufferSize / 8;
    frame.rawBytes -= Dropped;
    std::memmove(m_raw, m_raw + Dropped, frame.rawBytes);
    frame.collected = 0;
    frame.collectedCount = 0;
    frame.outBytes = 0;
    if (frame.rawBytes == 0) {
        // The last raw byte was dropped too; the frame goes on from the pending bits.
        frame.stuff = NoByteYet * 256;
        return;
    }
    frame.stuff = 0;
    destuffBits(0, 8 * (frame.rawBytes - 1));
}

// flagEndBit: the position in the raw bits of the flag's last bit.
void HdlcHandler::flagEnds(unsigned flagEndBit)
{
    Frame& frame = m_frame;
    m_raw[frame.rawBytes] = Octet(frame.pending);
    const unsigned end = flagEndBit - 7;
    if (flagEndBit > TooLargeArrival) {
        // The buffer filled earlier in this octet, before the flag.
        countStat(StatHandler::TooLarge);
        frame.stuff = 0;
        frame.collected = 0;
        frame.collectedCount = 0;
        frame.outBytes = 0;
        destuffBits(BitBufferSize, end);
    } else {
        if (frame.stuff == NoByteYet * 256)
            frame.stuff = 0;
        destuffBits(frame.rawBytes ? 8 * (frame.rawBytes - 1) : 0, end);
    }
    finishFrame();
}

// De-stuffs raw bits [startBit, endBit) after those already done.
void HdlcHandler::destuffBits(unsigned startBit, unsigned endBit)
{
    Frame& frame = m_frame;
    for (unsigned at = startBit; at < endBit && frame.stuff != Aborted * 256; ++at) {
        const unsigned bit = (unsigned(m_raw[at / 8]) >> (at % 8)) & 1u;
        if (frame.stuff == StuffedNext * 256) {
            frame.stuff = bit ? Aborted * 256 : 0;
            continue;
        }
        frame.collected |= bit << frame.collectedCount++;
        frame.stuff = bit ? frame.stuff + 256 : 0;
        if (frame.collectedCount == 8) {
            m_out[frame.outBytes++] = Octet(frame.collected);
            frame.collected = 0;
            frame.collectedCount = 0;
        }
    }
}

// Checks a frame whose raw bits are all de-stuffed and passes a good one on.
void HdlcHandler::finishFrame()
{
    const Frame& frame = m_frame;
    if (frame.stuff == Aborted * 256)
        return; // dropped without a count
    if (frame.collectedCount != 0) {
        countStat(StatHandler::ErroredLength);
        return;
    }
    const unsigned n = frame.outBytes;
    if (n <= 2)
        return;
    const auto* out = reinterpret_cast<const unsigned char*>(m_out);
    unsigned crc = 0xFFFF;
    unsigned k = 0;
    for (; k + 4 <= n; k += 4) {
        const unsigned x = crc ^ (unsigned(out[k]) | unsigned(out[k + 1]) << 8);
        crc = tables.crc[3][x & 0xFFu] ^ tables.crc[2][x >> 8] ^ tables.crc[1][out[k + 2]] ^
              tables.crc[0][out[k + 3]];
    }
    for (; k < n; ++k)
        crc = (crc >> 8) ^ tables.crc[0][(crc ^ out[k]) & 0xFFu];
    if (crc != GoodFcsResidue) {
        countStat(StatHandler::BadCrc);
        return;
    }
    char* packet = m_packet.data();
    packet[0] = static_cast<char>(m_channelTag);
    std::memcpy(packet + 1, out, n - 2);
    passOn(m_packet, int(n) - 2 + 1);
}
