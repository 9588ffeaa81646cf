#ifndef BITSERIALDEFRAMER_H
#define BITSERIALDEFRAMER_H

#include "capture/chainhandler.h"
#include "capture/hdlchandler.h"

#include <QtGlobal>
#include <vector>

// The deframer as first written, one line bit at a time: a window of the last eight bits finds
// the flags, a buffer of raw bits runs seven bits behind it, and each frame is de-stuffed and
// checked bit by bit when its closing flag arrives. Slow, but plain enough to read against the
// rules; the tests hold the table-driven HdlcHandler to it packet for packet and count for count.
class BitSerialDeframer : public ChainHandler
{
public:
    static constexpr unsigned BitBufferSize = 32768;
    static constexpr quint32 MicrosecondsPerOctet = 125;

    explicit BitSerialDeframer(int channelTag);
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
