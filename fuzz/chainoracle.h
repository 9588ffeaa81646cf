#ifndef CHAINORACLE_H
#define CHAINORACLE_H

#include "capture/chainhandler.h"
#include "capture/hdlchandler.h"
#include "capture/stathandler.h"

#include <functional>
#include <QList>

struct StampedPacket
{
    QByteArray bytes;
    ChannelClock stamp;
};

// Keeps every call it gets with a clock read at that moment, and passes the call on unchanged.
class StampedSink : public ChainHandler
{
public:
    using Clock = std::function<ChannelClock()>;
    explicit StampedSink(Clock clock) : m_clock(std::move(clock)) {}
    void process(QByteArray& data, int len) override;

    QList<StampedPacket> packets;

private:
    Clock m_clock;
};

// What the chain must deliver, worked out without the chain's front elements or HdlcHandler: the
// channel octets come from pairing the capture bytes directly, the frames and counts from the
// bit-serial reference deframer run once per channel, and the order and stamps of delivery from
// the calls the splitter gets. Within a splitter call the RX deframer takes its octets before
// the Sync deframer takes its own, and the writers read the RX clock: an RX packet is stamped at
// the octet that closed it, a Sync packet at the end of its call.
struct ChainExpectation
{
    bool headerError = false;
    // The octets that reach each channel: every whole pair of the capture data.
    QByteArray rxOctets;
    QByteArray syncOctets;
    // In the order the writer gets them.
    QList<StampedPacket> packets;
    quint64 counts[StatHandler::CounterCount] = {};
};

class ChainOracle
{
public:
    // capture: the bytes that reach the splitter. Without deframe only the octets are known.
    ChainOracle(const QByteArray& capture, bool deframe);

    ChainExpectation expect(const QList<int>& splitterCalls, ChannelClock start) const;

    // The calls that reach the splitter from a port stream fed in the given calls, when its
    // first dropped bytes (header and echo) stay in the front.
    static QList<int> afterFront(const QList<int>& calls, qsizetype dropped);
    // Read blocks pushed into the chain in 4-byte units, as the acquisition thread does.
    static QList<int> inUnits(const QList<int>& blocks);

private:
    struct ClosedFrame
    {
        QByteArray packet;
        qsizetype octet; // the channel octet in which the closing flag completed
    };

    ChainExpectation m_base;
    QList<ClosedFrame> m_frames[2]; // RX, Sync
};

// The port's front: a stream that does not begin with "ATU" gives the header error and nothing
// else; otherwise the echo is dropped and the rest is capture data.
ChainExpectation expectPortChain(const QByteArray& stream, unsigned skip, const QList<int>& calls,
                                 ChannelClock start, bool deframe);

// Microseconds since the epoch; for differences of clocks that do not wrap.
inline qint64 clockMicroseconds(const ChannelClock& clock)
{
    return qint64(clock.seconds) * 1000000 + clock.microseconds;
}

#endif
