#ifndef HDLCHANDLER_H
#define HDLCHANDLER_H

#include "capture/chainhandler.h"

#include <QtEndian>
#include <QtGlobal>

// Seconds since 1970-01-01 00:00 UTC and microseconds within the second, in that order.
struct ChannelClock
{
    quint32 seconds;
    quint32 microseconds;
};

// Finds the HDLC frames in the octets of one timeslot: flags, zero de-stuffing, aborts, size
// checks and the 16-bit FCS. Each good frame goes on as one packet: the channel tag byte, then
// the frame without its FCS. Also keeps the channel clock (125 us per octet) that the trace
// writers stamp frames with.
//
// The rules, as a bit-serial reader sees them: a flag is eight fresh bits 01111110 (after a flag
// the next flag needs eight new bits, so two flags never share a zero); the raw bits between two
// flags form the frame; once 32768 raw bits of a frame are held, "Too large" is counted and the
// bits held so far are dropped while the frame goes on; a frame with six ones in a row is an
// abort and is dropped without a count; then the de-stuffed length must be whole octets
// ("Errored length"), more than two octets, and end in a good FCS ("Bad CRC").
//
// The work is done on words rather than bits. Flags are found by matching the pattern at every
// bit offset of a window over the last octets, which needs no state but the octet before; the
// octets of an open frame are kept as they come, only turned round; when its flag closes, the
// frame is de-stuffed 56 raw bits at a time, a stuffed zero being any zero after five ones.
class HdlcHandler : public ChainHandler
{
public:
    static constexpr unsigned BitBufferSize = 32768;
    static constexpr quint32 MicrosecondsPerOctet = 125;

    // Frames are de-stuffed with the processor's bit extract instruction where it is fast;
    // Shifts takes the other way everywhere, as on a processor without one, to check or time it.
    // BitExtract takes the instruction wherever it exists, fast or not, and ends the program on a
    // processor without it rather than check the other way under its name.
    enum class DeStuffing
    {
        Automatic,
        Shifts,
        BitExtract
    };

    explicit HdlcHandler(int channelTag, DeStuffing deStuffing = DeStuffing::Automatic);

    void process(QByteArray& data, int len) override
    {
        // Most calls bring two octets and nothing due: the octets join the open frame's, and
        // only a flag among them needs more.
        const quint64 at = m_octets;
        if (len == 2 && at + 2 <= m_quietUntil) {
            // Two octets are there, so the array has its own bytes: no need for constData()'s
            // stand-in for an empty one.
            const auto* octets = reinterpret_cast<const unsigned char*>(data.data_ptr().data());
            unsigned first = octets[0];
            unsigned second = octets[1];
            // Read as two bytes: a two-byte read right after the caller wrote them one at a
            // time would wait for the writes to reach the cache.
            asm("" : "+r"(first), "+r"(second));
            // Held with one store: a store fewer per call.
            qToUnaligned(quint16(m_reversed[first] | m_reversed[second] << 8),
                         m_raw + (at - m_rawBase));
            // Only six ones in a row are looked for first, which frames never hold: a flag that
            // ends in the pair, at bit b from 0 to 15, has them from bit b + 1 on.
            const quint64 window = m_lastOctet << 16 | first << 8 | second;
            m_lastOctet = second;
            const quint64 ones = sixOnes(window);
            if (Q_UNLIKELY((ones & 0x1FFFE) != 0)) {
                // A flag ends with a zero: a pair of ones, as on a line that idles with them,
                // ends none.
                if ((window & 0xFFFF) != 0xFFFF)
                    pairWithFlags(flagCandidates(window, ones) & 0xFFFF, at);
                else
                    m_octets = at + 2;
                return;
            }
            m_octets = at + 2;
            return;
        }
        processOctets(reinterpret_cast<const unsigned char*>(data.constData()), len);
    }

    // The time of the octet after the last one taken, or, while a packet is being passed on, of
    // the octet in which its closing flag ends.
    ChannelClock timestamp() const
    {
        const quint64 microseconds =
            m_baseMicroseconds + (m_octets - m_clockOctets) * quint64(MicrosecondsPerOctet);
        return ChannelClock{quint32(m_baseSeconds + microseconds / 1000000),
                            quint32(microseconds % 1000000)};
    }
    // Starts the clock at a chosen time instead of the wall clock of the first octet.
    void setTimestamp(quint32 seconds, quint32 microseconds);
    // The clock has been started (by setTimestamp or the first octet).
    bool clockStarted() const { return !m_clockUnset; }
    // Octets taken so far, or, while a packet is being passed on, the octet in which its closing
    // flag ends.
    quint64 position() const { return m_octets; }

