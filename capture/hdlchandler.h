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

    // Everything about the frame in progress.
    struct Frame
    {
        // Flag search, times 256: whether the frame has had a zero, and the ones since (to 7).
        unsigned scan;
        // The frame's raw bits in line order from bit 0 of byte 0: whole bytes in m_raw, the
        // last pendingCount (0..7) bits in pending. pendingCount stays fixed within a frame.
        unsigned rawBytes;
        quint32 pending;
        unsigned pendingCount;
        // rawBytes at which the bit that fills the buffer has arrived.
        unsigned tooLargeBytes;
        // Every raw byte but the last is de-stuffed as soon as the next one is complete: by then
        // it cannot belong to the closing flag. De-stuffing state times 256, the de-stuffed bits
        // not yet a whole byte, the whole bytes in m_out, and the last raw byte.
        unsigned stuff;
        quint32 collected;
        unsigned collectedCount;
        unsigned outBytes;
        unsigned lastRaw;
    };

    // These work on m_frame.
    void startFrame(unsigned pendingBits, unsigned pendingCount);
    void tooLargeMidFrame();
    void flagEnds(unsigned flagEndBit);
    void destuffBits(unsigned startBit, unsigned endBit);
    void finishFrame();
    void advanceClock(quint64 octets);

    ChannelClock m_clock;
    bool m_clockUnset;
    unsigned char m_channelTag;
    Frame m_frame;
    // Bytes of a type of their own: stores to them cannot alias m_frame, so process() keeps the
    // frame in registers.
    enum class Octet : unsigned char
    {
    };
    Octet m_raw[RawBufferBytes];
    Octet m_out[RawBufferBytes];
    QByteArray m_packet;
};

#endif
