#include "capture/hdlchandler.h"

#include "capture/bitextract.h"
#include "capture/stathandler.h"

#include <algorithm>
#include <cstring>
#include <QDateTime>
#include <QtEndian>

namespace {

// CRC-16/X.25 on octets whose first bit on the line is bit 0, eight octets a step: table k
// holds the effect of an octet followed by k more.
struct CrcTables
{
    quint16 step[8][256];
};

constexpr CrcTables makeCrcTables()
{
    CrcTables tables{};
    for (unsigned octet = 0; octet < 256; ++octet) {
        unsigned crc = octet;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? (crc >> 1) ^ 0x8408u : crc >> 1;
        tables.step[0][octet] = static_cast<quint16>(crc);
    }
    for (int k = 1; k < 8; ++k) {
        for (unsigned octet = 0; octet < 256; ++octet) {
            const unsigned before = tables.step[k - 1][octet];
            tables.step[k][octet] =
                static_cast<quint16>((before >> 8) ^ tables.step[0][before & 0xFFu]);
        }
    }
    return tables;
}

constexpr CrcTables crcTables = makeCrcTables();

// What the FCS check leaves over a frame and its correct FCS.
constexpr quint16 GoodFcsResidue = 0xF0B8;

// One CRC step over eight octets, the first in bits 0-7 of v.
Q_ALWAYS_INLINE unsigned crcStep(quint64 v)
{
    const auto& t = crcTables.step;
    return t[7][v & 0xFF] ^ t[6][(v >> 8) & 0xFF] ^ t[5][(v >> 16) & 0xFF] ^
           t[4][(v >> 24) & 0xFF] ^ t[3][(v >> 32) & 0xFF] ^ t[2][(v >> 40) & 0xFF] ^
           t[1][(v >> 48) & 0xFF] ^ t[0][v >> 56];
}

// What a good FCS's residue becomes behind k zero octets, for k = 0 to 7: the last octets of a
// frame, fewer than eight, go as one eight-octet step with zeros behind them.
struct GoodResidues
{
    quint16 afterZeros[8];
};

constexpr GoodResidues makeGoodResidues()
{
    GoodResidues residues{};
    unsigned crc = GoodFcsResidue;
    for (int k = 0; k < 8; ++k) {
        residues.afterZeros[k] = static_cast<quint16>(crc);
        crc = (crc >> 8) ^ crcTables.step[0][crc & 0xFF];
    }
    return residues;
}

constexpr GoodResidues goodResidues = makeGoodResidues();

unsigned highestBit(quint64 v)
{
    return 63u - unsigned(__builtin_clzll(v));
}

// Takes the lowest bit of stuffed out of bits, moving the bits above it down by one, and the
// rest of stuffed with them. With stuffed empty, bit 63 goes: it must be clear.
quint64 withoutLowest(quint64 bits, quint64& stuffed)
{
    const quint64 candidates = stuffed | quint64(1) << 63;
    const quint64 lowest = candidates & (0 - candidates);
    const quint64 below = lowest - 1;
    stuffed = (stuffed & ~(below | lowest)) >> 1;
    return (bits & below) | ((bits >> 1) & ~below);
}

// Each of the eight octets of v turned round.
quint64 reversedOctets(quint64 v)
{
    v = ((v >> 1) & 0x5555555555555555ULL) | ((v & 0x5555555555555555ULL) << 1);
    v = ((v >> 2) & 0x3333333333333333ULL) | ((v & 0x3333333333333333ULL) << 2);
    return ((v >> 4) & 0x0F0F0F0F0F0F0F0FULL) | ((v & 0x0F0F0F0F0F0F0F0FULL) << 4);
}

unsigned char reversedOctet(unsigned octet)
{
    unsigned r = 0;
    for (unsigned bit = 0; bit < 8; ++bit)
        r |= ((octet >> bit) & 1u) << (7 - bit);
    return static_cast<unsigned char>(r);
}

// Raw bits de-stuffed in one step.
constexpr unsigned Chunk = 56;

#if defined(__GNUC__)
#define VEZIVE_INLINE_LAMBDA __attribute__((always_inline))
#else
#define VEZIVE_INLINE_LAMBDA
#endif

// Eight raw octets, the first bit of each in bit 0: octets as the line sends them are turned
// round on the way.
template <bool LineOrder> Q_ALWAYS_INLINE quint64 rawWord(const unsigned char* from)
{
    const quint64 word = qFromLittleEndian<quint64>(from);
    return LineOrder ? reversedOctets(word) : word;
}

// De-stuffs raw bits [startBit, startBit + bitCount) of raw (first bit in bit 0 of raw[0], or in
// bit 7 with LineOrder; startBit below 8) into out, the first bit of each octet in bit 0, and
// checks the FCS on the way: goodFcs tells whether whole octets out end in a good one. Returns
// the number of bits out, or -1 for six ones in a row. Reads up to eight bytes past the last raw
// bit and writes up to eight past the last octet out.
//
// Bits go out eight octets at a time, each word also a CRC step, so that the check needs no
// read of what was just written. Short promises at most one chunk of raw bits: most frames on a
// signalling link are that short, and their code then keeps few registers to save.
template <bool BitExtract, bool LineOrder, bool Short>
qint64 destuff(const unsigned char* raw, unsigned startBit, unsigned bitCount, unsigned char* out,
               bool& goodFcs)
{
    unsigned words = 0;
    quint64 collected = 0; // de-stuffed bits not yet out, the first in bit 0
    unsigned collectedCount = 0;
    unsigned crc = 0xFFFF;
    quint64 context = 0; // the last six raw bits, the latest in bit 5; none before the first

    // count raw bits from bit 0 of bits up, the rest clear; in the window, above the six before.
    // False for six ones in a row.
    const auto take = [&](quint64 bits, unsigned count) VEZIVE_INLINE_LAMBDA {
        const quint64 valid = (quint64(1) << count) - 1;
        const quint64 window = bits << 6 | context;
        quint64 ones = window & (window << 1);
        ones &= ones << 2;
        const quint64 five = ones & (window << 4); // ones at p .. p - 4
        if (five & (window << 5) & (valid << 6))
            return false;
        quint64 stuffed = ((five << 1) & ~window) >> 6 & valid;
        context = (window >> count) & 63;
        quint64 taken;
        unsigned kept;
        if constexpr (BitExtract) {
            const quint64 keep = valid & ~stuffed;
            taken = extractBits(bits, keep);
            kept = countBits(keep);
        } else {
            // Taking a bit out moves those above it down by one, stuffed ones included. The
            // lowest two go without a branch (bit 63 stands in when there are fewer; it is
            // always clear), more than two in 56 bits are rare.
            kept = count - (stuffed != 0);
            taken = withoutLowest(bits, stuffed);
            kept -= stuffed != 0;
            taken = withoutLowest(taken, stuffed);
            while (Q_UNLIKELY(stuffed != 0)) {
                --kept;
                taken = withoutLowest(taken, stuffed);
            }
        }
        // taken holds only its kept bits, at most 56: a word that fills leaves collectedCount at
        // least 8 before it.
        collected |= taken << collectedCount;
        const unsigned total = collectedCount + kept;
        if (!Short && total >= 64) {
            qToLittleEndian(collected, out + 8 * words);
            ++words;
            crc = crcStep(collected ^ crc);
            collected = taken >> (64 - collectedCount);
            collectedCount = total - 64;
        } else {
            collectedCount = total;
        }
        return true;
    };

    // Whole chunks are seven bytes on: the bit offset stays.
    const unsigned char* from = raw;
    unsigned left = bitCount;
    for (; !Short && left > Chunk; left -= Chunk, from += Chunk / 8) {
        const quint64 bits = (rawWord<LineOrder>(from) >> startBit) & ((quint64(1) << Chunk) - 1);
        if (!take(bits, Chunk))
            return -1;
    }
    if (left != 0) {
        const quint64 bits = (rawWord<LineOrder>(from) >> startBit) & ((quint64(1) << left) - 1);
        if (!take(bits, left))
            return -1;
    }
    qToLittleEndian(collected, out + 8 * words);
    // The last octets go as a step behind which zeros follow: those take a good FCS's residue
    // on to a value of their own.
    const unsigned lastOctets = collectedCount / 8;
    const unsigned residue = lastOctets ? crcStep(collected ^ crc) : crc;
    goodFcs = residue == goodResidues.afterZeros[(8 - lastOctets) % 8];
    return qint64(words) * 64 + collectedCount;
}

bool chooseBitExtract(HdlcHandler::DeStuffing deStuffing)
{
    switch (deStuffing) {
    case HdlcHandler::DeStuffing::Automatic:
        return fastBitExtract();
    case HdlcHandler::DeStuffing::Shifts:
        return false;
    case HdlcHandler::DeStuffing::BitExtract:
        break;
    }
    if (!hasBitExtract())
        qFatal("HdlcHandler: de-stuffing by bit extract was asked for, but this processor has no "
               "BMI2 bit extract instruction");
    return true;
}

} // namespace

