#ifndef PACKETSINK_H
#define PACKETSINK_H

#include "capture/chainhandler.h"
#include "capture/hdlchandler.h"

#include <QList>

// End of a test chain: keeps every call it gets, with the time reference's clock at that moment.
class PacketSink : public ChainHandler
{
public:
    explicit PacketSink(const HdlcHandler* timeReference = nullptr) : m_timeReference(timeReference)
    {}
    void process(QByteArray& data, int len) override;

    QList<QByteArray> calls;
    QList<ChannelClock> stamps;
    // Every non-empty call joined: the byte stream as this element saw it.
    QByteArray joined() const;
    // Packets of one channel tag, tag byte removed.
    QList<QByteArray> framesOf(int tag) const;
    int zeroLengthCalls = 0;

private:
    const HdlcHandler* m_timeReference;
};

#endif
