#ifndef SPLITHANDLER_H
#define SPLITHANDLER_H

#include "capture/chainhandler.h"

// Turns the nibble-interleaved byte pairs of the capture data into the RX channel (to next) and
// the Sync channel (to the second next). A pair cut between two blocks is completed by the next
// block, so the output does not depend on the block sizes.
class SplitHandler : public ChainHandler
{
public:
    SplitHandler();
    void setSecondNext(ChainHandler* sync) { m_secondNext = sync; }
    void process(QByteArray& data, int len) override;

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

    ChainHandler* m_secondNext;
    QByteArray m_rx;
    QByteArray m_sync;
    // Where the two arrays' bytes are, kept so that a unit needs no detach checks.
    unsigned char* m_rxOut;
    unsigned char* m_syncOut;
    unsigned char m_heldByte;
    bool m_holding;
};

#endif