HdlcHandler::HdlcHandler(int channelTag, DeStuffing deStuffing)
    : m_octets(0), m_quietUntil(0), m_lastOctet(0xFF), m_bitExtract(chooseBitExtract(deStuffing)),
      m_flagEnd(~quint64(0)), m_drops(0), m_rawBase(0), m_heldEnd(0), m_callEnd(0),
      m_baseSeconds(0), m_baseMicroseconds(0), m_clockOctets(0), m_clockUnset(true),
      m_channelTag(static_cast<unsigned char>(channelTag)),
      m_reversed{}, m_raw{}, m_gap{}, m_packet{}
{
    // m_flagEnd "one before the first bit" starts the first frame there; m_lastOctet all ones
    // keeps the window from seeing zeros before the line's first bit.
    for (unsigned octet = 0; octet < 256; ++octet)
        m_reversed[octet] = reversedOctet(octet);
}

void HdlcHandler::setTimestamp(quint32 seconds, quint32 microseconds)
{
    m_baseSeconds = seconds + microseconds / 1000000;
    m_baseMicroseconds = microseconds % 1000000;
    m_clockOctets = m_octets;
    m_clockUnset = false;
}

void HdlcHandler::processOctets(const unsigned char* octets, int len)
{
    if (len <= 0)
        return;
    if (m_clockUnset) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        setTimestamp(quint32(now / 1000), quint32(now % 1000) * 1000);
    }
    const quint64 callStart = m_octets;
    m_heldEnd = callStart;
    m_callEnd = callStart + quint64(len);
    unsigned last = m_lastOctet;
    int i = 0;
    while (i < len) {
        // Up to seven octets with the one before them in one word.
        const unsigned count = len - i < 7 ? unsigned(len - i) : 7u;
        quint64 window;
        if (i >= 1 && count == 7) {
            window = qFromBigEndian<quint64>(octets + i - 1);
        } else {
            window = last;
            for (unsigned k = 0; k < count; ++k)
                window = window << 8 | octets[i + k];
        }
        quint64 candidates = flagCandidates(window) & ((quint64(1) << (8 * count)) - 1);
        while (Q_UNLIKELY(candidates != 0)) {
            const unsigned b = highestBit(candidates); // the earliest on the line
            candidates &= ~(quint64(1) << b);
            const quint64 flagEnd = 8 * (callStart + quint64(i)) + 8 * count - 1 - b;
            // A flag whose first zero closed the last flag is no flag.
            if (flagEnd - 7 != m_flagEnd)
                flagEnds(flagEnd, octets, callStart);
        }
        last = octets[i + int(count) - 1];
        i += int(count);
    }
    m_lastOctet = last;
    m_octets = callStart + quint64(len);
    endCall(octets, callStart);
}

