#ifndef HDLCHANDLER_H
#define HDLCHANDLER_H

#include "capture/chainhandler.h"

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
// The line is read bit by bit in meaning, an octet at a time in practice: a table finds where a
// flag ends within an octet, the raw bits of the frame are collected a byte at a time, and a
// second table removes the stuffed zeros when the closing flag arrives.
//
// The rules, as a bit-serial reader sees them: a flag is eight fresh bits 01111110 (after a flag
// the next flag needs eight new bits, so two flags never share a zero); the raw bits between two
// flags form the frame; once 32768 raw bits of a frame are held, "Too large" is counted and the
// bits held so far are dropped while the frame goes on; a frame with six ones in a row is an
// abort and is dropped without a count; then the de-stuffed length must be whole octets
// ("Errored length"), more than two octets, and end in a good FCS ("Bad CRC").
class HdlcHandler : public ChainHandler
{
public:
    static constexpr unsigned BitBufferSize = 32768;
    static constexpr quint32 MicrosecondsPerOctet = 125;

    explicit HdlcHandler(int channelTag);
    void process(QByteArray& data, int len) override;

    const ChannelClock& timestamp() const { return m_clock; }
    // Starts the clock at a chosen time instead of the wall clock of the first octet.
    void setTimestamp(quint32 seconds, quint32 microseconds);

private:
    // A bit-serial reader holds a frame's raw bits seven bits behind the line, so the bit that
    // fills its buffer arrives this many bits after the buffer's first one.
    static constexpr unsigned TooLargeArrival = BitBufferSize + 6;
    static constexpr unsigned RawBufferBytes = BitBufferSize / 8 + 8;
    static constexpr unsigned PacketBufferBytes = 1 + BitBufferSize / 8 + 8;

    void startRegion(unsigned pendingBits, unsigned pendingCount);
    void tooLargeMidFrame();
    void flagEnds(unsigned flagEndBit);
    void deliverFrame(unsigned startBit, unsigned endBit);
    void advanceClock(quint64 octets);

    ChannelClock m_clock;
    bool m_clockUnset;
    unsigned char m_channelTag;

    // Flag search, times 256: whether the frame has had a zero, and the ones since (up to 7).
    unsigned m_scanState;
    // The frame's raw bits in line order from bit 0 of byte 0; whole bytes in m_raw, the last
    // m_pendingCount (0..7) bits in m_pending. m_pendingCount stays fixed within a frame.
    unsigned m_rawBytes;
    quint32 m_pending;
    unsigned m_pendingCount;
    // m_rawBytes at which the bit that fills the buffer has arrived.
    unsigned m_tooLargeBytes;
    unsigned char m_raw[RawBufferBytes];
    QByteArray m_packet;
};

#endif