    // When and at which octet the clock started, for stamping elsewhere the frames found here.
    struct ClockStart
    {
        quint32 seconds = 0;
        quint32 microseconds = 0;
        quint64 atOctet = 0;
        bool started = false;
    };
    ClockStart clockStart() const
    {
        return {m_baseSeconds, m_baseMicroseconds, m_clockOctets, !m_clockUnset};
    }
    // For a deframer that stands in for another towards the writers, while that one deframes
    // on another thread: its clock, at position.
    void standAt(const ClockStart& clock, quint64 position)
    {
        m_baseSeconds = clock.seconds;
        m_baseMicroseconds = clock.microseconds;
        m_clockOctets = clock.atOctet;
        m_clockUnset = !clock.started;
        m_octets = position;
    }

private:
    // A bit-serial reader holds a frame's raw bits seven bits behind the line, so the bit that
    // fills its buffer arrives this many bits after the buffer's first one.
    static constexpr unsigned TooLargeArrival = BitBufferSize + 6;
    // Octets of an open frame kept: enough for a full buffer and the octets around it, and for
    // word reads past the last one.
    static constexpr unsigned RawCapacity = BitBufferSize / 8 + 64;
    static constexpr unsigned RawBufferBytes = RawCapacity + 16;
    static constexpr unsigned PacketBufferBytes = 1 + BitBufferSize / 8 + 16;

    // Bit b set where the pattern 01111110 ends at bit b of window, whose earlier bits lie
    // above (bit 0 is the last one on the line). Only bits b whose seven bits above lie in the
    // window mean anything.
    static quint64 flagCandidates(quint64 window)
    {
        return flagCandidates(window, sixOnes(window));
    }
    // The same, given sixOnes(window).
    static quint64 flagCandidates(quint64 window, quint64 ones)
    {
        return (ones >> 1) & ~(window | window >> 7);
    }
    // Bit b set where bits b to b + 5 of window are ones.
    static quint64 sixOnes(quint64 window)
    {
        quint64 ones = window & (window >> 1); // ones at b and b + 1
        ones &= ones >> 2;                     // b .. b + 3
        return ones & (ones >> 2);             // b .. b + 5
    }

    void processOctets(const unsigned char* octets, int len);
    void pairWithFlags(quint64 candidates, quint64 pairStart);
    void flagsInPair(quint64 candidates, quint64 pairStart);
    void flagInPair(quint64 flagEnd);
    void flagEnds(quint64 flagEnd, const unsigned char* octets, quint64 callStart);
    void countTooLarge(quint64 lastArrival);
    const unsigned char* gather(quint64 first, quint64 last, const unsigned char* octets,
                                quint64 callStart);
    void endCall(const unsigned char* octets, quint64 callStart);
    // The fast path may go on until the octet in which the open frame's buffer would fill, and
    // while the held octets have room.
    static quint64 quietLimit(quint64 flagEnd, quint64 drops, quint64 rawBase)
    {
        const quint64 nextFill = (flagEnd + 1 + TooLargeArrival + drops * BitBufferSize) / 8;
        const quint64 bufferEnd = rawBase + RawCapacity;
        return nextFill < bufferEnd ? nextFill : bufferEnd;
    }
    void updateQuietUntil();
    template <bool LineOrder>
    void deliverFrame(const unsigned char* raw, unsigned startBit, unsigned bitCount);
    template <bool LineOrder, bool Short>
    void destuffAndPassOn(const unsigned char* raw, unsigned startBit, unsigned bitCount);

    // Position on the line: octets taken since the start. Bit 8n + j is bit 7 - j of octet n.
    quint64 m_octets;
    // The fast path may take octets while m_octets stays at or below this: no "Too large" is
    // due and the buffer has room. Zero until the first call has set the clock.
    quint64 m_quietUntil;
    unsigned m_lastOctet;
    bool m_bitExtract;
    // The closing bit of the last flag; the open frame begins after it.
    quint64 m_flagEnd;
    // "Too large" counted for the open frame so far.
    quint64 m_drops;
    // m_raw[0] is octet m_rawBase, turned round; the octets up to m_octets are held between calls,
    // up to m_heldEnd within one. Those before the open frame's go only when the buffer fills.
    quint64 m_rawBase;
    quint64 m_heldEnd;
    // The end of the octets of the call under way.
    quint64 m_callEnd;

    quint32 m_baseSeconds;
    quint32 m_baseMicroseconds;
    quint64 m_clockOctets; // m_octets when the clock was set
    bool m_clockUnset;
    unsigned char m_channelTag;

    // Octets as the line sends them, most significant bit first, turned round: held octets
    // have their first bit in bit 0, as the frame's octets will. A copy in each deframer, next
    // to the octets held: looked up right after those are written, a shared table could sit
    // at an address that the processor takes for theirs (same offset in a 4 KiB page).
    unsigned char m_reversed[256];
    unsigned char m_raw[RawBufferBytes];
    // Puts the packet 6 KiB after the start of the held octets, so that writing one seldom looks
    // to the processor like writing those (same offset in a 4 KiB page): only for octets held
    // about 2 KiB in.
    unsigned char m_gap[6144 - RawBufferBytes];
    // The packet being passed on: the channel tag, then the frame.
    unsigned char m_packet[PacketBufferBytes];
};

#endif