// A flag pattern ends at bit flagEnd of a pair. All else is done before its frame goes on, so
// that little needs keeping across that. The next frame's octets stay where they are: the held
// octets move to the front only when the buffer is full, at the call that finds it so.
Q_ALWAYS_INLINE void HdlcHandler::flagInPair(quint64 flagEnd)
{
    // A flag whose first zero closed the last flag is no flag.
    if (flagEnd - 7 == m_flagEnd)
        return;
    const quint64 start = m_flagEnd + 1 + m_drops * BitBufferSize;
    const quint64 end = flagEnd - 7;
    m_flagEnd = flagEnd;
    m_drops = 0;
    m_quietUntil = quietLimit(flagEnd, 0, m_rawBase);
    if (end > start) {
        m_octets = flagEnd / 8;
        deliverFrame<false>(m_raw + (start / 8 - m_rawBase), unsigned(start % 8),
                            unsigned(end - start));
    }
}

// The two octets just held, from octet pairStart on, hold six ones in a row, and candidates the
// flag patterns that end in them, if any: six ones may also be part of an abort. The fast path's
// limit guarantees that no "Too large" falls due in them and that the octets of every frame they
// close are held. The position is passed in and stored once at the end, so that the next call does
// not wait for this one's frames to read it.
void HdlcHandler::pairWithFlags(quint64 candidates, quint64 pairStart)
{
    if (candidates == 0) {
        m_octets = pairStart + 2;
        return;
    }
    if ((candidates & (candidates - 1)) == 0) {
        // One flag, as where a frame ends.
        flagInPair(8 * pairStart + 15 - unsigned(__builtin_ctzll(candidates)));
        m_octets = pairStart + 2;
        return;
    }
    // Flags that each begin right after the one before, as on an idle line, close no frame: the
    // last one is all that counts. Bit b of candidates is a flag ending at bit 8 * pairStart +
    // 15 - b; the first such flag ends eight bits after the last, the second eight after that.
    // No "Too large" can be due for a frame that had no bits.
    const quint64 next = 8 * pairStart + 7 - m_flagEnd;
    if (next < 16 && ((candidates >> next) & 1) != 0) {
        const quint64 chain = quint64(1) << next | quint64(0x101) << next >> 8; // and bit next - 8
        if ((candidates & ~chain) == 0) {
            m_flagEnd = 8 * pairStart + 15 - unsigned(__builtin_ctzll(candidates));
            m_octets = pairStart + 2;
            updateQuietUntil();
            return;
        }
    }
    flagsInPair(candidates, pairStart);
}

