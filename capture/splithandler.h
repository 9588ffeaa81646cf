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
    ChainHandler* m_secondNext;
    QByteArray m_rx;
    QByteArray m_sync;
    unsigned char m_heldByte;
    bool m_holding;
};

#endif
