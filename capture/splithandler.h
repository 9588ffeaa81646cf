#ifndef SPLITHANDLER_H
#define SPLITHANDLER_H

#include "capture/chainhandler.h"

class FrameHold;

// Turns the nibble-interleaved byte pairs of the capture data into the RX channel (to next) and
// the Sync channel (to the second next). A pair cut between two blocks is completed by the next
// block, so the output does not depend on the block sizes.
class SplitHandler : public ChainHandler
{
public:
    SplitHandler();
    void setSecondNext(ChainHandler* sync) { m_secondNext = sync; }
    // The hold between the Sync deframer and the writer, for processBlock().
    void setSyncHold(FrameHold* hold) { m_syncHold = hold; }
    void process(QByteArray& data, int len) override;

    // A block read from the source, with the outcome of feedInUnits() on it: the same output in
    // the same order. Each channel goes on in few large calls; the RX channel is cut wherever
    // the Sync hold kept a packet, after the four-byte unit that brought its closing flag. With
    // no hold, the two channels' elements must not depend on each other's progress (the raw
    // taps, one file each).
    void processBlock(const char* data, int len);

    // Splits a read into arrays of the caller's, with room for (len + 1) / 2 octets each, for a
    // chain that deframes the channels elsewhere; returns the octets of each channel.
    int splitInto(const char* data, int len, unsigned char* rx, unsigned char* sync)
    {
        return len > 0 ? split(reinterpret_cast<const unsigned char*>(data), len, rx, sync) : 0;
    }
    // The read before ended inside a pair, whose first byte is kept for the next one.
    bool holdingByte() const { return m_holding; }

    static unsigned char rxOctet(unsigned char first, unsigned char second)
    {
        return static_cast<unsigned char>(((first & 0x0F) << 4) | (second & 0x0F));
    }
    static unsigned char syncOctet(unsigned char first, unsigned char second)
    {
        return static_cast<unsigned char>((first & 0xF0) | ((second & 0xF0) >> 4));
    }

private:
    // Byte pairs in the four-byte units a stream is fed in.
    static constexpr int UnitPairs = 2;

    // Any other block: a pair may be cut at either end.
    void splitBlock(const unsigned char* in, int len);
    // Splits len bytes into the two arrays; returns the octets of each channel.
    int split(const unsigned char* in, int len);
    int split(const unsigned char* in, int len, unsigned char* rxOut, unsigned char* syncOut);
    void passRx(int from, int count);

    ChainHandler* m_secondNext;
    FrameHold* m_syncHold;
    QByteArray m_rx;
    QByteArray m_sync;
    // Where the two arrays' bytes are, kept so that a unit needs no detach checks.
    unsigned char* m_rxOut;
    unsigned char* m_syncOut;
    unsigned char m_heldByte;
    bool m_holding;
};

#endif