// The flags that pairWithFlags leaves to the general way: bit b of candidates is one ending at
// bit 8 * pairStart + 15 - b.
void HdlcHandler::flagsInPair(quint64 candidates, quint64 pairStart)
{
    while (candidates != 0) {
        const unsigned b = highestBit(candidates);
        candidates &= ~(quint64(1) << b);
        flagInPair(8 * pairStart + 15 - b);
    }
    m_octets = pairStart + 2;
}

void HdlcHandler::updateQuietUntil()
{
    m_quietUntil = quietLimit(m_flagEnd, m_drops, m_rawBase);
}

// Counts "Too large" for each time the open frame's buffer filled up to and including the
// given bit, counted from the frame's first bit.
void HdlcHandler::countTooLarge(quint64 lastArrival)
{
    if (lastArrival < TooLargeArrival)
        return;
    const quint64 due = (lastArrival - TooLargeArrival) / BitBufferSize + 1;
    for (; m_drops < due; ++m_drops)
        countStat(StatHandler::TooLarge);
}

// A flag's last bit is flagEnd: the frame before it ends with the bit before its first.
void HdlcHandler::flagEnds(quint64 flagEnd, const unsigned char* octets, quint64 callStart)
{
    const quint64 frameStart = m_flagEnd + 1;
    // The flag's own last bit cannot fill the buffer: the reader sees the flag first.
    countTooLarge(flagEnd - frameStart - 1);
    const quint64 start = frameStart + m_drops * BitBufferSize;
    const quint64 end = flagEnd - 7;
    if (end > start) {
        const quint64 first = start / 8;
        const quint64 last = (end - 1) / 8;
        // Stamped with the time before the octet in which the flag ends.
        m_octets = flagEnd / 8;
        // A frame wholly in this call, with a word behind it, is de-stuffed where it lies:
        // copied first, it would be read back before the copy reached the cache.
        if (first >= m_heldEnd && last + 8 < m_callEnd)
            deliverFrame<true>(octets + (first - callStart), unsigned(start % 8),
                               unsigned(end - start));
        else
            deliverFrame<false>(gather(first, last, octets, callStart), unsigned(start % 8),
                                unsigned(end - start));
    }
    m_flagEnd = flagEnd;
    m_drops = 0;
    m_rawBase = (flagEnd + 1) / 8;
    m_heldEnd = m_rawBase;
}

