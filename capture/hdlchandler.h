#ifndef HDLCHANDLER_H
#define HDLCHANDLER_H

#include "capture/chainhandler.h"

#include <QtGlobal>
#include <vector>

// Seconds since 1970-01-01 00:00 UTC and microseconds within the second, in that order.
struct ChannelClock
{
    quint32 seconds;
    quint32 microseconds;
};

// Finds the HDLC frames in the octets of one timeslot, bit by bit: flags, zero de-stuffing,
// aborts, size checks and the 16-bit FCS. Each good frame goes on as one packet: the channel tag
// byte, then the frame without its FCS. Also keeps the channel clock (125 us per octet) that the
// trace writers stamp frames with.
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

    // What the bit-serial FCS check leaves over a frame and its correct FCS.
    static constexpr quint16 GoodFcsResidue = 0x1D0F;

private:
    void feedBit(unsigned bit);
    void endOfFrame();
    bool destuff();
    bool fcsIsGood() const;
    void advanceClock();

    ChannelClock m_clock;
    bool m_clockUnset;
    std::vector<unsigned char> m_bits;
    unsigned m_bitCount;
    unsigned char m_window;
    unsigned char m_windowFill;
    unsigned char m_channelTag;
};

#endif