// Makes m_raw hold octets [first, last] in a row, from what it holds and the call's octets;
// returns where octet first is. Octets before first are no longer needed.
const unsigned char* HdlcHandler::gather(quint64 first, quint64 last, const unsigned char* octets,
                                         quint64 callStart)
{
    if (first >= m_heldEnd) {
        m_rawBase = first;
        m_heldEnd = first;
    } else if (first > m_rawBase) {
        std::memmove(m_raw, m_raw + (first - m_rawBase), size_t(m_heldEnd - first));
        m_rawBase = first;
    }
    if (last >= m_heldEnd) {
        unsigned char* to = m_raw + (m_heldEnd - m_rawBase);
        const unsigned char* from = octets + (m_heldEnd - callStart);
        const quint64 count = last + 1 - m_heldEnd;
        // Whole words while the call has the octets: the last may write up to seven bytes past
        // the octets held, into the room behind them.
        const quint64 wordBytes = std::min(count + 7, m_callEnd - m_heldEnd) / 8 * 8;
        quint64 k = 0;
        for (; k < wordBytes; k += 8)
            qToUnaligned(reversedOctets(qFromUnaligned<quint64>(from + k)), to + k);
        for (; k < count; ++k)
            to[k] = m_reversed[from[k]];
        m_heldEnd = last + 1;
    }
    return m_raw + (first - m_rawBase);
}

// Keeps what the open frame still needs from this call and works out how far the fast path
// may go.
void HdlcHandler::endCall(const unsigned char* octets, quint64 callStart)
{
    const quint64 frameStart = m_flagEnd + 1;
    const quint64 arrived = 8 * m_octets;
    if (arrived > frameStart)
        countTooLarge(arrived - 1 - frameStart);
    const quint64 first = (frameStart + m_drops * BitBufferSize) / 8;
    if (first < m_octets) {
        gather(first, m_octets - 1, octets, callStart);
    } else {
        m_rawBase = m_octets;
        m_heldEnd = m_octets;
    }
    updateQuietUntil();
}

// De-stuffs raw bits [startBit, startBit + bitCount) of raw (first bit in bit 0 of raw[0], or
// in bit 7 with LineOrder), checks the result and passes a good frame on. At least eight bytes
// past the last raw bit must be readable. A frame of one chunk has code of its own.
template <bool LineOrder>
void HdlcHandler::deliverFrame(const unsigned char* raw, unsigned startBit, unsigned bitCount)
{
    if (bitCount <= Chunk)
        destuffAndPassOn<LineOrder, true>(raw, startBit, bitCount);
    else
        destuffAndPassOn<LineOrder, false>(raw, startBit, bitCount);
}

template <bool LineOrder, bool Short>
void HdlcHandler::destuffAndPassOn(const unsigned char* raw, unsigned startBit, unsigned bitCount)
{
    unsigned char* packet = m_packet;
    unsigned char* out = packet + 1;
    bool goodFcs = false;
    const qint64 outBits =
        m_bitExtract ? destuff<true, LineOrder, Short>(raw, startBit, bitCount, out, goodFcs)
                     : destuff<false, LineOrder, Short>(raw, startBit, bitCount, out, goodFcs);
    if (outBits < 0)
        return; // six ones: an abort, dropped without a count
    if (outBits % 8 != 0) {
        countStat(StatHandler::ErroredLength);
        return;
    }
    const unsigned outBytes = unsigned(outBits / 8);
    if (outBytes <= 2)
        return;
    if (!goodFcs) {
        countStat(StatHandler::BadCrc);
        return;
    }
    packet[0] = m_channelTag;
    const int length = int(outBytes) - 2 + 1;
    // The elements behind use a packet only during the call.
    QByteArray frame = QByteArray::fromRawData(reinterpret_cast<const char*>(packet), length);
    passOn(frame, length);
}
